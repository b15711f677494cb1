#pragma once
// The values of a condition scheme: one line per "control.property" item of a job form's
// scheme property list, built from the controls when a scheme is saved and put back into
// them when it is opened. Date conditions move by their rules on saving; the rules of the
// dates tied to the run date follow the lines, and opening moves those dates again from
// the day it is opened, so that a scheme tied to the run date opens next month with next
// month's dates.

#include <QString>
#include <QStringList>

class QWidget;
class TSelectPanel;
class TfrmBaseGene;

namespace SchemeValues {

constexpr QChar kField = QChar(3);    // between the fields of a panel line and of a rule
constexpr QChar kSubItem = QChar(1);  // before each sub-item of a list item
constexpr QChar kItemEnd = QChar(4);  // after each list item

// The "control.property;" items of the named controls inside container, in creation order:
// edits and spin edits ".text", combo boxes and radio groups ".itemindex", check boxes and
// radio buttons ".checked", select panels ".style"; memos and the parts of a select panel,
// a combo box or a spin edit are no items of their own.
QString PropertiesOf(const QWidget* container);

// Caption, code 1 and the sub-items joined by code 1 when there are any, code 4.
QString EncodeList(const TSelectPanel* panel);
// Refills the panel's list; std::runtime_error "parse spSaveValue error" when the text is
// no encoded list.
void DecodeList(TSelectPanel* panel, const QString& text);

// Applies a date rule to a compact date (empty stays empty). rule: the rule's fields;
// first: the index of its tie field (2 for a single date or a range's begin, 7 for a
// range's end).
QString ApplyDateRule(const QString& compact, const QStringList& rule, int first);

// The values text of the property list (each line ended by CR LF), then the form's date
// rules that tie a listed control to the run date, one line each. A date control without a
// rule gets an empty line.
QString Build(TfrmBaseGene& form, const QString& properties);

// Puts the values back, BeforeApplyValue / AfterApplyValue around each control; tied dates
// rolled to today by the rules after the lines. A line that no control can take stops
// there (false, what failed in *failure); values applied before stay. A property of a kind
// no scheme sets ends the application too, but as done (true, *failure says where). A
// values text with fewer lines than the list leaves the rest as it is; a panel's empty
// line leaves the panel alone.
bool Apply(TfrmBaseGene& form, const QString& properties, const QString& values, QString* failure = nullptr);

} // namespace SchemeValues
