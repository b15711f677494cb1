#include "host/FileCheck.h"

#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

FileStatus unusable(std::string reason)
{
    return FileStatus{FileState::Unusable, std::move(reason), 0};
}

std::string systemError(int error)
{
    return std::strerror(error);
}

} // namespace

FileStatus CheckFile(const std::string& path)
{
    if (HasNulByte(path))
        return unusable("has a NUL byte in its name");
    struct stat link {};
    if (::lstat(path.c_str(), &link) != 0)
        return errno == ENOENT ? FileStatus{} : unusable("cannot be read: " + systemError(errno));
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT)
            return unusable("is a link to a file that does not exist");
        return unusable("cannot be read: " + systemError(errno));
    }
    if (S_ISDIR(st.st_mode))
        return unusable("is a folder, not a file");
    if (!S_ISREG(st.st_mode))
        return unusable("is not a regular file");
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return unusable("cannot be read: " + systemError(errno));
    char byte = 0;
    const ssize_t got = ::read(fd, &byte, 1);
    const int readError = errno;
    ::close(fd);
    if (got < 0)
        return unusable("cannot be read: " + systemError(readError));
    return FileStatus{FileState::Readable, {}, std::int64_t(st.st_size)};
}

FileStatus CheckFolder(const std::string& path)
{
    if (HasNulByte(path))
        return unusable("has a NUL byte in its name");
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return errno == ENOENT ? FileStatus{} : unusable("cannot be read: " + systemError(errno));
    if (!S_ISDIR(st.st_mode))
        return unusable("is not a folder");
    DIR* dir = ::opendir(path.c_str());
    if (!dir)
        return unusable("cannot be read: " + systemError(errno));
    ::closedir(dir);
    return FileStatus{FileState::Readable, {}, 0};
}

std::string DatabaseFileProblem(const std::string& path)
{
    const FileStatus status = CheckFile(path);
    if (status.state == FileState::Missing)
        return "is missing";
    if (status.state == FileState::Unusable)
        return status.reason;
    if (status.size == 0)
        return "is empty (0 bytes)";
    // Every database file of the embedded engine starts with this header.
    static constexpr char header[] = "SQLite format 3";
    char head[sizeof header] = {};
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return "cannot be read: " + systemError(errno);
    const ssize_t got = ::read(fd, head, sizeof head);
    ::close(fd);
    if (got != ssize_t(sizeof head) || std::memcmp(head, header, sizeof head) != 0)
        return "is not a database";
    return {};
}

std::string Printable(std::string_view text, std::size_t max)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    std::size_t shown = 0;
    for (; shown < text.size(); ++shown) {
        const unsigned char c = static_cast<unsigned char>(text[shown]);
        // Clipped between characters, never inside one.
        if (out.size() >= max && (c & 0xC0) != 0x80)
            break;
        if (c < 32 || c == 127) {
            out += "\\x";
            out += digits[c >> 4];
            out += digits[c & 15];
        } else {
            out += char(c);
        }
    }
    if (shown < text.size())
        out += "... (" + std::to_string(text.size()) + " bytes)";
    return out;
}
