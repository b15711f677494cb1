#pragma once
// Text formatting with the suite's Format rules: "%" [index ":"] ["-"] [width] ["." precision]
// type, width and precision may be "*" (taken from the arguments), "%%" is a percent sign.
//   d  integer; precision is the least number of digits ("%.2d" of 3 is "03")
//   u  integer read as unsigned;  x  integer in upper-case hexadecimal, precision as for d
//   f  fixed, precision decimals (default 2);  n  as f with thousands separators
//   e  scientific "d.ddddE+ddd", precision significant digits (default 15)
//   g  shortest of fixed and scientific, precision significant digits (default 15)
//   s  text, precision is the most characters taken
// Halves round away from zero. The decimal and thousands separators are the process's
// (FormatSettings.h). Width and precision count characters, not bytes.
//
// An argument that does not fit its directive ("%d" with a text, "%f" with an integer), an
// unknown directive or too few arguments raise FormatError, so that callers such as the
// message catalogue can fall back to the bare template.

#include "platform/Exception.h"
#include "platform/Variant.h"

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class FormatError : public Exception {
public:
    using Exception::Exception;
    ~FormatError() override;
};

// One argument, typed as the caller passed it: an integer fits d, u and x; a floating
// number fits f, n, e and g; a text fits s; a Variant fits what its value can be read as.
class FormatArg {
public:
    enum class Kind { Integer, Float, Text, Boolean, Variant };

    FormatArg(int v) : kind_(Kind::Integer), int_(v) {}
    FormatArg(long v) : kind_(Kind::Integer), int_(v) {}
    FormatArg(long long v) : kind_(Kind::Integer), int_(v) {}
    FormatArg(unsigned v) : kind_(Kind::Integer), int_(v) {}
    FormatArg(double v) : kind_(Kind::Float), float_(v) {}
    FormatArg(bool v) : kind_(Kind::Boolean), int_(v) {}
    FormatArg(const char* v) : kind_(Kind::Text), text_(v ? v : "") {}
    FormatArg(std::string v) : kind_(Kind::Text), text_(std::move(v)) {}
    FormatArg(std::string_view v) : kind_(Kind::Text), text_(v) {}
    FormatArg(const Variant& v) : kind_(Kind::Variant), variant_(v) {}

    Kind kind() const { return kind_; }
    bool integer(std::int64_t& out) const;
    bool floating(double& out) const;
    bool text(std::string& out) const;

private:
    Kind kind_;
    std::int64_t int_ = 0;
    double float_ = 0;
    std::string text_;
    Variant variant_;
};

std::string Format(std::string_view format, std::initializer_list<FormatArg> args);
std::string Format(std::string_view format, std::span<const FormatArg> args);

// Number texts shared with other units: fixed decimals with half away from zero, and the
// shortest general form of up to precision significant digits.
std::string formatFixed(double value, int decimals, bool thousands = false);
std::string formatGeneral(double value, int precision = 15);
