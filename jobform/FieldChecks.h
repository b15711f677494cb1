#pragma once
// Date fields and required fields of a job form. A derived form names its date fields,
// year-month fields and required fields in lists; the form then takes those controls
// over: date fields get the form's enter and exit handlers (which set the mask on entry
// and check the date on exit before calling the control's own handler), required fields
// are coloured and checked when an action button is clicked, before that button's own
// handler runs.

#include <QString>

class QObject;
class QWidget;
class TfrmBaseGene;
class TSelectPanel;

class TFieldChecks {
public:
    // Light yellow (red 255, green 255, blue 175) as a TColor.
    static constexpr int RequiredColour = 11534335;

    explicit TFieldChecks(TfrmBaseGene& form);

    void AddDateFields(const QString& list);
    bool CheckDateField(QWidget* control, bool entering, QString* code);
    bool CheckMonthField(QWidget* control, bool entering, QString* code);

    // The form's replacement handlers.
    void DateFieldEnter(QObject* sender);
    void DateFieldExit(QObject* sender);
    void RequiredExit(QObject* sender);

    // Records the colour of every named control (a select panel's three parts each).
    void RecordColours();
    void SetRequiredFields(const QString& list);
    bool CheckRequiredFields(const QString& list);

    // The control shows nothing: its text is what it shows when cleared under its own
    // mask; a range panel has an empty edit, a list panel no items.
    static bool IsEmptyField(QWidget* control);

    // The field's name as the clerk sees it: its caption (a select panel's for its edits),
    // else the label that points at it, else its option caption; its component name last.
    QString FieldCaption(QWidget* control) const;

private:
    enum class FieldKind { Date, Month };
    bool checkField(QWidget* control, bool entering, QString* code, FieldKind kind);
    void dateFieldEvent(QObject* sender, bool entering);
    // Saves a control's handler under "name.event" and installs the replacement.
    void hook(QObject* control, const char* event, const QString& name);
    // Puts the first saved handler of "name.event" back and forgets the saved entries.
    void unhook(QObject* control, const char* event, const QString& name);
    void callSaved(const QString& key, QObject* sender);
    void restoreColours();
    void colour(QWidget* control, int part);
    // Shows the option page that holds the control.
    void showPageOf(QWidget* control);

    TfrmBaseGene& form_;
};
