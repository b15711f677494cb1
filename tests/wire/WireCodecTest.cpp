// The wire's values: foreign MessagePack reads as the nearest kind; what does not hold
// exactly one well-formed value is refused with a VariantError, never read past its end
// or trusted for sizes it claims; the frames a hostile probe sent (bounds spanning the
// int range, counts beyond the bytes, garbled text) are refused, each decoded in a child
// process with a time limit so that a crash or a spin fails the case instead of the run;
// the sign-on proof depends on every part it covers.

#include "platform/Automation.h"
#include "wire/RemoteProtocol.h"
#include "wire/WireCodec.h"

#include "TestProcess.h"

#include <gtest/gtest.h>

#include <climits>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

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

// A value of our array layout: a MessagePack array (32-bit count) of the bounds, each as a
// 64-bit integer, then elements nils.
std::string arrayOf(std::initializer_list<std::int64_t> bounds, std::uint32_t elements)
{
    std::string s = bytes({0xdd});
    for (int shift = 24; shift >= 0; shift -= 8)
        s.push_back(char(((elements + 1) >> shift) & 0xff));
    s.push_back(char(0x90 | bounds.size()));
    for (const std::int64_t b : bounds) {
        s.push_back(char(0xd3));
        for (int shift = 56; shift >= 0; shift -= 8)
            s.push_back(char((std::uint64_t(b) >> shift) & 0xff));
    }
    s.append(elements, char(0xc0));
    return s;
}

// How the decoder took the bytes, in a child process with a time limit.
enum class Outcome { Refused, Decoded, OtherFailure, Crashed, TimedOut };

const char* nameOf(Outcome o)
{
    static const char* names[] = {"refused", "decoded", "another exception", "crashed", "still running after 20 s"};
    return names[int(o)];
}

Outcome decodeInChild(const std::string& b)
{
    const pid_t child = ::fork();
    if (child == 0) {
        int code = 2;
        try {
            DecodeWireValue(b);
            code = 1;
        } catch (const VariantError&) {
            code = 0;
        } catch (...) {
        }
        ::_exit(code);
    }
    int status = 0;
    if (child < 0 || !testproc::waitFor([&] { return ::waitpid(child, &status, WNOHANG) == child; }, 20)) {
        if (child > 0) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
        }
        return Outcome::TimedOut;
    }
    if (!WIFEXITED(status))
        return Outcome::Crashed;
    return WEXITSTATUS(status) == 0 ? Outcome::Refused : WEXITSTATUS(status) == 1 ? Outcome::Decoded : Outcome::OtherFailure;
}

} // namespace

TEST(WireCodec, TheProbesFramesAreRefusedInBoundedTime)
{
    constexpr std::int64_t lo = INT_MIN, hi = INT_MAX;
    struct Case {
        const char* what;
        std::string frame;
    };
    std::string nestedClaims;
    for (int i = 0; i < 60; ++i)
        nestedClaims += bytes({0xdd, 0x00, 0xff, 0xff, 0xff});
    const std::vector<Case> cases = {
        {"two dimensions spanning the int range (the count overflows 64 bits)", arrayOf({lo, hi, lo, hi}, 0)},
        {"the same with an empty second dimension", arrayOf({lo, hi, 0, -1}, 0)},
        {"one dimension spanning the int range", arrayOf({lo, hi}, 0)},
        {"the same below INT_MAX (2^32 - 1 by 2^32 - 1)", arrayOf({lo, hi - 1, lo, hi - 1}, 0)},
        {"2^32 - 1 rows of no columns", arrayOf({lo, hi - 1, 0, -1}, 0)},
        {"2^24 + 1 rows of no columns, which a Variant could hold", arrayOf({0, kMaxWireArrayElements, 0, -1}, 0)},
        {"one dimension of 2^32 - 1 elements", arrayOf({lo, hi - 1}, 0)},
        {"one dimension of 2^31 elements", arrayOf({0, hi}, 0)},
        {"a high bound of INT_MAX, which no index may follow", arrayOf({hi, hi}, 1)},
        {"a second dimension up to INT_MAX", arrayOf({0, 0, hi - 1, hi}, 2)},
        {"a first dimension of 2^31 - 1 rows of nothing", arrayOf({0, hi - 1, 0, -1}, 0)},
        {"bounds beyond 32 bits", arrayOf({INT64_MIN, INT64_MAX}, 0)},
        {"bounds beyond 64 bits", arrayOf({0, -1}, 0).replace(15, 9, "\xcf\xff\xff\xff\xff\xff\xff\xff\xff")},
        {"more elements than an array may have", arrayOf({0, kMaxWireArrayElements}, 2)},
        {"three dimensions", arrayOf({0, 0, 0, 0, 0, 0}, 1)},
        {"a count of 2^31 elements announced in a few bytes", bytes({0xdd, 0x7f, 0xff, 0xff, 0xff, 0x92, 0x00, 0xce, 0x7f,
                                                                    0xff, 0xff, 0xfd, 0xc0})},
        {"arrays in arrays, each announcing 16 million elements", nestedClaims},
        {"a text that is not UTF-8", bytes({0xa2, 0xc3, 0x28})},
        {"an overlong form", bytes({0xa2, 0xc0, 0xaf})},
        {"a surrogate", bytes({0xa3, 0xed, 0xa0, 0x80})},
        {"a text cut in a character", bytes({0xa2, 'a', 0xe4})},
        {"a text in an array, not UTF-8", bytes({0x92, 0x92, 0x00, 0x00, 0xa1, 0xff})},
        {"code page -1", bytes({0xc7, 0x06, 0x03, 0xff, 0xff, 0xff, 0xff, 'O', 'K'})},
        {"code page 12345", bytes({0xd6, 0x03, 0x00, 0x00, 0x30, 0x39})},
    };
    for (const Case& c : cases) {
        const Outcome o = decodeInChild(c.frame);
        EXPECT_EQ(o, Outcome::Refused) << c.what << ": " << nameOf(o);
    }
    // What a message says of the refusal names the value's fault.
    try {
        DecodeWireValue(arrayOf({lo, hi - 1, lo, hi - 1}, 0));
        ADD_FAILURE() << "decoded";
    } catch (const VariantError& e) {
        EXPECT_NE(std::string(e.what()).find("Malformed value from the connection: array bounds [-2147483648, "
                                             "2147483646] of 4294967295 elements"),
                  std::string::npos)
            << e.what();
    }
    try {
        DecodeWireValue(bytes({0xa2, 0xc3, 0x28}));
        ADD_FAILURE() << "decoded";
    } catch (const VariantError& e) {
        EXPECT_NE(std::string(e.what()).find("UTF-8"), std::string::npos) << e.what();
    }
}

TEST(WireCodec, ArraysAtTheEdgesOfTheIntRangeAndTextsInEveryCodePageComeBack)
{
    Variant top = Variant::array(INT_MAX - 2, INT_MAX - 1);
    top[INT_MAX - 1] = "last";
    const Variant back = DecodeWireValue(EncodeWireValue(top));
    EXPECT_EQ(back.lowBound(), INT_MAX - 2);
    EXPECT_EQ(back.highBound(), INT_MAX - 1);
    EXPECT_EQ(VarToStr(back[INT_MAX - 1]), "last");
    Variant corner = Variant::array2(INT_MIN, INT_MIN + 1, INT_MAX - 1, INT_MAX - 1);
    corner.at(INT_MIN + 1, INT_MAX - 1) = 7;
    EXPECT_EQ(DecodeWireValue(EncodeWireValue(corner)), corner);
    EXPECT_EQ(DecodeWireValue(arrayOf({0, -1, 0, kMaxWireArrayElements - 1}, 0)).count(2), kMaxWireArrayElements)
        << "an empty first dimension before the most columns an array may have";
    // An array that ends at INT_MAX is written by count (an index loop up to it would run
    // past it), and refused by the reader.
    Variant last = Variant::array2(0, 1, INT_MAX - 1, INT_MAX);
    last.at(1, INT_MAX) = "x";
    std::string sent;
    ASSERT_NO_THROW(sent = EncodeWireValue(last));
    EXPECT_EQ(sent.size(), std::size_t(1 + 1 + 1 + 1 + 5 + 5 + 3 + 2)) << "array, bounds, 0, 1, two 32-bit bounds, 3 nils, \"x\"";
    EXPECT_TRUE(refused(sent));

    for (const Variant& text : {Variant::ansi("\xd3\xa6\xb8\xb6", 936), Variant::ansi("\xa4\xa4", 950),
                                Variant::ansi("abc", 437), Variant::ansi(std::string("PK\x03\x04\xff\x00", 6), 0),
                                Variant("应付账款 \xf0\x9f\x98\x80"), Variant(std::string("a\0b", 3))}) {
        const Variant got = DecodeWireValue(EncodeWireValue(text));
        EXPECT_EQ(got.type(), text.type());
        EXPECT_EQ(text.type() == VarType::AnsiString ? got.ansiBytes() : got.toString(),
                  text.type() == VarType::AnsiString ? text.ansiBytes() : text.toString());
    }
}

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
