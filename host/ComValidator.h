#pragma once
// The validator service (the session object's Com_Validator): existence checks and
// look-ups of one master row by key, for the checks a job form makes when a field is
// left. Every check is a fixed query whose key values are bound as parameters.
//
//   CheckValue(table, kind, database, keys, result) -> Boolean: true when the key exists;
//       result := the values of the first matching row (a one-dimensional array).
//   QueryData(table, kind, database, keys, result) -> Boolean: the same, but result :=
//       every matching row (a row set).
//   ProductID, BaseLimited: writable; kept for the checks.
//
// An unknown (table, kind), a key array that is too short, or a failed server call
// answers false with result Empty: the validator never raises into a form.

#include "host/AppServerLink.h"

#include <memory>

class ComValidator : public DispatchObject {
public:
    explicit ComValidator(std::shared_ptr<AppServerLink> server);

    int ProductID = 3;
    std::string BaseLimited;

    // True when the validator knows the check (table, kind).
    static bool Knows(std::string_view table, std::string_view kind);

private:
    Variant check(std::span<Variant> args, bool allRows);

    std::shared_ptr<AppServerLink> server_;
};
