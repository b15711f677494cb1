#pragma once
// RecordValue: a value as a TClientDataSet record keeps it, in 16 bytes: a text of up to
// 14 bytes in place, a longer one in a block of its own of just its size, numbers, exact
// decimals and Booleans in place. A list of 100,000 records of twenty fields then takes a
// third of the room it would as FieldValues, and a walk over one field of every record
// touches as much less memory.

#include "dataset/Decimal.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <variant>

// A stored value: Null (monostate), text, integer, float or date (double), exact decimal,
// Boolean. Which one a field holds follows its type.
using FieldValue = std::variant<std::monostate, std::string, std::int64_t, double, Decimal, bool>;

class RecordValue {
public:
    // The moves and the destructor are here to be inlined: a list of 100,000 records
    // moves and drops two million of them.
    RecordValue() noexcept { clearBytes(); }
    RecordValue(const FieldValue& value) { clearBytes(); set(value); }
    RecordValue(const RecordValue& other)
    {
        std::memcpy(bytes_, other.bytes_, sizeof bytes_);
        if (kind() == LongText)
            copyBlock();
    }
    RecordValue(RecordValue&& other) noexcept
    {
        std::memcpy(bytes_, other.bytes_, sizeof bytes_);
        other.bytes_[0] = Null;
    }
    RecordValue& operator=(const RecordValue& other)
    {
        if (this != &other) {
            release();
            std::memcpy(bytes_, other.bytes_, sizeof bytes_);
            if (kind() == LongText)
                copyBlock();
        }
        return *this;
    }
    RecordValue& operator=(RecordValue&& other) noexcept
    {
        if (this != &other) {
            release();
            std::memcpy(bytes_, other.bytes_, sizeof bytes_);
            other.bytes_[0] = Null;
        }
        return *this;
    }
    RecordValue& operator=(const FieldValue& value);
    ~RecordValue()
    {
        if (kind() == LongText)
            freeBlock();
    }

    FieldValue get() const;
    bool isNull() const { return kind() == Null; }
    bool isText() const { return kind() == ShortText || kind() == LongText; }
    // The text of a text value; empty for any other.
    std::string_view text() const;
    // The value as an exact decimal when it is one, else false.
    bool decimal(Decimal& out) const;
    // Values of different kinds order as FieldValue's alternatives; texts by their bytes.
    int compare(const RecordValue& other) const;
    bool operator==(const RecordValue& other) const
    {
        if (kind() == ShortText && other.kind() == ShortText)
            return bytes_[1] == other.bytes_[1] && std::memcmp(bytes_ + 2, other.bytes_ + 2, bytes_[1]) == 0;
        return compare(other) == 0;
    }

private:
    enum Kind : unsigned char { Null, ShortText, LongText, Integer, Float, Exact, Boolean };
    static constexpr std::size_t kShortText = 14;

    Kind kind() const { return Kind(bytes_[0]); }
    // FieldValue's alternative index of the kind.
    int order() const;
    void clearBytes() noexcept { std::memset(bytes_, 0, sizeof bytes_); }
    void set(const FieldValue& value);
    void release() noexcept
    {
        if (kind() == LongText)
            freeBlock();
        bytes_[0] = Null;
    }
    void freeBlock() noexcept;
    // After the bytes of a long text were copied: the text gets a block of its own.
    void copyBlock();
    std::int64_t word() const;
    double number() const;
    void setWord(std::int64_t w);

    // [0] kind; [1] short text: its length, exact: its scale; [2..15] short text;
    // [4..7] long text: its length; [8..15] integer, float, decimal units or the long
    // text's block.
    alignas(8) unsigned char bytes_[16];
};

static_assert(sizeof(RecordValue) == 16);
