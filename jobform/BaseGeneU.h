#pragma once
// Rules of the job form that do not need a window: the date input under the user's
// date order, message codes, help topics, option slots and program codes. TfrmBaseGene
// applies them to its controls and services; keeping them here lets them be checked
// one by one.

#include "platform/Variant.h"

#include <QString>
#include <QStringList>

#include <array>

// Date input under a date-format code (1 y-m-d, 2 m-d-y, 3 d-m-y, 4 and 5 y-m-d with the
// year counted from 1912) and a separator.
namespace DateInput {
// The code as the job form uses it: anything outside 1..5 reads as 1, the default order.
int normalisedCode(int code);
// "9999/99/99;1; " and its relatives: the edit masks of full dates and of year-months.
QString dateMask(int code, const QString& separator);
QString monthMask(int code, const QString& separator);
// What a date (year-month) edit shows when it is empty: blanks where the digits go.
QString blankDate(int code, const QString& separator);
QString blankMonth(int code, const QString& separator);
// Display text to "yyyymmdd": empty (or blank) gives empty; text that does not read as
// three numbers comes back unchanged, so that the caller's check rejects it.
QString dateTextToCompact(const QString& text, int code, const QString& separator);
// Display text to "yyyymm", the same way.
QString monthTextToCompact(const QString& text, int code, const QString& separator);
} // namespace DateInput

// A message code "E;000001;param;...": type letter, number, parameters.
struct TMessageCode {
    QString type;
    // The number as it is looked up: without the leading "-" of a code that is only recorded.
    QString number;
    // Shown in a dialog: the number read as an integer is positive.
    bool show = false;
    // Ten parameter slots; Empty beyond the last parameter.
    std::array<Variant, 10> params;
};
// Splits a code. The remainder after the number always fills at least one slot (an empty
// one when there is none); a trailing ";" adds no parameter. More than ten parameters do
// not occur in the suite; should one come, the surplus stays in the tenth slot, joined by
// ";", so that nothing of the code is lost.
TMessageCode parseMessageCode(const QString& code);

// The help topic of a program code ("ACR12" style: letter 4 picks the system, the letter
// it leads to the kind, then the last two characters and "0000"); empty when the code
// names no topic.
QString helpTopicOf(const QString& programCode);

// Option slots after SetOptionCount(n): the framework's OptionBase slots follow the job's
// own n, unless OptionBase is already below the current count.
int optionCountAfter(int n, int optionBase, int currentCount);

// The program code a module file name stands for: the name without folder and extension,
// less one character for a library and two for a program, never fewer than six, in upper
// case.
QString programCodeFromModule(const QString& moduleFileName);
// The module is a library: ".Dll", or this platform's ".so" (without regard to case).
bool isLibraryFile(const QString& moduleFileName);

// Items of a required-field list "name[;flag[;part]],...".
struct TRequiredItem {
    QString name;
    QString flag;
    int part = 0;           // 0 all parts of a select panel, 1 begin, 2 end, 3 list
    // Checked for emptiness: the flag is neither "N" (any case) nor a number.
    bool checked() const;
};
QList<TRequiredItem> parseRequiredFields(const QString& list);

// A comma-separated name list holds the name as text (a name that is part of another
// listed name counts as listed, as the suite has always tested it).
bool nameListed(const QString& list, const QString& name);
// The names of a comma-separated list, trimmed, empty ones dropped.
QStringList namesOf(const QString& list);
