// How the host tells the things that can stand where an installation file should be.

#include "TempInstall.h"
#include "host/FileCheck.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

TEST(FileCheck, TellsFilesFromFoldersPipesLinksAndNothing)
{
    TempInstall t;
    t.write("file.ini", "[A]\nB=1\n");
    t.write("empty.ini", "");
    t.write("folder/inside", "x");
    ASSERT_EQ(::mkfifo(t.path("pipe").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("loop", t.path("loop").c_str()), 0);
    ASSERT_EQ(::symlink("nowhere", t.path("dangling").c_str()), 0);
    ASSERT_EQ(::symlink("file.ini", t.path("link.ini").c_str()), 0);

    EXPECT_EQ(CheckFile(t.path("file.ini")).state, FileState::Readable);
    EXPECT_EQ(CheckFile(t.path("file.ini")).size, 8);
    EXPECT_EQ(CheckFile(t.path("link.ini")).state, FileState::Readable);
    EXPECT_EQ(CheckFile(t.path("empty.ini")).state, FileState::Readable);
    EXPECT_EQ(CheckFile(t.path("missing.ini")).state, FileState::Missing);
    const std::pair<const char*, const char*> unusable[] = {
        {"folder", "is a folder"},
        {"pipe", "is not a regular file"}, // and it did not block
        {"loop", "cannot be read"},
        {"dangling", "link to a file that does not exist"},
        {"file.ini/below", "cannot be read"},
    };
    for (const auto& [name, reason] : unusable) {
        const FileStatus s = CheckFile(t.path(name));
        EXPECT_EQ(s.state, FileState::Unusable) << name;
        EXPECT_NE(s.reason.find(reason), std::string::npos) << name << ": " << s.reason;
    }
    EXPECT_EQ(CheckFile(t.path("file.ini") + std::string(1, '\0') + "x").state, FileState::Unusable);

    EXPECT_EQ(CheckFolder(t.path("folder")).state, FileState::Readable);
    EXPECT_EQ(CheckFolder(t.path("nothing")).state, FileState::Missing);
    EXPECT_EQ(CheckFolder(t.path("file.ini")).state, FileState::Unusable);
}

TEST(FileCheck, ADatabaseFileIsThereHasContentAndItsHeader)
{
    TempInstall t;
    t.write("good.db", std::string("SQLite format 3\0rest", 20));
    t.write("empty.db", "");
    t.write("text.db", "SQLite format 2 and more");
    t.write("short.db", "SQLite");
    t.write("folder.db/x", "");
    EXPECT_EQ(DatabaseFileProblem(t.path("good.db")), "");
    EXPECT_EQ(DatabaseFileProblem(t.path("missing.db")), "is missing");
    EXPECT_EQ(DatabaseFileProblem(t.path("empty.db")), "is empty (0 bytes)");
    EXPECT_EQ(DatabaseFileProblem(t.path("text.db")), "is not a database");
    EXPECT_EQ(DatabaseFileProblem(t.path("short.db")), "is not a database");
    EXPECT_EQ(DatabaseFileProblem(t.path("folder.db")), "is a folder, not a file");
}

TEST(FileCheck, PrintableShowsControlBytesAndClipsBetweenCharacters)
{
    EXPECT_EQ(Printable(std::string("a\0b\n\x7f", 5)), "a\\x00b\\x0a\\x7f");
    EXPECT_EQ(Printable("abc", 3), "abc");
    EXPECT_EQ(Printable("abcdef", 3), "abc... (6 bytes)");
    // "应付" is two characters of three bytes: a clip after four bytes keeps both whole.
    EXPECT_EQ(Printable("应付款", 4), "应付... (9 bytes)");
    EXPECT_TRUE(HasNulByte(std::string("a\0", 2)));
    EXPECT_FALSE(HasNulByte("a"));
}
