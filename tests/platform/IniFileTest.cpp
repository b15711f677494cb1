#include "platform/CodePage.h"
#include "platform/IniFile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

const char* kText =
    "; the client's settings\r\n"
    "orphan=before any section\r\n"
    "[Server Information]\r\n"
    "ComputerName = srv-a;srv-b \r\n"
    "ServerPort=211\r\n"
    "computername=second wins not\r\n"
    "Quoted=\"  kept blanks  \"\r\n"
    "Single='x'\r\n"
    "Unbalanced=\"x\r\n"
    "Equation=a=b=c\r\n"
    "Empty=\r\n"
    "Hex=0x1F\r\n"
    "Dollar=$10\r\n"
    "Negative=-12\r\n"
    "Junk=12abc\r\n"
    "Huge=99999999999\r\n"
    "; a comment line\r\n"
    "[WorkDLLPath]\r\n"
    "Pkg2=Second\r\n"
    "Pkg1=First\r\n"
    "[server information]\r\n"
    "Later=merged into the first section\r\n";

} // namespace

TEST(IniFileTest, SectionsAndKeysIgnoreCase)
{
    const IniFile ini = IniFile::fromText(kText);
    EXPECT_EQ(ini.ReadString("SERVER INFORMATION", "computername", "-"), "srv-a;srv-b");
    EXPECT_EQ(ini.ReadString("server information", "Later", "-"), "merged into the first section");
    EXPECT_TRUE(ini.SectionExists("workdllpath"));
    EXPECT_TRUE(ini.ValueExists("Server Information", "SERVERPORT"));
    EXPECT_FALSE(ini.ValueExists("Server Information", "orphan"));
    EXPECT_FALSE(ini.SectionExists("Missing"));
}

TEST(IniFileTest, ValuesAreTrimmedAndLoseOnePairOfQuotes)
{
    const IniFile ini = IniFile::fromText(kText);
    EXPECT_EQ(ini.ReadString("Server Information", "Quoted", ""), "  kept blanks  ");
    EXPECT_EQ(ini.ReadString("Server Information", "Single", ""), "x");
    EXPECT_EQ(ini.ReadString("Server Information", "Unbalanced", ""), "\"x");
    EXPECT_EQ(ini.ReadString("Server Information", "Equation", ""), "a=b=c");
    EXPECT_EQ(ini.ReadString("Server Information", "Empty", "default"), "");
    EXPECT_EQ(ini.ReadString("Server Information", "Absent", "default"), "default");
    EXPECT_EQ(ini.ReadString("Nowhere", "Absent", "default"), "default");
}

TEST(IniFileTest, NumbersAndTheirDefaults)
{
    const IniFile ini = IniFile::fromText(kText);
    EXPECT_EQ(ini.ReadInteger("Server Information", "ServerPort", 0), 211);
    EXPECT_EQ(ini.ReadInteger("Server Information", "Hex", 0), 31);
    EXPECT_EQ(ini.ReadInteger("Server Information", "Dollar", 0), 16);
    EXPECT_EQ(ini.ReadInteger("Server Information", "Negative", 0), -12);
    EXPECT_EQ(ini.ReadInteger("Server Information", "Junk", 7), 7);
    EXPECT_EQ(ini.ReadInteger("Server Information", "Huge", 7), 7);
    EXPECT_EQ(ini.ReadInteger("Server Information", "Empty", 7), 7);
    EXPECT_EQ(ini.ReadInteger("Server Information", "Absent", 7), 7);
    EXPECT_TRUE(ini.ReadBool("Server Information", "ServerPort", false));
    EXPECT_TRUE(ini.ReadBool("Server Information", "Absent", true));
}

TEST(IniFileTest, WholeSectionsInFileOrder)
{
    const IniFile ini = IniFile::fromText(kText);
    EXPECT_EQ(ini.ReadSectionValues("workdllpath"), (std::vector<std::string>{"Pkg2=Second", "Pkg1=First"}));
    EXPECT_EQ(ini.ReadSection("WorkDLLPath"), (std::vector<std::string>{"Pkg2", "Pkg1"}));
    EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"Server Information", "WorkDLLPath"}));
    EXPECT_TRUE(ini.ReadSectionValues("Missing").empty());
}

TEST(IniFileTest, ManySectionsKeepTheirOwnKeys)
{
    std::string text;
    for (int i = 0; i < 2000; ++i)
        text += "[S" + std::to_string(i) + "]\nKey=" + std::to_string(i) + "\n";
    text += "[s1500]\nkey=later\nOther=joined\n";
    const IniFile ini = IniFile::fromText(text);
    EXPECT_EQ(ini.ReadSections().size(), 2000u);
    EXPECT_EQ(ini.ReadString("S0", "Key", ""), "0");
    EXPECT_EQ(ini.ReadString("s1999", "KEY", ""), "1999");
    EXPECT_EQ(ini.ReadString("S1500", "Key", ""), "1500") << "the first of a key counts, across the joined lines";
    EXPECT_EQ(ini.ReadString("S1500", "Other", ""), "joined");
    EXPECT_EQ(ini.ReadSection("S1500"), (std::vector<std::string>{"Key", "key", "Other"}));
    EXPECT_FALSE(ini.ValueExists("S1499", "Other"));
    EXPECT_FALSE(ini.SectionExists("S2000"));
}

TEST(IniFileTest, SectionLinesWithoutAValueStayAsWritten)
{
    const IniFile ini = IniFile::fromText("[WorkDLLPath]\nD:\\Work\nPkg=Dir\n");
    EXPECT_EQ(ini.ReadSectionValues("WorkDLLPath"), (std::vector<std::string>{"D:\\Work", "Pkg=Dir"}));
    EXPECT_EQ(ini.ReadSection("WorkDLLPath"), (std::vector<std::string>{"D:\\Work", "Pkg"}));
}

TEST(IniFileTest, MissingFilesReadAsEmpty)
{
    const IniFile ini("/nonexistent/folder/BriskoC.ini");
    EXPECT_EQ(ini.FileName(), "/nonexistent/folder/BriskoC.ini");
    EXPECT_TRUE(ini.ReadSections().empty());
    EXPECT_EQ(ini.ReadString("Client Components", "LangType", "ENG"), "ENG");
    EXPECT_EQ(ini.ReadInteger("Server Information", "ServerPort", 211), 211);

    // A folder where the file should be cannot be read either.
    const IniFile folder(std::filesystem::temp_directory_path().string());
    EXPECT_TRUE(folder.ReadSections().empty());
}

TEST(IniFileTest, FilesInTheAnsiCodePageKeepTheirBackslashBytes)
{
    // Big5 characters whose second byte is "\" ahead of "=" and at a line's end.
    const std::string path = (std::filesystem::temp_directory_path() / "qv-inifile-big5.ini").string();
    {
        std::ofstream out(path, std::ios::binary);
        out << "[\xB3\x5C]\r\n\xA5\x5C=C:\\\xB3\x5C\xA5\x5C\xBB\x5C\r\nNext=1\r\n";
    }
    SetACP(950);
    const IniFile ini(path);
    SetACP(0);
    std::remove(path.c_str());
    EXPECT_EQ(ini.ReadString("許", "功", ""), "C:\\許功蓋");
    EXPECT_EQ(ini.ReadInteger("許", "Next", 0), 1);

    // UTF-8 files, with or without a byte-order mark, are read as they are.
    {
        std::ofstream out(path, std::ios::binary);
        out << "\xEF\xBB\xBF[段]\n键=值\n";
    }
    SetACP(950);
    const IniFile utf8(path);
    SetACP(0);
    std::remove(path.c_str());
    EXPECT_EQ(utf8.ReadString("段", "键", ""), "值");
    EXPECT_EQ(IniFile::fromText("[段]\n键=值\n").ReadString("段", "键", ""), "值");
}
