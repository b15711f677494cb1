#include "support/AlertLog.h"
#include "support/Format.h"
#include "support/FormatSettings.h"
#include "support/Utf8.h"

#include "platform/DynLib.h"
#include "platform/OleDate.h"
#include "platform/Registry.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace {

bool endsWithSeparator(std::string_view s)
{
    return !s.empty() && (s.back() == '/' || s.back() == '\\');
}

} // namespace

std::string joinPath(std::string_view base, std::string_view name)
{
    std::string r(base);
    if (!r.empty() && !endsWithSeparator(r))
        r += '/';
    r += name;
    return r;
}

std::string programFolder()
{
    const std::string program = GetProgramFileName();
    const std::filesystem::path folder = std::filesystem::path(program).parent_path();
    std::string r = folder.empty() ? std::string("./") : folder.string();
    if (!endsWithSeparator(r))
        r += '/';
    return r;
}

std::string GetClientPath()
{
    Registry reg;
    if (!reg.OpenKeyReadOnly("Software\\QVR\\Brisko"))
        return {};
    std::string path = reg.ReadString("ClientPath");
    if (path.empty())
        path = reg.ReadString("ServerPath");
    return ResolveRegistryFolder(path);
}

std::string GetLogPath()
{
    Registry reg;
    if (!reg.OpenKeyReadOnly("Software\\QVR\\Brisko"))
        return {};
    std::string path = reg.ReadString("LogPath");
    if (path.empty())
        return {};
    if (path.rfind("~/", 0) == 0) {
        const char* home = std::getenv("HOME");
        if (!home || !*home)
            return {};
        path = std::string(home) + path.substr(1);
    }
    path = ResolveRegistryFolder(path);
    if (!endsWithSeparator(path))
        path += '/';
    return path;
}

std::string alertLogStamp(double when)
{
    const CivilDate c = DecodeDateTime(when);
    const std::string d = toUtf8(dateSeparator());
    const std::string t = toUtf8(timeSeparator());
    return Format("[%.4d%s%.2d%s%.2d %.2d%s%.2d%s%.2d%s%.3d] ",
                  {c.year, d, c.month, d, c.day, c.hour, t, c.minute, t, c.second, t, c.millisecond});
}

namespace {

// "Alert_<name>_<period>.log" for the moment.
std::string alertLogBaseName(std::string_view logName, std::string_view rotation, double when)
{
    const CivilDate c = DecodeDateTime(when);
    std::string period;
    if (rotation == "M")
        period = Format("%.4d%.2d", {c.year, c.month});
    else if (rotation == "Y")
        period = Format("%.4d", {c.year});
    else
        period = Format("%.4d%.2d%.2d", {c.year, c.month, c.day});
    std::string file = "Alert_" + std::string(logName) + "_" + period;
    if (logName.find('.') == std::string_view::npos)
        file += ".log";
    return file;
}

bool appendLine(const std::string& fileName, std::string_view message, double when)
{
    const std::string line = alertLogStamp(when) + std::string(message) + "\r\n";
    std::FILE* f = std::fopen(fileName.c_str(), "ab");
    if (!f)
        return false;
    // One write per line, so that lines of two writers do not mix within a line.
    const bool written = std::fwrite(line.data(), 1, line.size(), f) == line.size();
    const bool closed = std::fclose(f) == 0;
    return written && closed;
}

} // namespace

std::string alertLogFileName(std::string_view baseFolder, std::string_view logName, std::string_view rotation,
                             double when)
{
    return joinPath(joinPath(baseFolder, "Log"), alertLogBaseName(logName, rotation, when));
}

bool writeAlertLogAt(std::string_view baseFolder, std::string_view logName, std::string_view message,
                     std::string_view rotation, double when)
{
    // The callers are error handlers themselves: nothing may escape from here.
    try {
        const std::string fileName = alertLogFileName(baseFolder, logName, rotation, when);
        std::error_code ec;
        if (!std::filesystem::is_directory(std::string(baseFolder), ec))
            return false;
        std::filesystem::create_directory(std::filesystem::path(fileName).parent_path(), ec);
        return appendLine(fileName, message, when);
    } catch (...) {
        return false;
    }
}

bool writeAlertLogIn(std::string_view logFolder, std::string_view logName, std::string_view message,
                     std::string_view rotation, double when)
{
    try {
        std::error_code ec;
        std::filesystem::create_directories(std::string(logFolder), ec);
        return appendLine(joinPath(logFolder, alertLogBaseName(logName, rotation, when)), message, when);
    } catch (...) {
        return false;
    }
}

bool WriteAlertLog(std::string_view logName, std::string_view message, std::string_view rotation)
{
    try {
        if (const std::string logs = GetLogPath(); !logs.empty())
            return writeAlertLogIn(logs, logName, message, rotation, Now());
        std::string base = GetClientPath();
        std::error_code ec;
        if (base.empty() || !std::filesystem::is_directory(base, ec))
            base = programFolder();
        return writeAlertLogAt(base, logName, message, rotation, Now());
    } catch (...) {
        return false;
    }
}
