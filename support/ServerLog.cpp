#include "support/ServerLog.h"

#include "support/AlertLog.h"

#include <cerrno>

#include <unistd.h>

namespace {

ServerReport& sink()
{
    static ServerReport s;
    return s;
}

} // namespace

void WriteServerLog(const std::string& message, LogLevel level)
{
    WriteServerLogFile(message);
    if (const ServerReport& s = sink())
        s(level, message);
}

void WriteServerLogFile(const std::string& message)
{
    WriteAlertLog("ReportCounterS", message, "D");
}

void SetServerLogSink(ServerReport s)
{
    sink() = std::move(s);
}

std::string LevelLine(LogLevel level, const std::string& text)
{
    std::string line = "<" + std::to_string(int(level)) + ">";
    line.reserve(line.size() + text.size() + 1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            if (i + 1 < text.size())
                line += "; ";
        } else {
            line += c == '\t' ? ' ' : c < 0x20 || c == 0x7f ? '?' : char(c);
        }
    }
    return line + "\n";
}

void SayLevelLine(LogLevel level, const std::string& text)
{
    // One write: lines of several threads and of the job processes never mix.
    const std::string line = LevelLine(level, text);
    std::size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(STDERR_FILENO, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += std::size_t(n);
    }
}
