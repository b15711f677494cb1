#pragma once
// Condition schemes (table GENES): what a user saved of a job's conditions, per program.
// The application server's LoadTable / InsertConTable / DeleteConTable / ChangeConName
// and its provider "pvdConSave" are this store; every name and value is bound, never
// pasted, and kept exactly as it came (Chinese text, quotes, control characters).

#include "db/Db.h"
#include "platform/Variant.h"

#include <string>

class SchemeStore {
public:
    // Scheme names are at most this many bytes in the database's code page.
    static constexpr int MaxNameBytes = 20;
    static constexpr const char* ProviderName = "pvdConSave";

    SchemeStore(DbConnection& conn, int dbCodePage);

    // Chooses the schemes records() answers: those of one user for one program.
    // DbError for an empty user or program.
    void LoadTable(const Variant& keys);
    // record 0..6: [name, user, "yyyymmdd", program, property list, values text, replace].
    // Without the replace flag a scheme of that name is refused, not overwritten.
    void InsertConTable(const Variant& record);
    // keys [name, user, program]; a scheme that is not there is an error.
    void DeleteConTable(const Variant& keys);
    // [old name, user, program], [new name, user, program]: the scheme keeps its values
    // and creation date; a new name that is taken is refused.
    void ChangeConName(const Variant& oldKeys, const Variant& newKeys);

    // The provider's answer for the chosen user and program, ordered by name:
    // [0] field names 0..5, [1] rows 0..r-1 (each 0..5), or rows Empty when none.
    Variant records() const;

private:
    struct Key {
        std::string name, user, program;
    };
    Key keyOf(const Variant& keys, const char* what) const;
    void checkName(const std::string& name) const;
    bool exists(const Key& key) const;

    DbConnection& conn_;
    int dbCodePage_;
    std::string user_, program_;
    bool loaded_ = false;
};
