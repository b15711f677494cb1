#include "server/SchemeStore.h"

#include "platform/CodePage.h"

namespace {

std::string trimmed(std::string_view s)
{
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string_view::npos)
        return {};
    return std::string(s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1));
}

std::string textAt(const Variant& array, int offset)
{
    const int i = array.lowBound() + offset;
    if (i > array.highBound())
        return {};
    const Variant& v = array[i];
    if (v.isEmptyOrNull())
        return {};
    if (v.isArray() || v.isDispatch())
        throw DbError("Element " + std::to_string(offset) + " of the scheme data is not a text");
    return v.toString();
}

void requireArray(const Variant& v, int count, const char* what)
{
    if (!v.isArray() || v.dimCount() != 1 || v.count() < count)
        throw DbError(std::string(what) + " must be an array of " + std::to_string(count) + " elements");
}

const char* const kColumns[] = {"NCONDITION", "CREATOR", "PROGRAMME", "CREATE_DATE", "SCONDITION", "VCONDITION"};

} // namespace

SchemeStore::SchemeStore(DbConnection& conn, int dbCodePage) : conn_(conn), dbCodePage_(dbCodePage) {}

SchemeStore::Key SchemeStore::keyOf(const Variant& keys, const char* what) const
{
    requireArray(keys, 3, what);
    Key key{textAt(keys, 0), trimmed(textAt(keys, 1)), trimmed(textAt(keys, 2))};
    if (key.user.empty() || key.program.empty())
        throw DbError(std::string(what) + " needs a user and a program");
    return key;
}

void SchemeStore::checkName(const std::string& name) const
{
    if (trimmed(name).empty())
        throw DbError("The scheme has no name");
    const int codePage = IsSupportedCodePage(dbCodePage_) ? dbCodePage_ : 936;
    const std::size_t bytes = Utf8ToCodePage(name, codePage).size();
    if (bytes > std::size_t(MaxNameBytes))
        throw DbError("The scheme name \"" + name + "\" is " + std::to_string(bytes) + " bytes long; at most " +
                      std::to_string(MaxNameBytes) + " fit");
}

bool SchemeStore::exists(const Key& key) const
{
    return !conn_
                .query("SELECT 1 FROM GENES WHERE NCONDITION = :N AND CREATOR = :C AND PROGRAMME = :P",
                       {{"N", key.name}, {"C", key.user}, {"P", key.program}})
                .empty();
}

void SchemeStore::LoadTable(const Variant& keys)
{
    requireArray(keys, 2, "LoadTable's keys");
    const std::string user = trimmed(textAt(keys, 0));
    const std::string program = trimmed(textAt(keys, 1));
    if (user.empty() || program.empty())
        throw DbError("LoadTable needs a user and a program");
    user_ = user;
    program_ = program;
    loaded_ = true;
}

void SchemeStore::InsertConTable(const Variant& record)
{
    requireArray(record, 7, "The scheme record");
    const Key key{textAt(record, 0), trimmed(textAt(record, 1)), trimmed(textAt(record, 3))};
    if (key.user.empty() || key.program.empty())
        throw DbError("The scheme record needs a user and a program");
    checkName(key.name);
    const Variant& replaceFlag = record[record.lowBound() + 6];
    bool replace = false;
    try {
        replace = !replaceFlag.isEmptyOrNull() && replaceFlag.toBool();
    } catch (const std::exception&) {
        throw DbError("The replace flag of the scheme record is not a boolean");
    }
    const DbParams values{{"N", key.name},
                          {"C", key.user},
                          {"P", key.program},
                          {"D", textAt(record, 2)},
                          {"S", textAt(record, 4)},
                          {"V", textAt(record, 5)}};
    DbTransaction tx(conn_, DbTransaction::Write);
    if (exists(key)) {
        if (!replace)
            throw DbError("A scheme named \"" + key.name + "\" already exists");
        conn_.execute("UPDATE GENES SET CREATE_DATE = :D, SCONDITION = :S, VCONDITION = :V "
                      "WHERE NCONDITION = :N AND CREATOR = :C AND PROGRAMME = :P",
                      values);
    } else {
        conn_.execute("INSERT INTO GENES (NCONDITION, CREATOR, PROGRAMME, CREATE_DATE, SCONDITION, VCONDITION) "
                      "VALUES (:N, :C, :P, :D, :S, :V)",
                      values);
    }
    tx.commit();
}

void SchemeStore::DeleteConTable(const Variant& keys)
{
    const Key key = keyOf(keys, "DeleteConTable's keys");
    const int n = conn_.execute("DELETE FROM GENES WHERE NCONDITION = :N AND CREATOR = :C AND PROGRAMME = :P",
                                {{"N", key.name}, {"C", key.user}, {"P", key.program}});
    if (n == 0)
        throw DbError("There is no scheme named \"" + key.name + "\"");
}

void SchemeStore::ChangeConName(const Variant& oldKeys, const Variant& newKeys)
{
    const Key from = keyOf(oldKeys, "ChangeConName's old keys");
    const Key to = keyOf(newKeys, "ChangeConName's new keys");
    checkName(to.name);
    if (from.user != to.user || from.program != to.program)
        throw DbError("A scheme keeps its user and program when it is renamed");
    if (from.name == to.name)
        return;
    DbTransaction tx(conn_, DbTransaction::Write);
    if (!exists(from))
        throw DbError("There is no scheme named \"" + from.name + "\"");
    if (exists(to))
        throw DbError("A scheme named \"" + to.name + "\" already exists");
    conn_.execute("UPDATE GENES SET NCONDITION = :NEW WHERE NCONDITION = :N AND CREATOR = :C AND PROGRAMME = :P",
                  {{"NEW", to.name}, {"N", from.name}, {"C", from.user}, {"P", from.program}});
    tx.commit();
}

Variant SchemeStore::records() const
{
    if (!loaded_)
        throw DbError("The provider pvdConSave answers after LoadTable has chosen a user and a program");
    Variant names = Variant::array(0, 5);
    for (int i = 0; i < 6; ++i)
        names[i] = kColumns[i];
    Variant answer = Variant::array(0, 1);
    answer[0] = names;
    const DbRowSet rows =
        conn_.query("SELECT NCONDITION, CREATOR, PROGRAMME, CREATE_DATE, SCONDITION, VCONDITION FROM GENES "
                    "WHERE CREATOR = :C AND PROGRAMME = :P ORDER BY NCONDITION",
                    {{"C", user_}, {"P", program_}});
    if (rows.empty())
        return answer;
    Variant list = Variant::array(0, int(rows.rows.size()) - 1);
    for (std::size_t r = 0; r < rows.rows.size(); ++r) {
        Variant row = Variant::array(0, 5);
        for (int c = 0; c < 6; ++c)
            row[c] = rows.rows[r][std::size_t(c)].isEmptyOrNull() ? Variant("") : rows.rows[r][std::size_t(c)];
        list[int(r)] = row;
    }
    answer[1] = list;
    return answer;
}
