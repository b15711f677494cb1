// QVDownLoad.so: the new-file download the job forms load by name before they run a job's
// server library in their own process. It compares the stamp the application server gives
// for its copy with the local file, fetches the server's zipped copy over the client's
// connection to the application server (BriskoC.ini, as the forms reach it) and unpacks it.
//
// Texts are zero-terminated UTF-8; a message buffer holds 256 bytes (255 and the end).
// Unpacking never writes into a file that is there: every entry goes to a new file beside
// its target and is renamed over it once all entries are complete, so a library another
// part of the process has loaded keeps its pages and a broken archive leaves the old
// files as they were. An entry naming a place outside the target folder (absolute, "..",
// through a link) refuses the whole archive before anything, a folder included, is made.
// Files get 0644, shared libraries (*.so) 0755, whatever rights the archive gives them.

#include "platform/Automation.h"
#include "wire/RemoteClient.h"
#include "support/BriskoINI.h"

#include <zip.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#define QV_EXPORT extern "C" __attribute__((visibility("default")))

namespace fs = std::filesystem;

namespace {

constexpr const char* kServerProgId = "ReportCounterS.dmReportCounter";
constexpr std::size_t kMessageBytes = 256;
constexpr zip_uint64_t kMaxUnpackedBytes = 1024ull * 1024 * 1024;

// Result codes of the calls that take one.
enum Code { Done = 0, BadArguments = 1, NoServer = 2, TransferFailed = 3, Refused = 4, WriteFailed = 5,
            BadArchive = 6, UnsafeEntry = 7, TooSmall = 8 };

class Failure : public std::exception {
public:
    Failure(int code, std::string why) : code_(code), why_(std::move(why)) {}
    const char* what() const noexcept override { return why_.c_str(); }
    int code() const { return code_; }

private:
    int code_;
    std::string why_;
};

std::string text(const char* s) { return s ? std::string(s) : std::string(); }

std::string trimmed(std::string s)
{
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

// Copies text into a buffer of size bytes, cut at a character boundary; false when it did
// not fit whole.
bool put(char* buffer, std::size_t size, const std::string& value)
{
    if (!buffer || size == 0)
        return value.empty();
    std::size_t n = std::min(value.size(), size - 1);
    if (n < value.size())
        while (n > 0 && (static_cast<unsigned char>(value[n]) & 0xC0) == 0x80)
            --n;
    std::memcpy(buffer, value.data(), n);
    buffer[n] = '\0';
    return n == value.size();
}

void setCode(int* code, int value)
{
    if (code)
        *code = value;
}

std::string localStamp(std::time_t t)
{
    std::tm local{};
    localtime_r(&t, &local);
    char out[32];
    std::strftime(out, sizeof out, "%Y%m%d%H%M%S", &local);
    return out;
}

// The stamp of a local file; empty when there is none.
std::string fileStamp(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    return localStamp(st.st_mtime);
}

bool isStamp(const std::string& s)
{
    return s.size() == 14 && s.find_first_not_of("0123456789") == std::string::npos;
}

// A local file must be replaced when it is missing or older than the server's copy.
bool mustReplace(const std::string& stamp, const std::string& localFile)
{
    const std::string wanted = trimmed(stamp);
    if (!isStamp(wanted) || localFile.empty())
        return false;
    const std::string have = fileStamp(localFile);
    return have.empty() || have < wanted;
}

std::string between(const std::string& s, const std::string& open, const std::string& close)
{
    const std::size_t a = s.find(open);
    if (a == std::string::npos)
        return {};
    const std::size_t from = a + open.size();
    const std::size_t b = s.find(close, from);
    return b == std::string::npos ? std::string() : s.substr(from, b - from);
}

// Stamp and server path of a file description, tagged or quoted.
void parseDescription(const std::string& d, std::string& stamp, std::string& path)
{
    if (d.find("<Modify>") != std::string::npos || d.find("<Path>") != std::string::npos) {
        stamp = between(d, "<Modify>", "</Modify>");
        path = between(d, "<Path>", "</Path>");
    } else {
        stamp = between(d, "Modify = '", "'");
        path = between(d, "Path = '", "'");
    }
}

std::vector<std::string> lines(const std::string& s)
{
    std::vector<std::string> out;
    std::size_t i = 0;
    while (i <= s.size()) {
        const std::size_t e = s.find_first_of("\r\n", i);
        const std::string line = trimmed(s.substr(i, e == std::string::npos ? std::string::npos : e - i));
        if (!line.empty())
            out.push_back(line);
        if (e == std::string::npos)
            break;
        i = e + 1;
    }
    return out;
}

std::string fileNameOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string xmlEscaped(const std::string& s)
{
    std::string out;
    for (char c : s) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

// --- Download ------------------------------------------------------------------------------

// Writes the bytes to a new file beside target and renames it over target when complete.
void writeWhole(const std::string& target, const std::string& bytes)
{
    std::string temp = target + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        throw Failure(WriteFailed, "Cannot write " + target + ": " + std::strerror(errno));
    std::size_t done = 0;
    bool ok = true;
    while (ok && done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        if (ok)
            done += std::size_t(n);
    }
    const int why = errno;
    ok = ok && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (!ok || ::rename(temp.c_str(), target.c_str()) != 0) {
        const int err = ok ? errno : why;
        ::unlink(temp.c_str());
        throw Failure(WriteFailed, "Cannot write " + target + ": " + std::strerror(err));
    }
}

// The zipped copy of a server file, from the server the client configuration names (or the
// "host:port" given as source).
std::string fetch(const std::string& source, const std::string& remoteFile, int timeoutSeconds)
{
    const TBriskoIniC ini;
    std::string address;
    int port = 211;
    if (!trimmed(source).empty()) {
        const std::string s = trimmed(source);
        const std::size_t colon = s.rfind(':');
        address = colon == std::string::npos ? s : s.substr(0, colon);
        if (colon != std::string::npos)
            port = std::atoi(s.c_str() + colon + 1);
    } else {
        const Variant& servers = ini.Servers;
        if (!servers.isArray() || servers.dimCount() != 2 || servers.count(2) < 1)
            throw Failure(NoServer, "The client configuration names no application server");
        address = VarToStr(servers.at(servers.lowBound(1), servers.lowBound(2)));
        port = servers.at(servers.lowBound(1) + 1, servers.lowBound(2)).toInt();
    }
    Variant server;
    if (address == "127.0.0.1") {
        // As for the forms: the server of this machine lives in the process.
        server = Variant(CreateOleObject(kServerProgId));
    } else {
        RemoteServerOptions o;
        o.address = address;
        o.port = port;
        ProcessSignOn(o.user, o.company);
        if (o.user.empty())
            throw Failure(NoServer, "No session user to sign on for at " + address);
        o.secret = ini.ConnectionSecret;
        o.tlsTrustFile = ini.TlsCertificate;
        o.connectTimeoutMs = ini.ConnectTimeOut;
        o.callTimeoutMs = timeoutSeconds > 0 ? timeoutSeconds * 1000 : ini.CallTimeOut;
        server = Variant(CreateRemoteObject(std::make_shared<RemoteConnection>(o), kServerProgId));
    }
    Variant answer;
    try {
        answer = server.call("DownLoadFile", {remoteFile});
    } catch (const std::exception& e) {
        throw Failure(TransferFailed, e.what());
    }
    if (answer.type() != VarType::AnsiString) {
        std::string why;
        try {
            why = VarToStr(server.call("ErrorDescript"));
        } catch (const std::exception& e) {
            why = e.what();
        }
        throw Failure(Refused, why.empty() ? "The server sent no file for " + remoteFile : why);
    }
    return answer.ansiBytes();
}

// --- Archives ------------------------------------------------------------------------------

struct Archive {
    explicit Archive(const std::string& file)
    {
        int error = 0;
        zip = zip_open(file.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
        if (!zip) {
            zip_error_t e;
            zip_error_init_with_code(&e, error);
            const std::string why = "The archive " + file + " cannot be read: " + zip_error_strerror(&e);
            zip_error_fini(&e);
            throw Failure(BadArchive, why);
        }
    }
    ~Archive() { zip_discard(zip); }
    Archive(const Archive&) = delete;
    Archive& operator=(const Archive&) = delete;
    zip_uint64_t count() const { return zip_uint64_t(std::max<zip_int64_t>(0, zip_get_num_entries(zip, 0))); }
    std::string name(zip_uint64_t i) const
    {
        const char* n = zip_get_name(zip, i, ZIP_FL_ENC_GUESS);
        return n ? n : "";
    }
    zip_t* zip = nullptr;
};

// The parts of an entry's name below the target folder; Failure for a name that would
// leave it or names nothing.
std::vector<std::string> entryParts(const std::string& name)
{
    std::string n = name;
    for (char& c : n)
        if (c == '\\')
            c = '/';
    const auto refuse = [&](const char* why) {
        throw Failure(UnsafeEntry, "The archive entry \"" + name + "\" is refused: " + why);
    };
    if (n.empty() || n.find('\0') != std::string::npos)
        refuse("it has no name");
    if (n.front() == '/' || (n.size() > 1 && std::isalpha(static_cast<unsigned char>(n[0])) && n[1] == ':'))
        refuse("its path is absolute");
    std::vector<std::string> parts;
    std::size_t i = 0;
    while (i <= n.size()) {
        const std::size_t e = n.find('/', i);
        const std::string part = n.substr(i, e == std::string::npos ? std::string::npos : e - i);
        if (part == "..")
            refuse("it climbs out of the folder");
        if (!part.empty() && part != ".")
            parts.push_back(part);
        if (e == std::string::npos)
            break;
        i = e + 1;
    }
    if (parts.empty())
        refuse("it has no name");
    return parts;
}

bool isBelow(const fs::path& path, const fs::path& root)
{
    auto r = root.begin();
    auto p = path.begin();
    for (; r != root.end() && p != path.end() && *r == *p; ++r, ++p) {
    }
    return r == root.end();
}

// The modification time an entry carries: the extended stamp to the second when there is
// one, else the DOS time.
std::time_t entryTime(zip_t* zip, zip_uint64_t i)
{
    for (zip_flags_t where : {zip_flags_t(ZIP_FL_CENTRAL), zip_flags_t(ZIP_FL_LOCAL)}) {
        zip_uint16_t length = 0;
        const zip_uint8_t* d = zip_file_extra_field_get_by_id(zip, i, 0x5455, 0, &length, where);
        if (d && length >= 5 && (d[0] & 1))
            return std::time_t(std::uint32_t(d[1]) | std::uint32_t(d[2]) << 8 | std::uint32_t(d[3]) << 16 |
                               std::uint32_t(d[4]) << 24);
    }
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(zip, i, 0, &st) == 0 && (st.valid & ZIP_STAT_MTIME))
        return st.mtime;
    return std::time(nullptr);
}

// What an archive says of a file's rights is not taken: a job library is read by all and
// run (mapped) as a shared library, anything else read by all and written by its owner.
mode_t fileMode(const std::string& name)
{
    const std::size_t n = name.size();
    const bool library = n > 3 && name[n - 3] == '.' && std::tolower(static_cast<unsigned char>(name[n - 2])) == 's'
                         && std::tolower(static_cast<unsigned char>(name[n - 1])) == 'o';
    return library ? 0755 : 0644;
}

struct Pending {
    std::string temp;
    std::string target;
};

// Unpacks one entry into a new file beside its target.
Pending extract(zip_t* zip, zip_uint64_t i, const fs::path& target, const std::string& entry)
{
    std::string temp = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        throw Failure(WriteFailed, "Cannot write beside " + target.string() + ": " + std::strerror(errno));
    Pending p{temp, target.string()};
    std::string why;
    zip_file_t* in = zip_fopen_index(zip, i, 0);
    if (!in) {
        why = std::string("cannot open the entry: ") + zip_strerror(zip);
    } else {
        std::vector<char> buffer(64 * 1024);
        for (;;) {
            const zip_int64_t n = zip_fread(in, buffer.data(), buffer.size());
            if (n < 0) {
                why = std::string("the entry is damaged: ") + zip_file_strerror(in);
                break;
            }
            if (n == 0)
                break;
            std::size_t done = 0;
            while (done < std::size_t(n)) {
                const ssize_t w = ::write(fd, buffer.data() + done, std::size_t(n) - done);
                if (w < 0 && errno == EINTR)
                    continue;
                if (w <= 0) {
                    why = std::string("cannot write: ") + std::strerror(errno);
                    break;
                }
                done += std::size_t(w);
            }
            if (!why.empty())
                break;
        }
        if (zip_fclose(in) != 0 && why.empty())
            why = "the entry is damaged";
    }
    if (why.empty()) {
        const timespec times[2] = {{0, UTIME_NOW}, {entryTime(zip, i), 0}};
        if (::fchmod(fd, fileMode(target.filename().string())) != 0 || ::futimens(fd, times) != 0 || ::fsync(fd) != 0)
            why = std::string("cannot write: ") + std::strerror(errno);
    }
    if (::close(fd) != 0 && why.empty())
        why = std::string("cannot write: ") + std::strerror(errno);
    if (!why.empty()) {
        ::unlink(temp.c_str());
        throw Failure(WriteFailed, "Unpacking \"" + entry + "\" failed: " + why);
    }
    return p;
}

bool isFolderEntry(const std::string& name)
{
    return !name.empty() && (name.back() == '/' || name.back() == '\\');
}

// Looks at what of an entry's path is there already, and makes nothing: each folder of it
// that is a link must lead to a place below root, and none may be a file; the entry's file
// may not be a folder. What is not there yet is made new below root, out of the reach of links.
void checkPlace(const fs::path& root, const std::vector<std::string>& parts, bool isFolder, const std::string& name)
{
    const auto refuse = [&](int code, const std::string& why) {
        throw Failure(code, "The archive entry \"" + name + "\" is refused: " + why);
    };
    fs::path place = root;
    for (std::size_t k = 0; k < parts.size(); ++k) {
        const bool last = k + 1 == parts.size();
        place /= parts[k];
        struct stat st {};
        if (::lstat(place.c_str(), &st) != 0) {
            if (errno == ENOENT || errno == ENOTDIR)
                return;
            refuse(WriteFailed, std::string("cannot look at ") + place.string() + ": " + std::strerror(errno));
        }
        if (last && !isFolder) {
            if (S_ISDIR(st.st_mode))
                refuse(WriteFailed, "a folder has that name");
            return;
        }
        if (S_ISLNK(st.st_mode)) {
            std::error_code ec;
            const fs::path real = fs::canonical(place, ec);
            if (ec || !isBelow(real, root))
                refuse(UnsafeEntry, "it leads out of the folder");
            place = real;
            if (::stat(place.c_str(), &st) != 0)
                refuse(WriteFailed, std::string("cannot look at ") + place.string() + ": " + std::strerror(errno));
        }
        if (!S_ISDIR(st.st_mode))
            refuse(WriteFailed, "a file has the name of its folder " + parts[k]);
    }
}

// The parts of every entry's name and whether it is a folder; an archive that unpacks to
// more than a job library can be is refused.
void readEntries(const Archive& archive, const std::string& zipFile, std::vector<std::vector<std::string>>& names,
                 std::vector<bool>& folders)
{
    zip_uint64_t total = 0;
    for (zip_uint64_t i = 0; i < archive.count(); ++i) {
        names.push_back(entryParts(archive.name(i)));
        folders.push_back(isFolderEntry(archive.name(i)));
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(archive.zip, i, 0, &st) == 0 && (st.valid & ZIP_STAT_SIZE))
            total += st.size;
    }
    // Job libraries are a few megabytes; an archive that unpacks to more would fill the disk.
    if (total > kMaxUnpackedBytes)
        throw Failure(BadArchive, "The archive " + zipFile + " unpacks to " + std::to_string(total) +
                                      " bytes, more than a job library can be");
}

// A file of the archive may not be a folder of another of its entries.
void checkFilesAndFolders(const std::vector<std::vector<std::string>>& names, const std::vector<bool>& folders)
{
    std::set<std::string> files, inner;
    for (std::size_t k = 0; k < names.size(); ++k) {
        std::string path;
        for (std::size_t p = 0; p < names[k].size(); ++p) {
            path += (p ? "/" : "") + names[k][p];
            if (p + 1 < names[k].size() || folders[k])
                inner.insert(path);
        }
        if (!folders[k])
            files.insert(path);
    }
    for (const std::string& f : files)
        if (inner.count(f))
            throw Failure(UnsafeEntry, "The archive entry \"" + f + "\" is refused: it is a file and a folder");
}

// And the whole path of every entry before any folder is made: a link already in the
// folder could lead a new folder elsewhere. A folder that is not there holds nothing.
void checkPlaces(const Archive& archive, const std::string& folder, const std::vector<std::vector<std::string>>& names,
                 const std::vector<bool>& folders)
{
    std::error_code ec;
    if (fs::is_directory(folder, ec)) {
        const fs::path there = fs::canonical(folder, ec);
        if (ec)
            throw Failure(WriteFailed, "The folder " + folder + " cannot be used: " + ec.message());
        for (zip_uint64_t i = 0; i < archive.count(); ++i)
            checkPlace(there, names[std::size_t(i)], folders[std::size_t(i)], archive.name(i));
    }
}

// Makes the folder of place with those above it; made gets each one that was not there.
void makeFolders(fs::path place, std::vector<fs::path>& made)
{
    if (!place.has_filename())
        place = place.parent_path();
    std::vector<fs::path> missing;
    struct stat st {};
    for (fs::path p = place; !p.empty() && ::lstat(p.c_str(), &st) != 0; p = p.parent_path()) {
        missing.push_back(p);
        if (p == p.parent_path())
            break;
    }
    std::error_code failed;
    fs::create_directories(place, failed);
    made.insert(made.end(), missing.rbegin(), missing.rend());
    if (failed)
        throw Failure(WriteFailed, "Cannot make the folder " + place.string() + ": " + failed.message());
}

// After a failure: the new files not yet in place go, and the folders made.
void dropPending(const std::vector<Pending>& pending, const std::vector<fs::path>& made)
{
    for (const Pending& p : pending)
        ::unlink(p.temp.c_str());
    std::error_code ignored;
    for (auto m = made.rbegin(); m != made.rend(); ++m)
        fs::remove(*m, ignored);
}

// Unpacks every entry into a new file beside its target (pending), making the folders.
void unpackEntries(const Archive& archive, const std::string& folder, const std::vector<std::vector<std::string>>& names,
                   const std::vector<bool>& folders, std::vector<fs::path>& made, std::vector<Pending>& pending)
{
    std::error_code ec;
    makeFolders(fs::absolute(folder), made);
    const fs::path root = fs::canonical(folder, ec);
    if (ec)
        throw Failure(WriteFailed, "The folder " + folder + " cannot be used: " + ec.message());
    for (zip_uint64_t i = 0; i < archive.count(); ++i) {
        const std::vector<std::string>& parts = names[std::size_t(i)];
        const bool isFolder = folders[std::size_t(i)];
        fs::path place = root;
        for (std::size_t k = 0; k + (isFolder ? 0 : 1) < parts.size(); ++k)
            place /= parts[k];
        makeFolders(place, made);
        // Checked again once made: nothing may have put a link in the way meanwhile.
        const fs::path realPlace = fs::canonical(place, ec);
        if (ec || !isBelow(realPlace, root))
            throw Failure(UnsafeEntry, "The archive entry \"" + archive.name(i) +
                                           "\" is refused: it leads out of the folder");
        if (isFolder)
            continue;
        const fs::path target = realPlace / parts.back();
        struct stat st {};
        if (::lstat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            throw Failure(WriteFailed, "Unpacking \"" + archive.name(i) + "\" failed: a folder has that name");
        pending.push_back(extract(archive.zip, i, target, archive.name(i)));
    }
}

// All complete: each new file takes its name in one step.
void putInPlace(std::vector<Pending>& pending, std::vector<fs::path>& made)
{
    for (std::size_t k = 0; k < pending.size(); ++k) {
        if (::rename(pending[k].temp.c_str(), pending[k].target.c_str()) != 0) {
            const std::string why = std::strerror(errno);
            pending.erase(pending.begin(), pending.begin() + std::ptrdiff_t(k));
            made.clear(); // the files put in place keep their folders
            throw Failure(WriteFailed, "Cannot put " + pending.front().target + " in place: " + why);
        }
    }
}

void unzipInto(const std::string& zipFile, const std::string& folder)
{
    if (trimmed(folder).empty())
        throw Failure(BadArguments, "No folder to unpack into");
    Archive archive(zipFile);
    // Every name is checked before anything is written.
    std::vector<std::vector<std::string>> names;
    std::vector<bool> folders;
    readEntries(archive, zipFile, names, folders);
    checkFilesAndFolders(names, folders);
    checkPlaces(archive, folder, names, folders);
    // The folders this call makes go again when it fails.
    std::vector<fs::path> made;
    std::vector<Pending> pending;
    try {
        unpackEntries(archive, folder, names, folders, made, pending);
        putInPlace(pending, made);
    } catch (...) {
        dropPending(pending, made);
        throw;
    }
}

template <class F>
bool guarded(char* message, int* code, F&& body)
{
    put(message, kMessageBytes, "");
    setCode(code, Done);
    try {
        body();
        return true;
    } catch (const Failure& f) {
        put(message, kMessageBytes, f.what());
        setCode(code, f.code());
    } catch (const std::exception& e) {
        put(message, kMessageBytes, e.what());
        setCode(code, TransferFailed);
    }
    return false;
}

} // namespace

// Fetches the server's remoteFile ("<folder>/<name>.zip" as the server's file list names
// the folder) into localZip. source: empty for the client configuration's server, else
// "host:port"; timeout: seconds one call may take, as text. count gets the files fetched.
QV_EXPORT bool QVDownLoadFileEx(int /*window*/, const char* source, const char* /*product*/, const char* timeout,
                                const char* remoteFile, const char* localZip, int* count, char* message, int* code,
                                bool /*showProgress*/)
{
    if (count)
        *count = 0;
    return guarded(message, code, [&] {
        if (text(remoteFile).empty() || text(localZip).empty())
            throw Failure(BadArguments, "No file to fetch or no place to put it");
        const std::string bytes = fetch(text(source), text(remoteFile), std::atoi(text(timeout).c_str()));
        writeWhole(text(localZip), bytes);
        if (count)
            *count = 1;
    });
}

// Unpacks a zip archive into a folder (made when missing).
QV_EXPORT bool UnZipFilesOrDir(const char* zipFile, const char* targetFolder, char* message, int* code)
{
    return guarded(message, code, [&] { unzipInto(text(zipFile), text(targetFolder)); });
}

// True when the local file is missing or older than the stamp ("yyyymmddhhnnss", local
// time); false without a stamp to compare with.
QV_EXPORT bool CompareFileToDown(const char* stamp, const char* localFile)
{
    return mustReplace(text(stamp), text(localFile));
}

// The same for a whole file description, tagged or quoted.
QV_EXPORT bool CompareFileToDownEx(const char* fileDescription, const char* localFile)
{
    std::string stamp, path;
    parseDescription(text(fileDescription), stamp, path);
    return mustReplace(stamp, text(localFile));
}

// True when any file of a file list (one description a line) is missing or older in the
// local folder.
QV_EXPORT bool NeedDownLoad(const char* fileList, const char* localFolder)
{
    std::string folder = text(localFolder);
    if (folder.empty())
        return false;
    if (folder.back() != '/')
        folder += '/';
    for (const std::string& line : lines(text(fileList))) {
        std::string stamp, path;
        parseDescription(line, stamp, path);
        if (!fileNameOf(path).empty() && mustReplace(stamp, folder + fileNameOf(path)))
            return true;
    }
    return false;
}

// The entry names of an archive, one a line (CR LF), into list of size bytes.
QV_EXPORT bool UnZipFilesList(const char* zipFile, char* list, int size, char* message, int* code)
{
    return guarded(message, code, [&] {
        Archive archive(text(zipFile));
        std::string out;
        for (zip_uint64_t i = 0; i < archive.count(); ++i)
            out += (i ? "\r\n" : "") + archive.name(i);
        if (!put(list, std::size_t(std::max(0, size)), out))
            throw Failure(TooSmall, "The list needs " + std::to_string(out.size() + 1) + " bytes");
    });
}

// The entries of an archive as <Files><File Name="" Size="" Modify=""/></Files>.
QV_EXPORT bool UnZipFilesXML(const char* zipFile, char* xml, int size, char* message, int* code)
{
    return guarded(message, code, [&] {
        Archive archive(text(zipFile));
        std::string out = "<Files>";
        for (zip_uint64_t i = 0; i < archive.count(); ++i) {
            zip_stat_t st;
            zip_stat_init(&st);
            zip_stat_index(archive.zip, i, 0, &st);
            out += "<File Name=\"" + xmlEscaped(archive.name(i)) + "\" Size=\"" +
                   std::to_string((st.valid & ZIP_STAT_SIZE) ? st.size : 0) + "\" Modify=\"" +
                   localStamp(entryTime(archive.zip, i)) + "\"/>";
        }
        out += "</Files>";
        if (!put(xml, std::size_t(std::max(0, size)), out))
            throw Failure(TooSmall, "The XML needs " + std::to_string(out.size() + 1) + " bytes");
    });
}

// Descriptions of the local files named (separated by "," or lines) in folder, in the
// server's form, one a line; a name that is missing or has a folder part is left out.
QV_EXPORT bool GetFileList(const char* folder, const char* names, char* answer, int size)
{
    std::string base = text(folder);
    if (!base.empty() && base.back() != '/')
        base += '/';
    std::string list = text(names);
    for (char& c : list)
        if (c == ',')
            c = '\n';
    std::string out;
    for (const std::string& name : lines(list)) {
        if (name.find_first_of("/\\") != std::string::npos || name == "." || name == "..")
            continue;
        const std::string stamp = fileStamp(base + name);
        if (stamp.empty())
            continue;
        out += (out.empty() ? "" : "\r\n") + std::string("<Modify>") + stamp + "</Modify><Path>" + base + name +
               "</Path>";
    }
    return put(answer, std::size_t(std::max(0, size)), out);
}
