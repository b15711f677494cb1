// The download library's archives and comparisons, bound by name as the job forms bind
// it, and the description forms and refusals of the client side, without a server.

#include "jobform/QVDownLoadNewFileU.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "EnvGuard.h"

#include <zip.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <tuple>

namespace fs = std::filesystem;

namespace {

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// An archive with the entries given (name, content), stored or deflated.
void makeZip(const std::string& file, const std::vector<std::pair<std::string, std::string>>& entries,
             bool store = false)
{
    int error = 0;
    zip_t* z = zip_open(file.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(z, nullptr);
    for (const auto& [name, content] : entries) {
        zip_source_t* s = zip_source_buffer(z, content.data(), content.size(), 0);
        const zip_int64_t i = zip_file_add(z, name.c_str(), s, ZIP_FL_ENC_UTF_8);
        ASSERT_GE(i, 0) << name;
        if (store)
            zip_set_file_compression(z, zip_uint64_t(i), ZIP_CM_STORE, 0);
    }
    ASSERT_EQ(zip_close(z), 0);
}

// An archive whose entries carry the Unix mode given (0: no Unix attributes at all).
void makeZipWithModes(const std::string& file, const std::vector<std::tuple<std::string, std::string, unsigned>>& entries)
{
    int error = 0;
    zip_t* z = zip_open(file.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(z, nullptr);
    for (const auto& [name, content, mode] : entries) {
        zip_source_t* s = zip_source_buffer(z, content.data(), content.size(), 0);
        const zip_int64_t i = zip_file_add(z, name.c_str(), s, ZIP_FL_ENC_UTF_8);
        ASSERT_GE(i, 0) << name;
        if (mode)
            ASSERT_EQ(zip_file_set_external_attributes(z, zip_uint64_t(i), 0, ZIP_OPSYS_UNIX, zip_uint32_t(mode) << 16), 0);
        else
            ASSERT_EQ(zip_file_set_external_attributes(z, zip_uint64_t(i), 0, ZIP_OPSYS_DOS, 0), 0);
    }
    ASSERT_EQ(zip_close(z), 0);
}

class Archives : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(library.FHandle, nullptr) << "QVDownLoad.so is found by name";
        root = dir.path().toStdString() + "/";
        target = root + "desk/";
        fs::create_directories(target);
        writeFile(target + "WOFB07S.so", "old library");
        // No registry at all unless a test writes one.
        env.set("QV_REGISTRY", root + "registry.ini");
    }
    bool unzip(const std::string& zip, QString& why)
    {
        return library.UnZipFilesOrDir(QString::fromStdString(zip), QString::fromStdString(target), why);
    }
    std::vector<std::string> everything() const
    {
        std::vector<std::string> names;
        for (const auto& e : fs::recursive_directory_iterator(root))
            names.push_back(fs::relative(e.path(), root).string());
        std::sort(names.begin(), names.end());
        return names;
    }

    TQVDownLoad library;
    QTemporaryDir dir;
    std::string root, target;
    EnvGuard env;
};

} // namespace

TEST_F(Archives, EveryEntryPointIsBoundInItsOrder)
{
    EXPECT_NE(library.FQVDownLoadFileEx, nullptr);
    EXPECT_NE(library.FUnZipFilesOrDir, nullptr);
    EXPECT_NE(library.FCompareFileToDown, nullptr);
    EXPECT_NE(library.FCompareFileToDownEx, nullptr);
    EXPECT_NE(library.FNeedDownLoad, nullptr);
    EXPECT_NE(library.FUnZipFilesList, nullptr);
    EXPECT_NE(library.FUnZipFilesXML, nullptr);
    EXPECT_NE(library.FGetFileList, nullptr);
    EXPECT_TRUE(library.FSource.isEmpty());
}

TEST_F(Archives, EntriesThatLeaveTheFolderRefuseTheWholeArchive)
{
    fs::create_directories(root + "elsewhere");
    fs::create_symlink(root + "elsewhere", target + "link");
    const std::vector<std::vector<std::pair<std::string, std::string>>> bad = {
        {{"good.txt", "fine"}, {"../evil.txt", "climbed"}},
        {{"good.txt", "fine"}, {root + "absolute.txt", "absolute"}},
        {{"sub/../../evil.txt", "climbed"}},
        {{"..\\evil.txt", "climbed the other way"}},
        {{"C:/evil.txt", "a drive"}},
        {{"good.txt", "fine"}, {"link/evil.txt", "through a link"}},
    };
    for (std::size_t k = 0; k < bad.size(); ++k) {
        const std::string zip = root + "bad" + std::to_string(k) + ".zip";
        makeZip(zip, bad[k]);
        const auto before = everything();
        QString why;
        EXPECT_FALSE(unzip(zip, why)) << k;
        EXPECT_NE(why.indexOf(QStringLiteral("is refused")), -1) << k << ": " << why.toStdString();
        EXPECT_EQ(everything(), before) << k << ": nothing was written anywhere";
        EXPECT_EQ(readFile(target + "WOFB07S.so"), "old library");
    }
}

TEST_F(Archives, ARefusedArchiveLeavesNoFolderBehind)
{
    fs::create_directories(root + "elsewhere");
    fs::create_symlink(root + "elsewhere", target + "link");
    fs::create_symlink(target + "sub", target + "inside");
    fs::create_directories(target + "sub");
    const std::vector<std::vector<std::pair<std::string, std::string>>> bad = {
        // Folders of good entries first, then one that climbs out.
        {{"new/", ""}, {"new/deeper/ok.txt", "fine"}, {"a/b/../../../x", "climbed"}},
        // A folder made through a link that leads out of the folder.
        {{"new/ok.txt", "fine"}, {"link/made/evil.txt", "through a link"}},
        {{"link/made/", ""}},
        // A link that stays inside is fine to pass, one further on is not.
        {{"inside/new/ok.txt", "fine"}, {"inside/../link/made/x.txt", "climbed"}},
        // A file of the archive that another entry takes for a folder.
        {{"new/a.txt", "fine"}, {"new/a.txt/b.txt", "inside a file"}},
        // A folder where a file is.
        {{"new/ok.txt", "fine"}, {"WOFB07S.so/x.txt", "below a file"}},
    };
    for (std::size_t k = 0; k < bad.size(); ++k) {
        const std::string zip = root + "refused" + std::to_string(k) + ".zip";
        makeZip(zip, bad[k]);
        const auto before = everything();
        QString why;
        EXPECT_FALSE(unzip(zip, why)) << k;
        EXPECT_NE(why.indexOf(QStringLiteral("is refused")), -1) << k << ": " << why.toStdString();
        EXPECT_EQ(everything(), before) << k << ": no folder was made, here or elsewhere";
    }
    // Nor the folder to unpack into, when it was not there.
    QString why;
    EXPECT_FALSE(library.UnZipFilesOrDir(QString::fromStdString(root + "refused0.zip"),
                                         QString::fromStdString(root + "fresh/desk/"), why));
    EXPECT_FALSE(fs::exists(root + "fresh"));

    // The good entries of the first archive on their own go in.
    makeZip(root + "good.zip", {{"inside/new/ok.txt", "fine"}});
    ASSERT_TRUE(unzip(root + "good.zip", why)) << why.toStdString();
    EXPECT_EQ(readFile(target + "sub/new/ok.txt"), "fine");
}

TEST_F(Archives, FilesAreReadableByAllAndOnlyLibrariesRunnableWhateverTheArchiveSays)
{
    const std::string zip = root + "modes.zip";
    makeZipWithModes(zip, {{"setuid.txt", "s", 0104777},
                           {"private.txt", "p", 0100600},
                           {"WOFB07S.so", "new library", 0100600},
                           {"sub/tool.SO", "t", 0106777},
                           {"dos.txt", "d", 0},
                           {"nothing.txt", "n", 0100000}});
    QString why;
    ASSERT_TRUE(unzip(zip, why)) << why.toStdString();
    const auto mode = [&](const std::string& name) {
        struct stat st {};
        EXPECT_EQ(::lstat((target + name).c_str(), &st), 0) << name;
        EXPECT_TRUE(S_ISREG(st.st_mode)) << name;
        return unsigned(st.st_mode & 07777);
    };
    EXPECT_EQ(mode("setuid.txt"), 0644u);
    EXPECT_EQ(mode("private.txt"), 0644u);
    EXPECT_EQ(mode("dos.txt"), 0644u);
    EXPECT_EQ(mode("nothing.txt"), 0644u);
    EXPECT_EQ(mode("WOFB07S.so"), 0755u);
    EXPECT_EQ(mode("sub/tool.SO"), 0755u);
    EXPECT_EQ(readFile(target + "WOFB07S.so"), "new library");
}

TEST_F(Archives, AGoodArchiveReplacesByRenameAndMakesItsFolders)
{
    const std::string zip = root + "good.zip";
    makeZip(zip, {{"WOFB07S.so", "new library"}, {"./sub/more.txt", "more"}, {"sub/", ""}});
    const ino_t before = [&] { struct stat st {}; ::stat((target + "WOFB07S.so").c_str(), &st); return st.st_ino; }();
    QString why;
    ASSERT_TRUE(unzip(zip, why)) << why.toStdString();
    EXPECT_EQ(readFile(target + "WOFB07S.so"), "new library");
    EXPECT_EQ(readFile(target + "sub/more.txt"), "more");
    struct stat st {};
    ::stat((target + "WOFB07S.so").c_str(), &st);
    EXPECT_NE(st.st_ino, before);
}

TEST_F(Archives, ABrokenArchiveLeavesTheOldFilesAndNoScraps)
{
    std::string payload(64 * 1024, 'x');
    for (std::size_t i = 0; i < payload.size(); ++i)
        payload[i] = char('a' + i * 7 % 23);
    const std::string zip = root + "whole.zip";
    makeZip(zip, {{"first.txt", "first"}, {"WOFB07S.so", payload}}, true);
    const std::string bytes = readFile(zip);

    // Cut off in the middle: no directory at the end, not an archive any more.
    writeFile(root + "cut.zip", bytes.substr(0, bytes.size() / 2));
    // Whole, but one byte of the library's content changed: its checksum fails.
    std::string damaged = bytes;
    const std::size_t at = damaged.find(payload.substr(0, 64)) + 30000;
    damaged[at] = damaged[at] == 'q' ? 'r' : 'q';
    writeFile(root + "damaged.zip", damaged);

    for (const char* name : {"cut.zip", "damaged.zip", "missing.zip"}) {
        QString why;
        EXPECT_FALSE(unzip(root + name, why)) << name;
        EXPECT_FALSE(why.isEmpty()) << name;
        EXPECT_EQ(readFile(target + "WOFB07S.so"), "old library") << name;
        EXPECT_FALSE(fs::exists(target + "first.txt")) << name << ": a good entry waits for the others";
        std::vector<std::string> left;
        for (const auto& e : fs::directory_iterator(target))
            left.push_back(e.path().filename().string());
        EXPECT_EQ(left, std::vector<std::string>{"WOFB07S.so"}) << name;
    }
}

TEST_F(Archives, ComparingListingAndDescribing)
{
    const std::string file = target + "WOFB07S.so";
    const timespec times[2] = {{1700000000, 0}, {1700000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    char stamp[32];
    std::tm t{};
    const std::time_t when = 1700000000;
    localtime_r(&when, &t);
    std::strftime(stamp, sizeof stamp, "%Y%m%d%H%M%S", &t);
    const std::string same = stamp;
    const std::string later = std::to_string(std::stoll(same) + 1);

    EXPECT_FALSE(library.CompareFileToDown(QString::fromStdString(same), QString::fromStdString(file)));
    EXPECT_TRUE(library.CompareFileToDown(QString::fromStdString(later), QString::fromStdString(file)));
    EXPECT_TRUE(library.CompareFileToDown(QString::fromStdString(same), QString::fromStdString(target + "none.so")))
        << "a missing file is fetched";
    EXPECT_FALSE(library.CompareFileToDown(QString(), QString::fromStdString(file))) << "nothing to compare with";
    EXPECT_FALSE(library.CompareFileToDown(QStringLiteral("2024"), QString::fromStdString(file)));

    const std::string quoted = "Modify = '" + later + "' Path = '/srv/S_PKG/WOFB07S.so'";
    EXPECT_TRUE(library.FCompareFileToDownEx(quoted.c_str(), file.c_str()));
    const std::string list = "<Modify>" + same + "</Modify><Path>/srv/WOFB07S.so</Path>\r\n<Modify>" + later +
                             "</Modify><Path>/srv/other.so</Path>";
    EXPECT_TRUE(library.FNeedDownLoad(list.c_str(), target.c_str())) << "other.so is missing";
    const std::string current = "<Modify>" + same + "</Modify><Path>/srv/WOFB07S.so</Path>";
    EXPECT_FALSE(library.FNeedDownLoad(current.c_str(), target.c_str()));

    char answer[512];
    ASSERT_TRUE(library.FGetFileList(target.c_str(), "wofb07s.so,WOFB07S.so,../x", answer, sizeof answer));
    EXPECT_EQ(std::string(answer), "<Modify>" + same + "</Modify><Path>" + file + "</Path>");
    EXPECT_FALSE(library.FGetFileList(target.c_str(), "WOFB07S.so", answer, 10)) << "too small a buffer says so";

    const std::string zip = root + "list.zip";
    makeZip(zip, {{"a.txt", "1"}, {"b & c.txt", "22"}});
    char message[256];
    int code = -1;
    ASSERT_TRUE(library.FUnZipFilesList(zip.c_str(), answer, sizeof answer, message, &code)) << message;
    EXPECT_EQ(std::string(answer), "a.txt\r\nb & c.txt");
    EXPECT_EQ(code, 0);
    ASSERT_TRUE(library.FUnZipFilesXML(zip.c_str(), answer, sizeof answer, message, &code)) << message;
    EXPECT_NE(std::string(answer).find("<File Name=\"b &amp; c.txt\" Size=\"2\""), std::string::npos) << answer;
    EXPECT_FALSE(library.FUnZipFilesList((root + "none.zip").c_str(), answer, sizeof answer, message, &code));
    EXPECT_NE(code, 0);
    EXPECT_STRNE(message, "");
}

TEST(FileDescriptions, BothFormsGiveStampAndFolder)
{
    const FileDescription tagged =
        ParseFileDescription(QStringLiteral("<Modify>20240301120000</Modify><Path>/srv/S_PKG/WOFB07S.so</Path>"));
    EXPECT_EQ(tagged.stamp, QStringLiteral("20240301120000"));
    EXPECT_EQ(tagged.serverFolder, QStringLiteral("/srv/S_PKG/"));
    const FileDescription quoted =
        ParseFileDescription(QStringLiteral("Modify = '20240301120000' Path = 'D:\\ERP\\S_PKG\\WOFB07S.DLL'"));
    EXPECT_EQ(quoted.stamp, tagged.stamp);
    EXPECT_EQ(quoted.serverFolder, QStringLiteral("D:\\ERP\\S_PKG\\"));
    const FileDescription open = ParseFileDescription(QStringLiteral("<Modify>20240301<Path>/srv/x.so</Path>"));
    EXPECT_EQ(open.stamp, QString()) << "no closing marker: the part is empty";
    EXPECT_EQ(open.serverFolder, QStringLiteral("/srv/"));
    EXPECT_EQ(ParseFileDescription(QString()).stamp, QString());
}

TEST(UpdateFileRefusals, NetworkFilesAndAMissingLibrary)
{
    QTemporaryDir dir;
    EnvGuard env;
    const std::string registry = dir.path().toStdString() + "/registry.ini";
    writeFile(registry, "[Software\\Varn\\Hollet]\nGoAhead=1\n");
    env.set("QV_REGISTRY", registry);
    QString error;
    EXPECT_FALSE(UpdateFile(QStringLiteral("<Modify>29991231235959</Modify><Path>/srv/</Path>"),
                            QStringLiteral("\\\\server\\share\\WOFB07S.so"), error, false));
    EXPECT_EQ(error, QStringLiteral("Net File can't update![\\\\server\\share\\WOFB07S.so]"));

    const TQVDownLoad none(QStringLiteral("NoSuchDownLoad.so"));
    EXPECT_EQ(none.FHandle, nullptr);
    EXPECT_THROW(none.CompareFileToDown(QStringLiteral("20240101000000"), QStringLiteral("/x")), std::exception);
    QString why;
    EXPECT_FALSE(none.DownLoadFile(QStringLiteral("/srv/x.zip"), QStringLiteral("/tmp/x.zip"), why));
    EXPECT_EQ(why, QStringLiteral("function QvDownLoad.QVDownLoadFile not found!"));
    EXPECT_FALSE(none.UnZipFilesOrDir(QStringLiteral("/tmp/x.zip"), QStringLiteral("/tmp"), why));
    EXPECT_EQ(why, QStringLiteral("function QvDownLoad.UnZipFilesOrDir not found!"));
}
