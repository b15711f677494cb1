#pragma once
// The parameter file of an unattended run (jobhost --run FILE): a JSON object that names
// the job's controls and their values, plus the command, turned into the packet a
// controller's ApplyParams takes: [command, [true, [[name, name]...], [value...]]].
//
//   "command": 0 sets the values only, 1 presses OK (the job goes to the queue), 5 runs
//              the job at once; any other number is refused
//   "<control>": a text, a number, true/false or null; ["low", "high"] or
//              {"from": "low", "to": "high"} for a range, {"list": ["a", "b"]} for a list;
//              dates compact, "yyyymmdd"
// Every other member is a control's name, given once; the job says which of them it takes
// and which buttons act on a value.

#include "platform/Variant.h"

#include <QString>

struct RunFile {
    Variant packet;  // Empty when the file cannot be used
    QString problem; // why, naming the file and the place
    bool readable = true; // false when the file itself could not be read
    bool ok() const { return problem.isEmpty(); }
};

RunFile ReadRunFile(const QString& path);
// The same for a text already read; source names it in problems.
RunFile ParseRunFile(const QByteArray& text, const QString& source);
