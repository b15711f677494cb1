// The new-file download: zip archives from the application server and the file
// descriptions it gives. Bytes starting as a zip archive are unpacked into a folder of
// their own: they either unpack or fail with a message, and nothing is ever written
// outside that folder (no file beside it, no link out of it), with the folder's own
// leftovers only complete files. Anything else is read as file descriptions and file
// lists: the comparisons answer without a crash, and both readers of a description
// (the form's and the library's) agree on its stamp.

#include "FuzzSupport.h"

#include "jobform/QVDownLoadNewFileU.h"

#include <pugixml.hpp>

#include <QString>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

extern "C" bool UnZipFilesOrDir(const char* zipFile, const char* targetFolder, char* message, int* code);
extern "C" bool UnZipFilesList(const char* zipFile, char* list, int size, char* message, int* code);
extern "C" bool UnZipFilesXML(const char* zipFile, char* xml, int size, char* message, int* code);
extern "C" bool CompareFileToDown(const char* stamp, const char* localFile);
extern "C" bool CompareFileToDownEx(const char* fileDescription, const char* localFile);
extern "C" bool NeedDownLoad(const char* fileList, const char* localFolder);

namespace fs = std::filesystem;

namespace {

// A private folder per process: the archive, the target folder, and an existing file the
// comparisons can look at.
struct Place {
    fs::path root, zip, target, local;
    Place()
    {
        std::string t = (fs::temp_directory_path() / "qvfuzz-download-XXXXXX").string();
        if (!::mkdtemp(t.data()))
            fuzz::fail("cannot make a temporary folder");
        root = t;
        zip = root / "in.zip";
        target = root / "target";
        local = root / "WOFB07S.so";
        std::ofstream(local) << "library";
    }
};

const Place& place()
{
    static const Place p;
    return p;
}

// Temporary files are "." + name + ".XXXXXX" beside their target.
bool looksTemporary(const std::string& name)
{
    return name.size() > 8 && name.front() == '.' && name[name.size() - 7] == '.';
}

void checkUnpacked(const Place& p, const std::set<std::string>& entryNames)
{
    for (const auto& e : fs::directory_iterator(p.root)) {
        const fs::path& path = e.path();
        fuzz::check(path == p.zip || path == p.target || path == p.local, "nothing is written beside the folder",
                    path.string());
    }
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(p.target, ec); it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        fuzz::check(!it->is_symlink(), "no link is made", it->path().string());
        const std::string name = it->path().filename().string();
        fuzz::check(!looksTemporary(name) || entryNames.count(name), "no half-written file is left",
                    it->path().string());
    }
}

std::set<std::string> entryNamesOf(const std::string& list)
{
    std::set<std::string> names;
    std::size_t from = 0;
    while (from <= list.size()) {
        std::size_t end = list.find("\r\n", from);
        std::string entry = list.substr(from, end == std::string::npos ? std::string::npos : end - from);
        for (char& c : entry)
            if (c == '\\')
                c = '/';
        std::size_t part = 0;
        while (part <= entry.size()) {
            const std::size_t slash = entry.find('/', part);
            names.insert(entry.substr(part, slash == std::string::npos ? std::string::npos : slash - part));
            if (slash == std::string::npos)
                break;
            part = slash + 1;
        }
        if (end == std::string::npos)
            break;
        from = end + 2;
    }
    return names;
}

void archive(const std::string& bytes)
{
    const Place& p = place();
    std::error_code ec;
    fs::remove_all(p.target, ec);
    std::ofstream(p.zip, std::ios::binary | std::ios::trunc).write(bytes.data(), std::streamsize(bytes.size()));

    char message[256] = {};
    int code = -1;
    std::vector<char> list(64 * 1024);
    const bool listed = UnZipFilesList(p.zip.c_str(), list.data(), int(list.size()), message, &code);
    fuzz::check(listed == (code == 0), "the answer and the code agree", message);

    code = -1;
    message[0] = '\0';
    const bool unpacked = UnZipFilesOrDir(p.zip.c_str(), p.target.c_str(), message, &code);
    fuzz::check(unpacked == (code == 0), "the answer and the code agree", message);
    fuzz::check(unpacked || message[0] != '\0', "a failure says why");
    fuzz::check(!unpacked || listed, "what unpacks can be listed");
    if (fs::exists(p.target))
        checkUnpacked(p, listed ? entryNamesOf(list.data()) : std::set<std::string>());

    std::vector<char> xml(256 * 1024);
    if (UnZipFilesXML(p.zip.c_str(), xml.data(), int(xml.size()), message, &code)) {
        pugi::xml_document doc;
        fuzz::check(bool(doc.load_string(xml.data())), "the entry list is XML", xml.data());
    }
}

void descriptions(fuzz::Input& in)
{
    const Place& p = place();
    const std::string description = in.text('\n');
    const std::string list = in.rest();
    const FileDescription parsed = ParseFileDescription(QString::fromUtf8(description.data(), int(description.size())));
    const bool byStamp = CompareFileToDown(parsed.stamp.toUtf8().constData(), p.local.c_str());
    const bool byDescription = CompareFileToDownEx(description.c_str(), p.local.c_str());
    // A text with an inner zero ends there for the library (C strings), not for the form.
    if (description.find('\0') == std::string::npos && fuzz::validUtf8(description))
        fuzz::check(byStamp == byDescription, "both readers of a description agree", description);
    (void)CompareFileToDownEx(description.c_str(), (p.root / "missing").c_str());
    (void)NeedDownLoad(list.c_str(), p.root.c_str());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    if (bytes.rfind("PK", 0) == 0) {
        archive(bytes);
    } else {
        fuzz::Input in(data, size);
        descriptions(in);
    }
    return 0;
}
