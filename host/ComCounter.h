#pragma once
// The counter service (the session object's Com_Counter): the company's system settings
// and the named server methods a job form calls through CallServerMethod.
//
//   GetSysInfo(company) -> settings matrix: a two-dimensional array, (0, i) the name and
//       (1, i) the value of setting i; Empty when the settings cannot be read.
//   GetCounter(name, args, context) -> Variant, name without regard to case, context the
//       array [company, database]:
//       "SIMPLESQL", args [sql text, column list (, parameters)]: the server's SimpleSQL,
//           a row set or Empty;
//       "SIMPLESQLPARTS", args [sql text, column list, parameters or Empty, receiver (,
//           rows a part)]: the same query, its answer handed to receiver.Rows(part) while it
//           runs, a part at a time (AppServerLink::simpleSqlParts); receiver answers False
//           to stop. Answers how many rows were handed over, or False when it failed.
//       "RESULTCONNECTSTRING", args [""]: the connection text with which a job opens the
//           company database on its own connection.
//       Any other name answers Empty.

#include "host/AppServerLink.h"

#include <memory>

class ComCounter : public DispatchObject {
public:
    explicit ComCounter(std::shared_ptr<AppServerLink> server);

private:
    Variant getSysInfo(const std::string& company);
    Variant getCounter(const std::string& name, std::span<Variant> args, const Variant& context);

    std::shared_ptr<AppServerLink> server_;
};
