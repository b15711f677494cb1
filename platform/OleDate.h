#pragma once
// OLE Automation dates: a day count where 0 is 30 December 1899 and the fraction is the
// time of day. Valid for the years 1 to 9999 of the proleptic Gregorian calendar.

struct CivilDate {
    int year = 0, month = 0, day = 0;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
};

bool IsValidDate(int year, int month, int day);
// EncodeDate; false when the date does not exist.
bool TryEncodeDate(int year, int month, int day, double& oleDays);
// Day count of a date that must exist (VariantError otherwise).
double EncodeDate(int year, int month, int day);
double EncodeTime(int hour, int minute, int second, int millisecond = 0);
CivilDate DecodeDateTime(double oleDays);
bool IsLeapYear(int year);
// Local time of the machine.
double Now();
double Today();
