#pragma once
// Alert logs: one-line traces of errors that must not disturb the user, appended to
// <base folder>/Log/Alert_<name>_<period>.log. The base folder is the client folder from
// the registry (GetClientPath) when that folder exists, else the running program's
// folder. Only the Log folder itself is ever made. An installation whose registry names a
// LogPath (an installed suite, whose program folder is no place for logs) has the files
// in that folder instead, made when missing. Nothing reads them.

#include <string>
#include <string_view>

// Appends "[YYYY/MM/DD hh:nn:ss:zzz] message" and a CR LF ("/" and ":" are the process's
// separators). Rotation "M" names the file by month, "Y" by year, anything else by day.
// Never raises: any failure answers false.
bool WriteAlertLog(std::string_view logName, std::string_view message, std::string_view rotation = "D");
// Registry value "ClientPath" of Software\QVR\Brisko, else "ServerPath"; empty when neither.
// A relative value lies below the registry file's folder.
std::string GetClientPath();
// Registry value "LogPath" of Software\QVR\Brisko, ending with "/"; "~/" stands for the
// user's home, a relative value lies below the registry file's folder. Empty when unset.
std::string GetLogPath();

// The same writer with the base folder and the moment given (the download unit always
// logs below the program folder; tests pin the clock). `when` is an OLE date and time.
// A base folder that does not exist answers false: nothing is made above the Log folder.
bool writeAlertLogAt(std::string_view baseFolder, std::string_view logName, std::string_view message,
                     std::string_view rotation, double when);
// The same writer into a log folder of its own (a LogPath), made when missing.
bool writeAlertLogIn(std::string_view logFolder, std::string_view logName, std::string_view message,
                     std::string_view rotation, double when);
std::string alertLogFileName(std::string_view baseFolder, std::string_view logName, std::string_view rotation,
                             double when);
// "[YYYY/MM/DD hh:nn:ss:zzz] " for the moment.
std::string alertLogStamp(double when);
// Folder of the running program, ending with a separator.
std::string programFolder();
// base joined with name by one separator; a base ending in "/" or "\" keeps it.
std::string joinPath(std::string_view base, std::string_view name);
