#include "writeoffserver/WriteOffConditions.h"
#include "writeoffserver/WriteOffRequest.h"

#include "db/Db.h"
#include "db/DbError.h"
#include "support/Helpers.h"

#include <string>

namespace {

constexpr Wording3 kTypes[] = {{"应付款转销", "應付款轉銷", "Payables write-off"},
                               {"其他应付款转销", "其他應付款轉銷", "Other payables write-off"},
                               {"预付款转销", "預付款轉銷", "Prepayments write-off"}};
constexpr Wording3 kTicked{"勾选的单据", "勾選的單據", "Documents ticked"};
constexpr Wording3 kDocuments{" 笔: ", " 筆: ", " documents: "};
constexpr Wording3 kOneDocument{" 笔: ", " 筆: ", " document: "};
constexpr Wording3 kNoDocument{"无", "無", "none"};

// What the company database tells about the request's codes; empty where it cannot.
struct CompanyNames {
    std::vector<std::string> documentTypes;
    std::string supplierName;
};

CompanyNames readNames(DbConnection* company, const std::string& supplier)
{
    CompanyNames names;
    if (!company)
        return names;
    try {
        company->forEachRow("SELECT MQ001 FROM CMSMQ", {}, [&](std::vector<Variant>& row) {
            names.documentTypes.push_back(PacketText(row[0]));
            return true;
        });
        // The full name, as the clerk's form shows it beside the code; else the short one.
        if (!supplier.empty())
            company->forEachRow("SELECT MA003, MA002 FROM PURMA WHERE MA001 = :S", {{"S", supplier}},
                                [&](std::vector<Variant>& row) {
                                    names.supplierName = PacketText(row[0]).empty() ? PacketText(row[1])
                                                                                    : PacketText(row[0]);
                                    return false;
                                });
    } catch (const DbError&) {
        // The record then shows the codes and the name the clerk saw.
    }
    return names;
}

// "7101-20240101001" of the key "710120240101001": the longest known type that begins it.
std::string documentName(const std::string& key, const std::vector<std::string>& types)
{
    std::size_t best = 0;
    for (const std::string& type : types)
        if (type.size() > best && key.size() > type.size() && key.compare(0, type.size(), type) == 0)
            best = type.size();
    return best ? key.substr(0, best) + "-" + key.substr(best) : key;
}

std::string ticked(const Variant& keys, HostLanguage language, const std::vector<std::string>& types)
{
    std::vector<std::string> names;
    if (keys.isArray() && keys.dimCount() == 1)
        for (int i = keys.lowBound(); i <= keys.highBound(); ++i)
            if (const std::string key = PacketText(keys[i]); !key.empty() && key != "NN")
                names.push_back(documentName(key, types));
    if (names.empty())
        return kNoDocument.in(language);
    std::string out = std::to_string(names.size()) + (names.size() == 1 ? kOneDocument : kDocuments).in(language);
    for (std::size_t i = 0; i < names.size(); ++i)
        out += (i ? ", " : "") + names[i];
    return out;
}

// The document selections the type uses: 6 and 7 for payables, 8 other payables, 9 prepayments.
bool usesSlot(int type, int slot)
{
    switch (type) {
    case 1:
        return slot == 6 || slot == 7;
    case 2:
        return slot == 8;
    case 3:
        return slot == 9;
    default:
        return true;
    }
}

int typeOf(const Variant& value)
{
    const int type = strToIntDef(PacketText(value), 0);
    return type >= 1 && type <= 3 ? type : 0;
}

} // namespace

std::optional<std::vector<ConditionLine>> DescribeWriteOffConditions(const Variant& texts, const Variant& values,
                                                                    HostLanguage language, DbConnection* company)
{
    const auto fits = [](const Variant& a) {
        return a.isArray() && a.dimCount() == 1 && a.lowBound() == 1 && a.highBound() == kWriteOffOptionCount;
    };
    if (!fits(texts) || !fits(values))
        return std::nullopt;
    const auto caption = [&](int i) {
        const Variant& t = texts[i];
        return t.isArray() && t.dimCount() == 1 && t.count() > 0 ? PacketText(t[t.lowBound()]) : std::string();
    };
    const std::string supplier = PacketText(values[11]);
    const CompanyNames names = readNames(company, supplier);
    const int type = typeOf(values[1]);
    const ShownValue date = [](const std::string& t) { return ShownCompactDate(t); };
    const ShownValue document = [&](const std::string& key) { return documentName(key, names.documentTypes); };

    std::vector<ConditionLine> lines;
    const auto add = [&](int slot, std::string value) { lines.push_back({caption(slot), std::move(value)}); };
    add(1, type ? kTypes[type - 1].in(language) : ConditionValueWords(values[1], language));
    add(2, ConditionValueWords(values[2], language, date));
    add(3, ConditionValueWords(values[3], language, date));
    add(4, ConditionValueWords(values[4], language));
    add(5, ConditionValueWords(values[5], language));
    for (int slot = 6; slot <= 9; ++slot)
        if (usesSlot(type, slot))
            add(slot, ConditionValueWords(values[slot], language, document));
    add(10, ConditionValueWords(values[10], language));
    // The supplier by its name in the books now; the label the clerk saw where they have none.
    const std::string name = names.supplierName.empty() ? PacketText(values[15]) : names.supplierName;
    add(11, supplier.empty() ? NotGivenWords(language) : name.empty() ? supplier : supplier + " " + name);
    if (type == 3 || type == 0)
        add(12, ConditionValueWords(values[12], language));
    lines.push_back({kTicked.in(language), ticked(values[13], language, names.documentTypes)});
    add(16, YesNoWords(values[16], language));
    if (!PacketText(values[17]).empty())
        add(17, ConditionValueWords(values[17], language, date));
    return lines;
}
