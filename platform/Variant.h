#pragma once
// Variant with OLE Automation semantics: the value type that crosses every boundary of
// the job (controller, services, application server, server library).
//
// Arrays are shared copy-on-write: copying a Variant is cheap, and the first write
// through a non-const accessor gives the writer its own copy. Do not keep a reference
// to an element across a copy of the array that holds it.

#include "platform/Exception.h"

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <span>
#include <variant>
#include <vector>

class Dispatch;
using DispatchPtr = std::shared_ptr<Dispatch>;

enum class VarType { Empty, Null, Bool, Int, Int64, Double, Date, String, AnsiString, Array, Dispatch };

class Variant {
public:
    Variant() = default;                       // Empty (Unassigned)
    Variant(bool v) : v_(v) {}
    Variant(int v) : v_(std::int32_t(v)) {}
    Variant(std::int64_t v) : v_(v) {}
    Variant(double v) : v_(v) {}
    Variant(const char* utf8) : v_(std::string(utf8)) {}
    Variant(std::string utf8) : v_(std::move(utf8)) {}
    Variant(std::string_view utf8) : v_(std::string(utf8)) {}
    Variant(DispatchPtr d);

    static Variant null();
    // OLE date: days since 30 December 1899, the fraction is the time of day.
    static Variant date(double oleDays);
    // Bytes in a code page (936, 950, 437); read back as text through that code page.
    static Variant ansi(std::string bytes, int codePage);
    // VarArrayCreate([low, high], varVariant): every element Empty.
    static Variant array(int low, int high);
    // VarArrayCreate([low1, high1, low2, high2], varVariant).
    static Variant array2(int low1, int high1, int low2, int high2);
    // VarArrayOf: a one-dimensional array with bounds 0..n-1.
    static Variant list(std::initializer_list<Variant> items);
    static Variant list(std::vector<Variant> items);

    VarType type() const;
    bool isEmpty() const { return type() == VarType::Empty; }
    bool isNull() const { return type() == VarType::Null; }
    bool isEmptyOrNull() const { return isEmpty() || isNull(); }
    bool isArray() const { return type() == VarType::Array; }
    bool isDispatch() const { return type() == VarType::Dispatch; }
    bool isString() const { return type() == VarType::String || type() == VarType::AnsiString; }
    bool isNumeric() const;
    // Name of the type as the original runtime printed it in conversion errors.
    std::string typeName() const;

    // Conversions as the original runtime made them; unreadable ones throw VariantError.
    std::string toString() const;
    bool toBool() const;
    std::int32_t toInt() const;
    std::int64_t toInt64() const;
    double toDouble() const;
    double toDate() const;
    // The text of a String value moved out (the value is left Empty); any other value
    // gives what VarToStr gives and stays as it was.
    std::string takeText();
    // Raw bytes and code page of an AnsiString value (VariantError for other types).
    const std::string& ansiBytes() const;
    int ansiCodePage() const;
    const DispatchPtr& toDispatch() const;

    // Arrays. Dimensions are numbered from 1, as VarArrayLowBound counts them.
    int dimCount() const;
    int lowBound(int dim = 1) const;
    int highBound(int dim = 1) const;
    int count(int dim = 1) const { return highBound(dim) - lowBound(dim) + 1; }
    const Variant& operator[](int index) const;
    Variant& operator[](int index);
    const Variant& at(int i, int j) const;
    Variant& at(int i, int j);
    // VarArrayRedim: new high bound of the (only or last) dimension, kept elements stay.
    void redim(int high);
    // Elements of a one-dimensional array in index order.
    std::vector<Variant> elements() const;

    // Late-bound automation calls on a Dispatch value (AutomationError / VariantError).
    Variant invoke(std::string_view name, std::span<Variant> args) const;
    Variant call(std::string_view name, std::initializer_list<Variant> args = {}) const;
    Variant get(std::string_view name) const;
    void put(std::string_view name, const Variant& value) const;

    bool operator==(const Variant& other) const;
    bool operator!=(const Variant& other) const { return !(*this == other); }

private:
    struct NullTag { bool operator==(const NullTag&) const = default; };
    struct DateValue { double days; bool operator==(const DateValue&) const = default; };
    struct Ansi { std::string bytes; int codePage; bool operator==(const Ansi&) const = default; };
    struct Array;
    using ArrayPtr = std::shared_ptr<Array>;

    const Array& arr() const;
    Array& mutableArr();
    [[noreturn]] void castError(const char* target) const;

    std::variant<std::monostate, NullTag, bool, std::int32_t, std::int64_t, double, DateValue,
                 std::string, Ansi, ArrayPtr, DispatchPtr> v_;
};

// Text of a variant for display: Null and Empty give the empty text (VarToStr).
std::string VarToStr(const Variant& v);
