#pragma once
// Exact decimal numbers for money: a scaled 64-bit integer, so that sums add up to the
// cent however many amounts go into them, and texts read and write without binary
// floating point in between.

#include "platform/Exception.h"

#include <cstdint>
#include <string>
#include <string_view>

// A value that cannot be read or held: raised by Decimal and by the client data set's
// fields, so that a caller catches both kinds of failure as one.
class DataSetError : public Exception {
public:
    using Exception::Exception;
    ~DataSetError() override;
};

// An exact decimal number: units / 10^scale, scale 0..18.
class Decimal {
public:
    static constexpr int MaxScale = 18;

    Decimal() = default;
    Decimal(std::int64_t units, int scale);
    static Decimal fromInt(std::int64_t value) { return Decimal(value, 0); }
    // Reads "-1,234.50", "1.5E3", blanks around; false when unreadable or out of range.
    static bool tryParse(std::string_view text, Decimal& out);
    // As tryParse, DataSetError when unreadable.
    static Decimal parse(std::string_view text);
    // The decimal that the double's shortest text shows (0.1 gives exactly 0.1).
    static Decimal fromDouble(double value);

    std::int64_t units() const { return units_; }
    int scale() const { return scale_; }
    bool isZero() const { return units_ == 0; }
    bool isNegative() const { return units_ < 0; }

    // The value with another scale, rounded half away from zero (DataSetError on overflow).
    Decimal rescaled(int scale) const;
    double toDouble() const;
    // Fixed text with all `scale` decimals: "-1234.50".
    std::string toFixed() const;
    // Shortest text: trailing zeros of the fraction dropped ("12.5", "3").
    std::string toString() const;

    Decimal operator+(const Decimal& other) const;
    Decimal operator-(const Decimal& other) const;
    Decimal operator-() const;
    // The exact product rounded half away from zero to `scale` decimals, so that an amount
    // times an exchange rate is rounded once (DataSetError on overflow).
    Decimal multipliedBy(const Decimal& other, int scale) const;
    // The quotient rounded half away from zero to `scale` decimals (DataSetError for a
    // zero divisor or overflow).
    Decimal dividedBy(const Decimal& other, int scale) const;
    Decimal& operator+=(const Decimal& other) { return *this = *this + other; }
    Decimal& operator-=(const Decimal& other) { return *this = *this - other; }
    int compare(const Decimal& other) const;
    bool operator==(const Decimal& other) const { return compare(other) == 0; }
    bool operator<(const Decimal& other) const { return compare(other) < 0; }

private:
    std::int64_t units_ = 0;
    int scale_ = 0;
};
