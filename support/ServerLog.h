#pragma once
// The application server's log. Its alert log ("ReportCounterS", one file a day) keeps the
// reason of every failure the server answers as Empty or an error text. The queue server
// also says its lines on standard error, each with its level as sd-daemon(3) writes it
// ("<3>" error, "<4>" warning, "<6>" info), so that the journal keeps their priority; the
// files stay for machines without one.

#include <functional>
#include <string>

enum class LogLevel { Error = 3, Warning = 4, Info = 6 };

// What a server part reports as it works: the line and its level.
using ServerReport = std::function<void(LogLevel, const std::string&)>;

// The alert log, and the sink when one is set.
void WriteServerLog(const std::string& message, LogLevel level = LogLevel::Warning);
// The alert log alone: for a line its writer reports through a ServerReport as well.
void WriteServerLogFile(const std::string& message);
// Where WriteServerLog's lines go besides the file, for the whole process (qvappserver
// sets it once at its start, before any thread; a desk's in-process server has none).
void SetServerLogSink(ServerReport sink);

// "<level>" and the text as one line of standard error, written at once: line breaks in
// the text become "; ", a tab a blank and other control characters "?", so that no text from outside
// starts a line, or a level, of its own.
void SayLevelLine(LogLevel level, const std::string& text);
// The same line as text, with its "\n".
std::string LevelLine(LogLevel level, const std::string& text);
