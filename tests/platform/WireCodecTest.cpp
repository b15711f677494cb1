// The wire's values: foreign MessagePack reads as the nearest kind; what does not hold
// exactly one well-formed value is refused with a VariantError, never read past its end
// or trusted for sizes it claims; the sign-on proof depends on every part it covers.

#include "platform/Automation.h"
#include "platform/RemoteProtocol.h"
#include "platform/WireCodec.h"

#include <gtest/gtest.h>

namespace {

std::string bytes(std::initializer_list<int> list)
{
    std::string s;
    for (int b : list)
        s.push_back(char(b));
    return s;
}

bool refused(const std::string& b)
{
    try {
        DecodeWireValue(b);
    } catch (const VariantError&) {
        return true;
    }
    return false;
}

} // namespace

TEST(WireCodec, ForeignIntegersAndFloatsReadAsTheNearestKind)
{
    EXPECT_EQ(DecodeWireValue(bytes({0x05})).type(), VarType::Int);
    EXPECT_EQ(DecodeWireValue(bytes({0xcd, 0x01, 0x00})).toInt(), 256);
    const Variant big = DecodeWireValue(bytes({0xcf, 0, 0, 0, 1, 0, 0, 0, 0}));
    EXPECT_EQ(big.type(), VarType::Int64);
    EXPECT_EQ(big.toInt64(), std::int64_t(1) << 32);
    const Variant f = DecodeWireValue(bytes({0xca, 0x3f, 0xc0, 0, 0}));
    EXPECT_EQ(f.type(), VarType::Double);
    EXPECT_EQ(f.toDouble(), 1.5);
    // An integral Double goes as float64, so that it does not come back as Int.
    EXPECT_EQ(DecodeWireValue(EncodeWireValue(Variant(2.0))).type(), VarType::Double);
    EXPECT_EQ(DecodeWireValue(EncodeWireValue(Variant(std::int64_t(2)))).type(), VarType::Int64);
}

TEST(WireCodec, WhatIsNotExactlyOneWellFormedValueIsRefused)
{
    const std::string good = EncodeWireValue(Variant::list({1, "two", Variant::null()}));
    EXPECT_FALSE(refused(good));
    EXPECT_TRUE(refused("")) << "nothing";
    EXPECT_TRUE(refused(good.substr(0, good.size() - 1))) << "truncated";
    EXPECT_TRUE(refused(good + "\x01")) << "trailing bytes";
    EXPECT_TRUE(refused(bytes({0xc1}))) << "a byte MessagePack does not use";
    EXPECT_TRUE(refused(bytes({0xdd, 0x7f, 0xff, 0xff, 0xff}))) << "a count far beyond the bytes";
    EXPECT_TRUE(refused(bytes({0xdb, 0x7f, 0xff, 0xff, 0xff, 'a'}))) << "a text longer than the bytes";
    EXPECT_TRUE(refused(bytes({0x80}))) << "a map, which no Variant is";
    EXPECT_TRUE(refused(bytes({0xc4, 0x01, 0x00}))) << "binary, which no Variant is";
    EXPECT_TRUE(refused(bytes({0x91, 0x05}))) << "an array without its bounds";
    EXPECT_TRUE(refused(bytes({0x92, 0x92, 0x00, 0x01, 0x05}))) << "bounds for two elements, one given";
    EXPECT_TRUE(refused(bytes({0x92, 0x92, 0x01, 0x00, 0x05}))) << "bounds 1..0 with an element";
    EXPECT_TRUE(refused(bytes({0x91, 0x93, 0x00, 0x00, 0x00}))) << "three bounds";
    EXPECT_TRUE(refused(bytes({0xd4, 0x01, 0x00}))) << "a Null with data";
    EXPECT_TRUE(refused(bytes({0xd5, 0x02, 0x00, 0x00}))) << "a date of two bytes";
    EXPECT_TRUE(refused(bytes({0xd4, 0x63, 0x00}))) << "an unknown kind";
    EXPECT_TRUE(refused(bytes({0xcf, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff}))) << "beyond 64 bits";

    Variant deep = 1;
    for (int i = 0; i < 70; ++i)
        deep = Variant::list({deep});
    EXPECT_TRUE(refused(EncodeWireValue(deep))) << "nested deeper than a value may be";
    EXPECT_THROW(EncodeWireValue(Variant::list({Variant(std::make_shared<DispatchObject>())})), VariantError);
}

TEST(WireCodec, AnEmptyArrayOfEitherShapeKeepsItsBounds)
{
    const Variant one = DecodeWireValue(EncodeWireValue(Variant::array(3, 2)));
    EXPECT_EQ(one.lowBound(), 3);
    EXPECT_EQ(one.count(), 0);
    const Variant two = DecodeWireValue(EncodeWireValue(Variant::array2(0, 2, 1, 0)));
    EXPECT_EQ(two.dimCount(), 2);
    EXPECT_EQ(two.count(1), 3);
    EXPECT_EQ(two.count(2), 0);
}

TEST(RemoteProtocol, FramesAndProofs)
{
    const std::string frame = remote::Frame(Variant("x"));
    ASSERT_EQ(frame.size(), remote::kHeaderBytes + 2);
    EXPECT_EQ(remote::FrameLength(reinterpret_cast<const unsigned char*>(frame.data())), 2u);
    EXPECT_EQ(remote::FrameHeader(0x01020304), bytes({1, 2, 3, 4}));

    const std::string a = remote::NewChallenge(), b = remote::NewChallenge();
    EXPECT_EQ(a.size(), 32u);
    EXPECT_NE(a, b);
    const std::string proof = remote::AuthProof("secret", a, "DS", "01");
    EXPECT_EQ(proof.size(), 64u);
    EXPECT_TRUE(remote::SameProof(proof, remote::AuthProof("secret", a, "DS", "01")));
    for (const std::string& other : {remote::AuthProof("Secret", a, "DS", "01"), remote::AuthProof("secret", b, "DS", "01"),
                                     remote::AuthProof("secret", a, "DS0", "1"), remote::AuthProof("secret", a, "U001", "01")})
        EXPECT_FALSE(remote::SameProof(proof, other));
    EXPECT_FALSE(remote::SameProof(proof, proof.substr(1)));
    EXPECT_EQ(remote::MessageName(Variant::list({"OK", 1})), "OK");
    EXPECT_EQ(remote::MessageName(Variant(5)), "");
    EXPECT_EQ(remote::MessageName(Variant::list({5})), "");
    EXPECT_EQ(remote::MessageName(Variant::list({Variant::ansi("OK", 12345)})), "") << "bytes of a code page nobody converts";
}
