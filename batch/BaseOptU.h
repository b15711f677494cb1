#pragma once
// Rules of the run-options form that need no window: the required-control groups, the
// checks of its number fields, the date rule lines and the period value. TfrmBaseOpt
// applies them to its controls; keeping them here lets each be checked on its own.

#include "platform/Variant.h"

#include <QChar>
#include <QString>
#include <QStringList>

// Character code 3 separates the fields of a rule line.
inline constexpr QChar RuleFieldSeparator = QChar(3);

// The application server's texts (message codes, MessageText.h) worded in the language of
// the interface code page ("936", "950", "437"); lines that are no code stay as they are.
QString WordServerMessages(const QString& texts, const QString& uiCodePage);

// The groups joined for SetRequiredFields: each non-empty group followed by ",".
QString JoinRequiredGroups(const QStringList& groups);

// Field checks on leaving a control. A trimmed text that is not a non-zero integer
// becomes fallback.
QString NonZeroOr(const QString& text, const QString& fallback);
// The day of the month: as NonZeroOr(text, "1"), and 32 or more becomes "31".
QString MonthDayCheck(const QString& text);
// Every N hours: a value of 0 or one that cannot be read becomes "1".
QString EveryHourCheck(const QString& text);
// While typing N hours: digits, backspace, and "." when the text is not empty and holds
// no "." yet.
bool EveryHourKeyAccepted(QChar key, const QString& text);

// The fields of a rule, as its controls hold them.
struct DateRule {
    bool moves = false;   // "Y" / "N"
    int count = 0;        // weeks or months
    int unit = 0;         // 0 week, 1 month
    int mode = 0;         // 0 add days, 1 first day, 2 last day
    int days = 0;
};
// Single date: "1", name, rule, granularity ("D" or "M").
QString SingleRuleLine(const QString& name, const DateRule& rule, const QString& granularity);
// Range: "0", name, start rule, end rule, granularity.
QString RangeRuleLine(const QString& name, const DateRule& start, const DateRule& end, const QString& granularity);
QStringList RuleFields(const QString& line);
bool IsRangeRule(const QString& line);
// The rule starting at field `first` (1-based: 3 for a single date or a range start, 8
// for a range end).
DateRule RuleAt(const QStringList& fields, int first);
// Field 8 of a single line, 13 of a range line.
QString RuleGranularity(const QString& line);
// The line without the request index and anything after it.
QString RuleWithoutIndex(const QString& line);

// The period value ["Y", "hh:mm", schedule, range]: range [start, 0], [start, 1, runs] or
// [start, 2, end] for rangeKind 0, 1, 2.
Variant MakePeriodValue(int hour, int minute, const Variant& schedule, int rangeKind, const QString& start,
                        const QString& runs, const QString& end);
