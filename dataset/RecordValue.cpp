#include "dataset/RecordValue.h"

#include <cstring>
#include <limits>

namespace {

template <class T> int order3(const T& a, const T& b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

} // namespace

std::int64_t RecordValue::word() const
{
    std::int64_t w;
    std::memcpy(&w, bytes_ + 8, sizeof w);
    return w;
}

double RecordValue::number() const
{
    double d;
    std::memcpy(&d, bytes_ + 8, sizeof d);
    return d;
}

void RecordValue::setWord(std::int64_t w)
{
    std::memcpy(bytes_ + 8, &w, sizeof w);
}

void RecordValue::freeBlock() noexcept
{
    char* block;
    std::memcpy(&block, bytes_ + 8, sizeof block);
    delete[] block;
}

void RecordValue::set(const FieldValue& value)
{
    switch (value.index()) {
    case 0:
        break;
    case 1: {
        const std::string& s = std::get<std::string>(value);
        if (s.size() <= kShortText) {
            bytes_[0] = ShortText;
            bytes_[1] = static_cast<unsigned char>(s.size());
            std::memcpy(bytes_ + 2, s.data(), s.size());
            break;
        }
        if (s.size() > std::numeric_limits<std::uint32_t>::max())
            throw DataSetError("A text of " + std::to_string(s.size()) + " bytes is too long for a record");
        char* block = new char[s.size()];
        std::memcpy(block, s.data(), s.size());
        const auto length = std::uint32_t(s.size());
        bytes_[0] = LongText;
        std::memcpy(bytes_ + 4, &length, sizeof length);
        std::memcpy(bytes_ + 8, &block, sizeof block);
        break;
    }
    case 2:
        bytes_[0] = Integer;
        setWord(std::get<std::int64_t>(value));
        break;
    case 3: {
        bytes_[0] = Float;
        std::int64_t w;
        const double d = std::get<double>(value);
        std::memcpy(&w, &d, sizeof w);
        setWord(w);
        break;
    }
    case 4: {
        const Decimal& m = std::get<Decimal>(value);
        bytes_[0] = Exact;
        bytes_[1] = static_cast<unsigned char>(m.scale());
        setWord(m.units());
        break;
    }
    default:
        bytes_[0] = Boolean;
        bytes_[1] = std::get<bool>(value) ? 1 : 0;
        break;
    }
}

void RecordValue::copyBlock()
{
    const std::string_view t = text();
    char* block = nullptr;
    try {
        block = new char[t.size()];
    } catch (...) {
        bytes_[0] = Null; // the block is still the other value's
        throw;
    }
    std::memcpy(block, t.data(), t.size());
    std::memcpy(bytes_ + 8, &block, sizeof block);
}

RecordValue& RecordValue::operator=(const FieldValue& value)
{
    RecordValue made(value);
    return *this = std::move(made);
}

std::string_view RecordValue::text() const
{
    if (kind() == ShortText)
        return {reinterpret_cast<const char*>(bytes_ + 2), bytes_[1]};
    if (kind() == LongText) {
        std::uint32_t length;
        const char* block;
        std::memcpy(&length, bytes_ + 4, sizeof length);
        std::memcpy(&block, bytes_ + 8, sizeof block);
        return {block, length};
    }
    return {};
}

bool RecordValue::decimal(Decimal& out) const
{
    if (kind() != Exact)
        return false;
    out = Decimal(word(), bytes_[1]);
    return true;
}

FieldValue RecordValue::get() const
{
    switch (kind()) {
    case Null:
        return {};
    case ShortText:
    case LongText:
        return std::string(text());
    case Integer:
        return word();
    case Float:
        return number();
    case Exact:
        return Decimal(word(), bytes_[1]);
    case Boolean:
        return bytes_[1] != 0;
    }
    return {};
}

int RecordValue::order() const
{
    switch (kind()) {
    case Null:
        return 0;
    case ShortText:
    case LongText:
        return 1;
    case Integer:
        return 2;
    case Float:
        return 3;
    case Exact:
        return 4;
    case Boolean:
        return 5;
    }
    return 0;
}

int RecordValue::compare(const RecordValue& other) const
{
    const int a = order();
    const int b = other.order();
    if (a != b)
        return a < b ? -1 : 1;
    switch (a) {
    case 1: {
        const int c = text().compare(other.text());
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    case 2:
        return order3(word(), other.word());
    case 3:
        return order3(number(), other.number());
    case 4: {
        Decimal x, y;
        decimal(x);
        other.decimal(y);
        return x.compare(y);
    }
    case 5:
        return order3(bytes_[1], other.bytes_[1]);
    default:
        return 0;
    }
}
