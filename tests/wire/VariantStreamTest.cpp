// Variants stored and read back: every kind stays itself (Empty is no Null, Int is no
// Int64), arrays keep their bounds, and damaged bytes are refused instead of read wrong.

#include "platform/Automation.h"
#include "wire/VariantStream.h"

#include <gtest/gtest.h>

#include <bit>
#include <limits>

namespace {

// Equal in kind and content, bounds included (Variant's == compares numbers loosely).
::testing::AssertionResult same(const Variant& a, const Variant& b, const std::string& where = "value")
{
    if (a.type() != b.type())
        return ::testing::AssertionFailure() << where << ": kinds " << int(a.type()) << " and " << int(b.type());
    switch (a.type()) {
    case VarType::Empty:
    case VarType::Null:
        return ::testing::AssertionSuccess();
    case VarType::AnsiString:
        if (a.ansiBytes() != b.ansiBytes() || a.ansiCodePage() != b.ansiCodePage())
            return ::testing::AssertionFailure() << where << ": code-page texts differ";
        return ::testing::AssertionSuccess();
    case VarType::Double:
    case VarType::Date:
        if (std::bit_cast<std::uint64_t>(a.toDouble()) != std::bit_cast<std::uint64_t>(b.toDouble()))
            return ::testing::AssertionFailure() << where << ": " << a.toDouble() << " and " << b.toDouble();
        return ::testing::AssertionSuccess();
    case VarType::Array: {
        if (a.dimCount() != b.dimCount())
            return ::testing::AssertionFailure() << where << ": dimensions differ";
        for (int d = 1; d <= a.dimCount(); ++d)
            if (a.lowBound(d) != b.lowBound(d) || a.highBound(d) != b.highBound(d))
                return ::testing::AssertionFailure() << where << ": bounds of dimension " << d << " differ";
        if (a.dimCount() == 1) {
            for (int i = a.lowBound(); i <= a.highBound(); ++i)
                if (auto r = same(a[i], b[i], where + "[" + std::to_string(i) + "]"); !r)
                    return r;
        } else {
            for (int i = a.lowBound(1); i <= a.highBound(1); ++i)
                for (int j = a.lowBound(2); j <= a.highBound(2); ++j)
                    if (auto r = same(a.at(i, j), b.at(i, j), where + "(" + std::to_string(i) + "," + std::to_string(j) + ")"); !r)
                        return r;
        }
        return ::testing::AssertionSuccess();
    }
    default:
        if (a != b)
            return ::testing::AssertionFailure() << where << ": " << VarToStr(a) << " and " << VarToStr(b);
        return ::testing::AssertionSuccess();
    }
}

Variant roundTrip(const Variant& v)
{
    return DecodeVariant(EncodeVariant(v));
}

} // namespace

TEST(VariantStream, EveryKindReadsBackAsItself)
{
    const std::vector<Variant> values = {
        Variant(), Variant::null(), Variant(true), Variant(false), Variant(0), Variant(-1), Variant(127),
        Variant(-33), Variant(std::numeric_limits<std::int32_t>::min()), Variant(std::numeric_limits<std::int32_t>::max()),
        Variant(std::int64_t(5)), Variant(std::numeric_limits<std::int64_t>::min()), Variant(0.1), Variant(-0.0),
        Variant::date(45352.75), Variant::date(0), Variant(""), Variant("转销批号 B0001"),
        Variant(std::string(40, 'x')), Variant(std::string(70000, 'y')), Variant::ansi("\xd7\xaa\xcf\xfa", 936),
        Variant::ansi("", 950)};
    for (std::size_t i = 0; i < values.size(); ++i)
        EXPECT_TRUE(same(values[i], roundTrip(values[i]), "value " + std::to_string(i)));
}

TEST(VariantStream, ArraysKeepBoundsDimensionsAndNesting)
{
    // A job request in miniature: environment 1..12, texts 1..2, values with a range and an
    // empty slot, a period value and rules 0..1.
    Variant env = Variant::array(1, 12);
    env[1] = "WOFB08";
    env[2] = 12;
    env[7] = Variant::date(45352.5);
    Variant texts = Variant::array(1, 2);
    texts[1] = Variant::list({"单据日期", "edDocDate"});
    texts[2] = Variant::list({"供应商", "spSupplier"});
    Variant values = Variant::array(1, 2);
    values[1] = Variant::list({Variant::ansi("\x04", 936), "S01", "S03"});
    Variant rules = Variant::array(0, 1);
    rules[0] = 1;
    rules[1] = "1\x03" "edDocDate\x03Y\x03" "0\x03" "0\x03" "0\x03" "0\x03" "D\x03" "1";
    Variant matrix = Variant::array2(0, 1, -2, 0);
    matrix.at(0, -2) = "a";
    matrix.at(1, 0) = Variant::null();
    const Variant packet = Variant::list({env, texts, values, Variant::list({"Y", "08:00", matrix}), rules,
                                          Variant::array(5, 4), Variant::array2(0, -1, 0, 3)});
    EXPECT_TRUE(same(packet, roundTrip(packet)));

    Variant deep = Variant(1);
    for (int i = 0; i < 60; ++i)
        deep = Variant::list({deep});
    EXPECT_TRUE(same(deep, roundTrip(deep)));
}

TEST(VariantStream, TextFormReadsBackAndBase64FollowsTheStandard)
{
    EXPECT_EQ(EncodeBase64(""), "");
    EXPECT_EQ(EncodeBase64("f"), "Zg==");
    EXPECT_EQ(EncodeBase64("fo"), "Zm8=");
    EXPECT_EQ(EncodeBase64("foobar"), "Zm9vYmFy");
    EXPECT_EQ(DecodeBase64("Zm9vYg=="), "foob");
    EXPECT_THROW(DecodeBase64("Zm9"), Exception);
    EXPECT_THROW(DecodeBase64("Zm=v"), Exception);
    EXPECT_THROW(DecodeBase64("Zm9v\nYg=="), Exception);

    const Variant v = Variant::list({Variant(), Variant::null(), "值"});
    EXPECT_TRUE(same(v, DecodeVariantText(EncodeVariantText(v))));
    EXPECT_THROW(DecodeVariantText("@@@@"), VariantError);
}

TEST(VariantStream, ForeignIntegerAndFloatFormsAreRead)
{
    EXPECT_TRUE(same(DecodeVariant(std::string("\x05", 1)), Variant(5)));
    EXPECT_TRUE(same(DecodeVariant(std::string("\xff", 1)), Variant(-1)));
    EXPECT_TRUE(same(DecodeVariant(std::string("\xcd\x01\x00", 3)), Variant(256)));
    EXPECT_TRUE(same(DecodeVariant(std::string("\xce\xff\xff\xff\xff", 5)), Variant(std::int64_t(0xffffffff))));
    EXPECT_TRUE(same(DecodeVariant(std::string("\xca\x3f\x80\x00\x00", 5)), Variant(1.0)));
    // A plain MessagePack array without our bounds header is not a Variant array.
    EXPECT_THROW(DecodeVariant(std::string("\x92\x01\x02", 3)), VariantError);
}

TEST(VariantStream, DamagedOrForeignBytesAreRefused)
{
    const std::string good = EncodeVariant(Variant::list({"abc", 1, Variant::date(1)}));
    for (std::size_t n = 0; n < good.size(); ++n)
        EXPECT_THROW(DecodeVariant(good.substr(0, n)), VariantError) << "cut after " << n << " bytes";
    EXPECT_THROW(DecodeVariant(good + '\x00'), VariantError) << "trailing byte";

    EXPECT_THROW(DecodeVariant(std::string("\x80", 1)), VariantError) << "a map";
    EXPECT_THROW(DecodeVariant(std::string("\xc4\x01x", 3)), VariantError) << "binary data";
    EXPECT_THROW(DecodeVariant(std::string("\xd4\x09x", 3)), VariantError) << "unknown extension";
    EXPECT_THROW(DecodeVariant(std::string("\xd4\x01x", 3)), VariantError) << "a Null with data";
    // Bounds claiming four thousand million elements in a few bytes.
    EXPECT_THROW(DecodeVariant(std::string("\x92\x92\xd2\x00\x00\x00\x00\xd2\x7f\xff\xff\xff\xc0", 13)), VariantError);
    // An array whose bounds say two elements but that holds one.
    EXPECT_THROW(DecodeVariant(std::string("\x92\x92\x00\x01\xc0", 5)), VariantError);
    // High below low.
    EXPECT_THROW(DecodeVariant(std::string("\x91\x92\x05\x02", 4)), VariantError);

    std::string tooDeep;
    for (int i = 0; i < 70; ++i)
        tooDeep += std::string("\x92\x92\x00\x00", 4);
    tooDeep += '\xc0';
    EXPECT_THROW(DecodeVariant(tooDeep), VariantError);

    class Obj : public DispatchObject {};
    EXPECT_THROW(EncodeVariant(Variant::list({Variant(DispatchPtr(std::make_shared<Obj>()))})), VariantError);
}
