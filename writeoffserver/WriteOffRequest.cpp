#include "writeoffserver/WriteOffRequest.h"

#include "platform/AsciiText.h"
#include "platform/CodePage.h"
#include "support/Conditions.h"
#include "support/Dates.h"
#include "support/Helpers.h"
#include "support/MessageText.h"

#include <cctype>
#include <set>
#include <utility>

WriteOffError::~WriteOffError() = default;

namespace {

// Every code-page text of a value, nested arrays included, as UTF-8.
Variant utf8Of(const Variant& v)
{
    if (v.type() == VarType::AnsiString)
        return Variant(CodePageToUtf8(v.ansiBytes(), v.ansiCodePage()));
    if (!v.isArray() || v.dimCount() != 1)
        return v;
    Variant copy = v;
    for (int i = copy.lowBound(); i <= copy.highBound(); ++i)
        copy[i] = utf8Of(std::as_const(v)[i]);
    return copy;
}

std::string slotName(int slot)
{
    static const char* names[] = {"",
                                  "write-off type",
                                  "write-off date",
                                  "document dates",
                                  "currency",
                                  "suppliers",
                                  "purchase invoices",
                                  "expense invoices",
                                  "other payable documents",
                                  "prepayment documents",
                                  "batch number",
                                  "transfer supplier",
                                  "refund document type",
                                  "chosen documents",
                                  "candidate query",
                                  "transfer supplier name",
                                  "log flag",
                                  "print date"};
    return "option " + std::to_string(slot) + " (" + names[slot] + ")";
}

std::string scalarText(const Variant& values, int slot)
{
    const Variant& v = values[slot];
    if (v.isEmpty() || v.isNull())
        return {};
    if (v.isArray())
        throw WriteOffError("The write-off packet is malformed: " + slotName(slot) + " must be a single value");
    return TrimmedText(v);
}

// The start of a range value (or the value itself): the write-off date.
std::string rangeStart(const Variant& v)
{
    if (!v.isArray())
        return TrimmedText(v);
    if (v.dimCount() != 1 || v.highBound() < v.lowBound() + 1)
        return {};
    const int first = ConditionValueKind(v) >= 0 ? v.lowBound() + 1 : v.lowBound();
    return first <= v.highBound() && !v[first].isArray() ? TrimmedText(v[first]) : std::string();
}

bool isConditionValue(const Variant& v)
{
    if (!v.isArray())
        return true;
    if (v.dimCount() != 1)
        return false;
    for (int i = v.lowBound(); i <= v.highBound(); ++i)
        if (v[i].isArray() && !isConditionValue(v[i]))
            return false;
    return true;
}

} // namespace

std::string TrimmedText(const Variant& value)
{
    if (value.isEmpty() || value.isNull())
        return {};
    if (value.type() == VarType::AnsiString)
        return std::string(trimBlanks(CodePageToUtf8(value.ansiBytes(), value.ansiCodePage())));
    return std::string(trimBlanks(VarToStr(value)));
}

std::string NormalizedBatchNo(const std::string& text)
{
    const std::string batch = upperAscii(trimBlanks(text));
    if (batch.empty())
        throw WriteOffError(MessageCode("E;200671"));
    if (batch.size() > kMaxBatchNoLength)
        throw WriteOffError(MessageCode("E;200672", {batch, std::to_string(kMaxBatchNoLength)}));
    for (char c : batch)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            throw WriteOffError(MessageCode("E;200673", {batch}));
    return batch;
}

std::string RunKeyOf(const std::string& extra)
{
    constexpr std::size_t kRunExtraLength = 26;
    if (extra.size() != kRunExtraLength)
        return {};
    const std::string key = extra.substr(kRunExtraLength - kRunKeyLength);
    for (char c : key)
        if (c < '0' || c > '9')
            return {};
    return key;
}

std::string RunBatchNo(const std::string& text, const std::string& runKey)
{
    const std::string batch = NormalizedBatchNo(text);
    if (runKey.empty())
        return batch;
    if (batch.size() > kMaxBatchPrefixLength)
        throw WriteOffError(MessageCode("E;200686", {batch, std::to_string(kMaxBatchPrefixLength)}));
    return batch + "-" + runKey;
}

std::string StoredBatchNo(const std::string& text)
{
    const std::string batch = upperAscii(trimBlanks(text));
    const std::size_t hyphen = batch.find('-');
    if (hyphen == std::string::npos || batch.size() - hyphen - 1 != kRunKeyLength)
        return NormalizedBatchNo(batch);
    const std::string key = batch.substr(hyphen + 1);
    if (key.find_first_not_of("0123456789") != std::string::npos)
        return NormalizedBatchNo(batch);
    return RunBatchNo(batch.substr(0, hyphen), key);
}

namespace {

// The envelope of either packet layout and its option values, in UTF-8.
Variant readEnvelope(const Variant& packet, WriteOffRequest& r)
{
    if (!packet.isArray() || packet.dimCount() != 1 || packet.lowBound() != 0
        || (packet.highBound() != 6 && packet.highBound() != 11))
        throw WriteOffError("The write-off packet is malformed: expected 7 elements (job kind B) or 12");
    const bool batch = packet.highBound() == 6;
    r.requestNo = TrimmedText(packet[0]);
    r.companyCode = TrimmedText(packet[batch ? 1 : 2]);
    r.userCode = TrimmedText(packet[batch ? 2 : 3]);
    r.databaseName = TrimmedText(packet[4]);
    r.extra = TrimmedText(packet[batch ? 5 : 8]);
    if (r.requestNo.empty())
        throw WriteOffError("The write-off packet is malformed: it names no request number");
    if (r.databaseName.empty())
        throw WriteOffError("The write-off packet is malformed: it names no company database");

    const Variant values = utf8Of(packet[batch ? 3 : 5]);
    if (!values.isArray() || values.dimCount() != 1)
        throw WriteOffError("The write-off packet is malformed: the option values are no list");
    if (values.lowBound() != 1 || values.highBound() != kWriteOffOptionCount)
        throw WriteOffError("The write-off packet is malformed: the option values must have the bounds 1.."
                            + std::to_string(kWriteOffOptionCount) + ", not " + std::to_string(values.lowBound())
                            + ".." + std::to_string(values.highBound()));
    return values;
}

} // namespace

WriteOffRequest ReadWriteOffBatch(const Variant& packet)
{
    WriteOffRequest r;
    const Variant values = readEnvelope(packet, r);
    r.batchNo = RunBatchNo(scalarText(values, 10), RunKeyOf(r.extra));
    return r;
}

WriteOffRequest ReadWriteOffPacket(const Variant& packet)
{
    WriteOffRequest r;
    const Variant values = readEnvelope(packet, r);

    // 1: the type, as an integer or its digit.
    try {
        r.type = values[1].isArray() ? 0 : values[1].toInt();
    } catch (const VariantError&) {
        r.type = 0;
    }
    if (r.type < 1 || r.type > 3)
        throw WriteOffError("The write-off packet is malformed: " + slotName(1) + " must be 1, 2 or 3, not \""
                            + safeVarToStr(values[1]) + "\"");

    r.writeOffDate = rangeStart(values[2]);
    if (!IsValidCompactDate(r.writeOffDate) || r.writeOffDate.size() != 8)
        throw WriteOffError("The write-off packet is malformed: " + slotName(2) + " must be a date yyyymmdd, not \""
                            + r.writeOffDate + "\"");

    for (int slot : {3, 5, 6, 7, 8, 9})
        if (!isConditionValue(values[slot]))
            throw WriteOffError("The write-off packet is malformed: " + slotName(slot) + " is no condition value");
    r.accountingDates = values[3];
    r.suppliers = values[5];
    for (int i = 0; i < 4; ++i)
        r.selections[i] = values[6 + i];

    r.currency = scalarText(values, 4);
    if (r.currency.empty())
        throw WriteOffError("The write-off packet is malformed: " + slotName(4) + " is empty");
    r.batchNo = RunBatchNo(scalarText(values, 10), RunKeyOf(r.extra));
    r.transferSupplier = scalarText(values, 11);
    if (r.transferSupplier.empty())
        throw WriteOffError(MessageCode("E;200668"));
    r.refundType = scalarText(values, 12);
    if (r.type == 3 && r.refundType.empty())
        throw WriteOffError(MessageCode("E;200667"));

    // 13: the keys actually present, whatever count the client had.
    const Variant& docs = values[13];
    if (!docs.isArray() || docs.dimCount() != 1)
        throw WriteOffError("The write-off packet is malformed: " + slotName(13) + " is no list");
    std::set<std::string> seen;
    for (int i = docs.lowBound(); i <= docs.highBound(); ++i) {
        if (docs[i].isArray())
            throw WriteOffError("The write-off packet is malformed: element " + std::to_string(i) + " of "
                                + slotName(13) + " is a list");
        const std::string key = TrimmedText(docs[i]);
        if (key.empty())
            throw WriteOffError("The write-off packet is malformed: element " + std::to_string(i) + " of "
                                + slotName(13) + " is empty");
        if (key == "NN" && docs.highBound() == docs.lowBound())
            break;
        if (!seen.insert(key).second)
            throw WriteOffError(MessageCode("E;200670", {key}));
        r.documents.push_back(key);
    }
    if (r.documents.empty())
        throw WriteOffError(MessageCode("E;200669"));

    r.transferName = scalarText(values, 15);
    r.log = SameTextAscii(scalarText(values, 16), "Y");
    return r;
}
