#include "export/ReplacingFile.h"

#include "export/ExportTable.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <unistd.h>

ReplacingFile::ReplacingFile(std::string target) : target_(std::move(target))
{
    // A name nobody else holds; created here, so that it is ours (and the umask's mode).
    std::random_device seed;
    std::mt19937 pick(seed());
    int error = 0;
    for (int attempt = 0; attempt < 20; ++attempt) {
        char suffix[24];
        std::snprintf(suffix, sizeof suffix, ".part%08x", unsigned(pick()));
        const std::string candidate = target_ + suffix;
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            part_ = candidate;
            return;
        }
        error = errno;
        if (error != EEXIST)
            break;
    }
    throw ExportError(ExportError::CannotWrite, target_ + ": " + std::strerror(error));
}

ReplacingFile::~ReplacingFile()
{
    if (!committed_ && !part_.empty())
        ::unlink(part_.c_str());
}

void ReplacingFile::Commit()
{
    if (std::rename(part_.c_str(), target_.c_str()) != 0)
        throw ExportError(ExportError::CannotWrite, target_ + ": " + std::strerror(errno));
    committed_ = true;
}
