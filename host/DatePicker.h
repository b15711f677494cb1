#pragma once
// The host's date picker ("日期快手"): a month calendar on which the user picks one day.
// The look-up service runs it through the modal runner and answers the day as "yyyymmdd".
//
// Children by object name: "calendar", "lblDate", "btnToday", "btnOk", "btnCancel".

#include "support/MessageCatalogue.h"

#include <QDate>
#include <QDialog>
#include <QLocale>

class QCalendarWidget;
class QLabel;

class DatePicker : public QDialog {
    Q_OBJECT

public:
    // rocYears: the user counts years from 1912 (date orders 4 and 5); the chosen day is
    // then also shown in that count. The calendar itself always shows common-era years.
    DatePicker(const QDate& start, bool rocYears, HostLanguage language, QWidget* parent = nullptr);

    QDate selectedDate() const;
    QCalendarWidget* calendar() const { return calendar_; }

    // "yyyymmdd" of a date, empty for an invalid one.
    static QString compactText(const QDate& date);
    // The date of a "yyyymmdd" text; invalid when the text is no such date or lies outside
    // 1753-01-01 .. 9999-12-31.
    static QDate fromCompactText(const QString& text);
    // The calendar's locale: its month and weekday names.
    static QLocale localeOf(HostLanguage language);
    // The day as the picker shows it under the calendar.
    static QString displayText(const QDate& date, bool rocYears, HostLanguage language);

private:
    void showSelected();

    bool rocYears_;
    HostLanguage language_;
    QCalendarWidget* calendar_;
    QLabel* label_;
};
