#include "server/LibraryFiles.h"

#include "platform/Exception.h"

#include <zip.h>

#include <sys/stat.h>

#include <cctype>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

namespace fs = std::filesystem;

namespace {

bool sameTextNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool endsWithNoCase(std::string_view text, std::string_view tail)
{
    return text.size() >= tail.size() && sameTextNoCase(text.substr(text.size() - tail.size()), tail);
}

// The folders as they really are (links resolved); folders that do not exist drop out.
std::vector<fs::path> realRoots(const std::vector<std::string>& folders)
{
    std::vector<fs::path> roots;
    for (const std::string& f : folders) {
        std::error_code ec;
        const fs::path p = fs::canonical(fs::path(f), ec);
        if (!ec && fs::is_directory(p, ec))
            roots.push_back(p);
    }
    return roots;
}

bool isBelow(const fs::path& path, const std::vector<fs::path>& roots)
{
    for (const fs::path& root : roots) {
        auto r = root.begin();
        auto p = path.begin();
        for (; r != root.end() && p != path.end() && *r == *p; ++r, ++p) {
        }
        if (r == root.end())
            return true;
    }
    return false;
}

bool harmlessName(std::string_view name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.find('\\') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

// The file of that name in a real folder, compared without regard to case (the exact
// spelling first); empty when there is none.
fs::path fileNamed(const fs::path& folder, const std::string& name)
{
    std::error_code ec;
    if (fs::exists(folder / name, ec))
        return folder / name;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (sameTextNoCase(it->path().filename().string(), name))
            return it->path();
    return {};
}

struct ZipSourceFree {
    void operator()(zip_source_t* s) const { zip_source_free(s); }
};

} // namespace

std::string LocalStamp(long long secondsSinceEpoch)
{
    const std::time_t t = std::time_t(secondsSinceEpoch);
    std::tm local{};
    localtime_r(&t, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d%H%M%S", &local);
    return text;
}

std::string ResolveLibraryRequest(const std::vector<std::string>& libraryFolders, const std::string& request)
{
    std::string path = request;
    for (char& c : path)
        if (c == '\\')
            c = '/';
    const auto refuse = [&](const std::string& why) -> std::string {
        throw Exception("The file \"" + request + "\" is not sent: " + why);
    };
    if (path.find('\0') != std::string::npos || !endsWithNoCase(path, ".zip"))
        refuse("only the zipped copy of a job library is sent (<folder>/<name>.zip)");
    path.resize(path.size() - 4);
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos || path.front() != '/')
        refuse("the folder must be named in full");
    const std::string name = path.substr(slash + 1);
    const fs::path folder(path.substr(0, slash + 1));
    if (!harmlessName(name))
        refuse("no file is named");
    for (const fs::path& part : folder)
        if (part == "..")
            refuse("\"..\" may not be part of the folder");
    const std::vector<fs::path> roots = realRoots(libraryFolders);
    std::error_code ec;
    const fs::path realFolder = fs::canonical(folder, ec);
    if (ec || !isBelow(realFolder, roots))
        refuse("the folder is not one of the server's library folders");
    const fs::path file = fileNamed(realFolder, name);
    if (file.empty())
        refuse("there is no such file in the server's library folders");
    const fs::path realFile = fs::canonical(file, ec);
    if (ec || !isBelow(realFile, roots))
        refuse("it leads out of the server's library folders");
    if (!fs::is_regular_file(realFile, ec))
        refuse("it is no file");
    return realFile.string();
}

std::string DescribeLibraryFile(const std::vector<std::string>& libraryFolders, const std::string& fileName)
{
    std::string name = fileName;
    while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back())))
        name.pop_back();
    name.erase(0, name.find_first_not_of(" \t"));
    if (!harmlessName(name))
        return {};
    for (const std::string& folder : libraryFolders) {
        std::string f = folder;
        if (f.empty())
            continue;
        if (f.back() != '/' && f.back() != '\\')
            f += '/';
        try {
            // Only what could be sent is described.
            const std::string real = ResolveLibraryRequest(libraryFolders, f + name + ".zip");
            struct stat st {};
            if (::stat(real.c_str(), &st) != 0)
                continue;
            // The path as the folder names it, so that the client asks below that folder.
            return "<Modify>" + LocalStamp(st.st_mtime) + "</Modify><Path>" + f +
                   fs::path(real).filename().string() + "</Path>";
        } catch (const std::exception&) {
        }
    }
    return {};
}

std::string ZipLibraryFile(const std::vector<std::string>& libraryFolders, const std::string& request)
{
    const std::string real = ResolveLibraryRequest(libraryFolders, request);
    std::ifstream in(real, std::ios::binary);
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    struct stat st {};
    if (!in.good() && !in.eof())
        throw Exception("The file " + real + " cannot be read");
    if (::stat(real.c_str(), &st) != 0)
        throw Exception("The file " + real + " cannot be read");

    zip_error_t error;
    zip_error_init(&error);
    std::unique_ptr<zip_source_t, ZipSourceFree> buffer(zip_source_buffer_create(nullptr, 0, 0, &error));
    const auto fail = [&](const char* step, zip_error_t* e) -> std::string {
        const std::string why = std::string("Zipping ") + real + " failed (" + step + "): " + zip_error_strerror(e);
        zip_error_fini(&error);
        throw Exception(why);
    };
    if (!buffer)
        fail("buffer", &error);
    zip_t* archive = zip_open_from_source(buffer.get(), ZIP_TRUNCATE, &error);
    if (!archive)
        fail("open", &error);
    zip_source_keep(buffer.get());
    zip_source_t* content = zip_source_buffer(archive, data.data(), data.size(), 0);
    const zip_int64_t index =
        content ? zip_file_add(archive, fs::path(real).filename().c_str(), content, ZIP_FL_ENC_UTF_8) : -1;
    if (index < 0) {
        if (content)
            zip_source_free(content);
        zip_error_t* e = zip_get_error(archive);
        const std::string why = std::string("Zipping ") + real + " failed (add): " + zip_error_strerror(e);
        zip_discard(archive);
        throw Exception(why);
    }
    const auto idx = zip_uint64_t(index);
    // DOS times count in steps of two seconds; the extended stamp keeps the second, so that
    // the unpacked copy compares equal to this one.
    const std::uint32_t mtime = std::uint32_t(st.st_mtime);
    const zip_uint8_t stamp[5] = {1, zip_uint8_t(mtime), zip_uint8_t(mtime >> 8), zip_uint8_t(mtime >> 16),
                                  zip_uint8_t(mtime >> 24)};
    if (zip_file_set_mtime(archive, idx, st.st_mtime, 0) != 0 ||
        zip_file_extra_field_set(archive, idx, 0x5455, ZIP_EXTRA_FIELD_NEW, stamp, sizeof stamp,
                                 ZIP_FL_LOCAL | ZIP_FL_CENTRAL) != 0 ||
        zip_file_set_external_attributes(archive, idx, 0, ZIP_OPSYS_UNIX,
                                         zip_uint32_t(S_IFREG | (st.st_mode & 0777)) << 16) != 0) {
        const std::string why = std::string("Zipping ") + real + " failed: " + zip_error_strerror(zip_get_error(archive));
        zip_discard(archive);
        throw Exception(why);
    }
    if (zip_close(archive) != 0) {
        const std::string why = std::string("Zipping ") + real + " failed: " + zip_error_strerror(zip_get_error(archive));
        zip_discard(archive);
        throw Exception(why);
    }
    zip_stat_t info;
    if (zip_source_stat(buffer.get(), &info) != 0 || zip_source_open(buffer.get()) != 0)
        fail("read back", zip_source_error(buffer.get()));
    std::string zipped(std::size_t(info.size), '\0');
    const zip_int64_t got = zip_source_read(buffer.get(), zipped.data(), info.size);
    zip_source_close(buffer.get());
    if (got < 0 || zip_uint64_t(got) != info.size)
        fail("read back", zip_source_error(buffer.get()));
    zip_error_fini(&error);
    return zipped;
}
