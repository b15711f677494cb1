#include "support/AlertLog.h"
#include "support/BriskoINI.h"
#include "support/Dates.h"

#include "TempInstall.h"

#include "platform/CodePage.h"
#include "platform/OleDate.h"
#include "platform/SystemInfo.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <string>

namespace {

class BriskoIniTest : public ::testing::Test {
protected:
    void SetUp() override { SetACP(936); }
    void TearDown() override { SetACP(0); }

    // Registry naming client and server folders below the temporary installation.
    void installFolders(const std::string& profileType = "0")
    {
        install.registry("[Software\\QVR\\Brisko]\nClientPath=" + install.path("client") + "\nServerPath=" +
                         install.path("server") + "\nProfileType=" + profileType + "\n");
    }
    std::string client(const std::string& rel = "") const { return install.path("client/" + rel); }
    std::string server(const std::string& rel = "") const { return install.path("server/" + rel); }

    TempInstall install;
};

std::string cell(const Variant& v, int i, int j)
{
    return v.at(i, j).toString();
}

} // namespace

TEST_F(BriskoIniTest, WithoutTheRegistryKeyOnlyDefaultsRemain)
{
    SetACP(950);
    const TBriskoIniC c;
    EXPECT_EQ(c.ErrorCode, "E;000015");
    EXPECT_EQ(c.SystemCodePage, "950");
    EXPECT_EQ(c.UICodePage, "950");
    EXPECT_EQ(c.DBCodePage, "936");
    EXPECT_EQ(c.UIConvertMode, 2);
    EXPECT_EQ(c.DBConvertMode, 2);
    EXPECT_EQ(c.LangType, "");
    EXPECT_TRUE(c.WorkDLLPaths.empty());
    EXPECT_TRUE(c.Servers.isEmpty());
    EXPECT_EQ(c.ProfileType, "0");
    EXPECT_EQ(c.ProfileUser, "Default");
    EXPECT_EQ(c.ClientPath, "");
    EXPECT_EQ(c.IniFileName, "");
    EXPECT_FALSE(TBriskoIniC().Load());

    const TBriskoIniS s;
    EXPECT_EQ(s.ErrorCode, "E;000015");
    EXPECT_EQ(s.DBSettings.dimCount(), 2);
    EXPECT_TRUE(s.DBSettings.at(0, 0).isEmpty());
}

TEST_F(BriskoIniTest, OtherSystemCodePagesCountAsEnglish)
{
    setenv("QV_ACP", "1252", 1);
    SetACP(0);
    const TBriskoIniC c;
    unsetenv("QV_ACP");
    EXPECT_EQ(c.SystemCodePage, "437");
    EXPECT_EQ(c.UICodePage, "437");
    EXPECT_EQ(c.UIConvertMode, 0);
    EXPECT_EQ(c.DBConvertMode, 0);
}

TEST_F(BriskoIniTest, AnEmptyClientPathStopsWithoutAnErrorCode)
{
    install.registry("[Software\\QVR\\Brisko]\nClientPath=\nServerPath=\n");
    TBriskoIniC c;
    EXPECT_FALSE(c.Load());
    EXPECT_EQ(c.ErrorCode, "");
    EXPECT_EQ(c.IniFileName, "");
    TBriskoIniS s;
    EXPECT_FALSE(s.Load());
    EXPECT_EQ(s.ErrorCode, "");
}

TEST_F(BriskoIniTest, MissingIniFileGivesEveryDefault)
{
    installFolders();
    TBriskoIniC c;
    EXPECT_TRUE(c.Load());
    EXPECT_EQ(c.ClientPath, client());
    EXPECT_EQ(c.ProfilePath, client());
    EXPECT_EQ(c.IniFileName, client("BriskoC.ini"));
    EXPECT_EQ(c.LangType, "ENG");
    EXPECT_EQ(c.Version, "");
    EXPECT_EQ(c.CreateGifBeforeSendEF, "Y");
    EXPECT_EQ(c.AutoCheckNewMsg, "1");
    EXPECT_EQ(c.CheckInterval, "1");
    EXPECT_EQ(c.PopupMsg, "1");
    EXPECT_EQ(c.LoginCheck, "0");
    EXPECT_EQ(c.UICodePage, "936");
    EXPECT_FALSE(c.SupportCallBack);
    ASSERT_EQ(c.Servers.dimCount(), 2);
    EXPECT_EQ(c.Servers.count(2), 1);
    EXPECT_EQ(cell(c.Servers, 0, 0), "127.0.0.1");
    EXPECT_EQ(c.Servers.at(1, 0), Variant(211));
    EXPECT_EQ(c.WorkDLLPaths, std::vector<std::string>{client("C_PKG/")});
    EXPECT_EQ(c.ErrorCode, "");

    TBriskoIniS s;
    EXPECT_TRUE(s.Load());
    EXPECT_EQ(s.ServerPath, server());
    EXPECT_EQ(cell(s.DBSettings, 0, 0), "Vostel");
    EXPECT_EQ(cell(s.DBSettings, 0, 1), "sa");
    EXPECT_EQ(cell(s.DBSettings, 0, 2), "");
    EXPECT_EQ(cell(s.DBSettings, 0, 3), "MSSQL");
    EXPECT_EQ(s.DBSettings.at(0, 6), Variant(300));
    EXPECT_EQ(s.DBSettings.at(0, 7), Variant(3000));
    EXPECT_EQ(cell(s.DBSettings, 1, 0), "VostelTemp");
    EXPECT_EQ(cell(s.DBSettings, 1, 3), "PARADOX");
    EXPECT_EQ(cell(s.DBSettings, 1, 5), "PostgreSQL");
    EXPECT_EQ(s.DBSettings.at(2, 1), Variant(211));
    EXPECT_EQ(s.DBSettings.at(2, 2), Variant(1024));
    EXPECT_EQ(cell(s.DBSettings, 2, 3), "Chinese_Taiwan_Stroke_BIN");
    EXPECT_EQ(cell(s.DBSettings, 3, 0), "EDIDATA");
    EXPECT_EQ(cell(s.DBSettings, 3, 1), "sa");
    EXPECT_TRUE(s.DBSettings.at(2, 4).isEmpty());
    EXPECT_TRUE(s.DBSettings.at(3, 7).isEmpty());
    EXPECT_EQ(s.DBType, 0);
    EXPECT_EQ(s.SystemControlAddress, "");
    EXPECT_EQ(s.WorkDLLPaths, std::vector<std::string>{server("S_PKG/")});
}

TEST_F(BriskoIniTest, ClientKeysAndServerList)
{
    installFolders();
    install.write("client/BriskoC.ini",
                  "[client components]\nLangType=CHT\n[ProductVersion]\nVersion=8.7\n"
                  "[UserDefine]\nCreateGifBeforeSendEF=N\n[CodePage]\nUICodePage=950\nDBCodePage=936\n"
                  "[Server Information]\nSupportCallBack=yes\nComputerName= srv-a;srv-b; \nServerPort=2110\n"
                  "[TaskMessageCenter Setting]\nAutoCheckNewMsg=0\nCheckInterval=15\nPopupMsg=no\nLoginCheck=1\n");
    const TBriskoIniC c;
    EXPECT_EQ(c.ErrorCode, "");
    EXPECT_EQ(c.LangType, "CHT");
    EXPECT_EQ(c.Version, "8.7");
    EXPECT_EQ(c.CreateGifBeforeSendEF, "N");
    EXPECT_EQ(c.UICodePage, "950");
    EXPECT_EQ(c.UIConvertMode, 2);
    EXPECT_EQ(c.DBConvertMode, 2);
    EXPECT_TRUE(c.SupportCallBack);
    EXPECT_EQ(c.AutoCheckNewMsg, "0");
    EXPECT_EQ(c.CheckInterval, "15");
    EXPECT_EQ(c.PopupMsg, "no");   // kept as read
    EXPECT_EQ(c.LoginCheck, "1");
    ASSERT_EQ(c.Servers.count(2), 2);
    EXPECT_EQ(cell(c.Servers, 0, 0), "srv-a");
    EXPECT_EQ(cell(c.Servers, 0, 1), "srv-b");
    EXPECT_EQ(c.Servers.at(1, 0), Variant(2110));
    EXPECT_EQ(c.Servers.at(1, 1), Variant(2110));
}

TEST_F(BriskoIniTest, EveryFieldOfTheServerListIsAServer)
{
    installFolders();
    install.write("client/BriskoC.ini", "[Server Information]\nComputerName= a;;b; \nServerPort=300\n");
    const TBriskoIniC c;
    EXPECT_EQ(c.ErrorCode, "");
    ASSERT_EQ(c.Servers.count(2), 3) << "only the one trailing separator goes";
    EXPECT_EQ(cell(c.Servers, 0, 0), "a");
    EXPECT_EQ(cell(c.Servers, 0, 1), "");
    EXPECT_EQ(cell(c.Servers, 0, 2), "b");
    EXPECT_EQ(c.Servers.at(1, 1), Variant(300));

    install.write("client/BriskoC.ini", "[Server Information]\nComputerName=a; b;;\n");
    const TBriskoIniC twice;
    ASSERT_EQ(twice.Servers.count(2), 3);
    EXPECT_EQ(cell(twice.Servers, 0, 1), "b") << "blanks around a name are no part of it";
    EXPECT_EQ(cell(twice.Servers, 0, 2), "");
}

TEST_F(BriskoIniTest, RelativeFoldersLieBelowTheRegistryFile)
{
    install.registry("[Software\\QVR\\Brisko]\nClientPath=client\nServerPath=.\\server\\\n");
    install.write("client/BriskoC.ini", "[Client Components]\nLangType=CHT\n");
    install.write("server/BriskoS.ini", "[ProductVersion]\nVersion=9.1\n");
    install.write("elsewhere/client/BriskoC.ini", "[Client Components]\nLangType=CHS\n");

    // Started from another folder, which has a client folder of its own.
    const std::string previous = std::filesystem::current_path().string();
    std::filesystem::current_path(install.path("elsewhere"));
    const TBriskoIniC c;
    const TBriskoIniS s;
    const std::string logBase = GetClientPath();
    std::filesystem::current_path(previous);

    EXPECT_EQ(c.ClientPath, install.path("client/"));
    EXPECT_EQ(c.IniFileName, install.path("client/BriskoC.ini"));
    EXPECT_EQ(c.LangType, "CHT");
    EXPECT_EQ(c.WorkDLLPaths, std::vector<std::string>{install.path("client/C_PKG/")});
    EXPECT_EQ(s.ServerPath, install.path("server/"));
    EXPECT_EQ(s.Version, "9.1");
    EXPECT_EQ(logBase, install.path("client"));
}

TEST_F(BriskoIniTest, ABadPasswordIsReportedOncePerFileAndKey)
{
    installFolders();
    install.write("client/.keep", "");
    install.write("server/BriskoS.ini", "[DBE Setting]\nXXXXXX=zz01\nTempPassword=0g\n");
    const std::string log = "client/Log/Alert_WFERPGenerator_" + dateToCompact(Today()) + ".log";
    const std::string header = "---------------------------------- on " + EncodePassword("DecodeSQLSa");
    auto entries = [&] {
        const std::string text = install.read(log);
        std::size_t n = 0;
        for (std::size_t at = text.find(header); at != std::string::npos; at = text.find(header, at + 1))
            ++n;
        return n;
    };
    for (int i = 0; i < 5; ++i) {
        const TBriskoIniS s;
        EXPECT_EQ(cell(s.DBSettings, 0, 2), "QV_Say_Password_Error");
        EXPECT_EQ(cell(s.DBSettings, 1, 2), "QV_Say_Password_Error");
    }
    EXPECT_EQ(entries(), 2u) << "one entry for each key, however often the file is read";
    EXPECT_NE(install.read(log).find("'zz' is not"), std::string::npos);
    EXPECT_NE(install.read(log).find("'0g' is not"), std::string::npos);

    // The same key in another file (a user's profile) is reported for that file.
    installFolders("1");
    std::string user = GetUserName();
    if (user.size() > 31)
        user.resize(31);
    install.write("server/Profile/" + user + "/BriskoS.ini", "[DBE Setting]\nXXXXXX=zz01\n");
    TBriskoIniS().Load();
    TBriskoIniS().Load();
    EXPECT_EQ(entries(), 3u);
}

TEST_F(BriskoIniTest, ABadPasswordUnderMissingFoldersMakesNoFolders)
{
    install.registry("[Software\\QVR\\Brisko]\nClientPath=" + install.path("gone/c/") + "\nServerPath=" +
                     install.path("server/") + "\n");
    install.write("server/BriskoS.ini", "[DBE Setting]\nXXXXXX=qq\n");
    const TBriskoIniS s;
    EXPECT_EQ(cell(s.DBSettings, 0, 2), "QV_Say_Password_Error");
    EXPECT_FALSE(install.exists("gone")) << "nothing is made for a client folder that is not there";
    EXPECT_NE(install.read("server/Log/Alert_WFERPGenerator_" + dateToCompact(Today()) + ".log").find("'qq' is not"),
              std::string::npos)
        << "the server folder takes the entry";
}

TEST_F(BriskoIniTest, ModesFollowTheCodePages)
{
    SetACP(950);
    installFolders();
    install.write("client/BriskoC.ini", "[CodePage]\nUICodePage=936\nDBCodePage=950\n");
    const TBriskoIniC c;
    EXPECT_EQ(c.UIConvertMode, 4);
    EXPECT_EQ(c.DBConvertMode, 1);
    install.write("client/BriskoC.ini", "[CodePage]\nUICodePage=437\nDBCodePage=950\n");
    const TBriskoIniC english;
    EXPECT_EQ(english.UIConvertMode, 0);
    EXPECT_EQ(english.DBConvertMode, 0);
}

TEST_F(BriskoIniTest, BoolTextsAcceptTheUsualSpellings)
{
    installFolders();
    for (const char* yes : {"1", "y", "Yes", "TRUE"}) {
        install.write("client/BriskoC.ini", std::string("[Server Information]\nSupportCallBack=") + yes + "\n");
        EXPECT_TRUE(TBriskoIniC().SupportCallBack) << yes;
    }
    for (const char* no : {"0", "N", "on", "-1", ""}) {
        install.write("client/BriskoC.ini", std::string("[Server Information]\nSupportCallBack=") + no + "\n");
        EXPECT_FALSE(TBriskoIniC().SupportCallBack) << no;
    }
}

TEST_F(BriskoIniTest, ABlankServerListFailsAndKeepsTheRawWorkLines)
{
    installFolders();
    install.write("client/BriskoC.ini",
                  "[Client Components]\nLangType=CHS\n[Server Information]\nComputerName= ; \n"
                  "[WorkDLLPath]\nPkg1=Work\n");
    TBriskoIniC c;
    EXPECT_FALSE(c.Load());
    EXPECT_EQ(c.ErrorCode, "E;000016");
    EXPECT_TRUE(c.Servers.isEmpty());
    EXPECT_EQ(c.LangType, "CHS");
    EXPECT_EQ(c.WorkDLLPaths, std::vector<std::string>{"Pkg1=Work"});
}

TEST_F(BriskoIniTest, ProfilesOverrideTheInstallationsIniFile)
{
    installFolders("1");
    std::string user = GetUserName();
    if (user.size() > 31)
        user.resize(31);
    install.write("client/BriskoC.ini", "[Client Components]\nLangType=CHS\n");
    {
        const TBriskoIniC c;
        EXPECT_EQ(c.ProfileType, "1");
        EXPECT_EQ(c.ProfileUser, user);
        EXPECT_EQ(c.ProfilePath, client());
        EXPECT_EQ(c.IniFileName, client("BriskoC.ini"));
        EXPECT_EQ(c.LangType, "CHS");
    }
    install.write("client/Profile/" + user + "/BriskoC.ini", "[Client Components]\nLangType=CHT\n");
    const TBriskoIniC c;
    EXPECT_EQ(c.ProfilePath, client("Profile/" + user + "/"));
    EXPECT_EQ(c.IniFileName, client("Profile/" + user + "/BriskoC.ini"));
    EXPECT_EQ(c.LangType, "CHT");
    EXPECT_EQ(c.ClientPath, client());
}

TEST_F(BriskoIniTest, WorkFoldersResolveBelowTheInstallation)
{
    installFolders();
    install.write("server/BriskoS.ini",
                  "[WorkDLLPath]\nDrive=D:\\Work\nLead=\\Pkg\nPlain=Pkg\nNested=Pkg\\Sub\\\nAbs=/srv/pkg\n"
                  "Share=\\\\host\\share\nEmpty=\nBare\\Folder\n");
    const TBriskoIniS s;
    const std::vector<std::string> expected = {
        "D:\\Work\\", server("Pkg/"), server("Pkg/"), server("Pkg/Sub/"), "/srv/pkg/", "\\\\host\\share\\", server(),
        server("Bare/Folder/"),
    };
    EXPECT_EQ(s.WorkDLLPaths, expected);
    std::vector<std::string> copy = {"old"};
    s.GetWorkDLLPaths(copy);
    EXPECT_EQ(copy, expected);

    EXPECT_EQ(ResolvePath("C:\\x", "/base/"), "C:\\x");
    EXPECT_EQ(ResolvePath("\\x", "/base/"), "/base/x");
    EXPECT_EQ(ResolvePath("x", "/base/"), "/base/x");
    EXPECT_EQ(ResolvePath("/x", "/base/"), "/x");
    EXPECT_EQ(ResolvePath("", "/base/"), "/base/");
}

TEST_F(BriskoIniTest, ServerSettingsFillTheirCells)
{
    installFolders();
    install.write("server/BriskoS.ini",
                  "[ProductVersion]\nVersion=8.7\n[CodePage]\nUICodePage=950\nDBCodePage=950\n"
                  "[DBE Setting]\nMainUserName=erp\nXXXXXX=" + EncodePassword("s3cret") + "\nMainAlias=Main\n"
                  "MainDBType=oracle\nMainDBName=DEMO\nMainServerName=dbhost\nSystemControlAddress=  \n"
                  "OtherSystemControlAddress=ctl2\nMainConnectionTimeOut=30\nMainCommandTimeOut=x\n"
                  "TempAlias=T\nTempUserName=tu\nTempPassword=" + EncodePassword("") + "\nTempDBType=SQLITE\n"
                  "TempDBName=tmp\nTempDriverName=sqlite3\nTempConnectionTimeOut=5\nTempCommandTimeOut=6\n"
                  "DataBaseCodeOrder=Chinese_PRC_BIN\nEctAlias=E\nEctUserName=eu\nEctPassword=6162\n"
                  "[DBPasswordCtrl]\nComputerName=  apphost \nServerPort=212\nClientSocketPort=2000\nSupportCallBack=1\n");
    const TBriskoIniS s;
    EXPECT_EQ(s.ErrorCode, "");
    EXPECT_EQ(s.Version, "8.7");
    EXPECT_EQ(s.UIConvertMode, 2);
    EXPECT_EQ(s.DBConvertMode, 0);
    EXPECT_EQ(cell(s.DBSettings, 0, 0), "Main");
    EXPECT_EQ(cell(s.DBSettings, 0, 1), "erp");
    EXPECT_EQ(cell(s.DBSettings, 0, 2), "s3cret");
    EXPECT_EQ(cell(s.DBSettings, 0, 3), "oracle");
    EXPECT_EQ(cell(s.DBSettings, 0, 4), "DEMO");
    EXPECT_EQ(cell(s.DBSettings, 0, 5), "dbhost");
    EXPECT_EQ(s.DBSettings.at(0, 6), Variant(30));
    EXPECT_EQ(s.DBSettings.at(0, 7), Variant(3000));   // unreadable number: the default
    EXPECT_EQ(s.DBType, 1);
    EXPECT_EQ(s.SystemControlAddress, "dbhost");
    EXPECT_EQ(s.OtherSystemControlAddress, "ctl2");
    EXPECT_EQ(cell(s.DBSettings, 1, 0), "T");
    EXPECT_EQ(cell(s.DBSettings, 1, 2), "");
    EXPECT_EQ(cell(s.DBSettings, 1, 5), "sqlite3");
    EXPECT_EQ(s.DBSettings.at(1, 7), Variant(6));
    EXPECT_EQ(cell(s.DBSettings, 2, 0), "apphost");
    EXPECT_EQ(s.DBSettings.at(2, 1), Variant(212));
    EXPECT_EQ(s.DBSettings.at(2, 2), Variant(2000));
    EXPECT_EQ(cell(s.DBSettings, 2, 3), "Chinese_PRC_BIN");
    EXPECT_EQ(cell(s.DBSettings, 3, 2), "6162");   // stored as read
    EXPECT_TRUE(s.SupportCallBack);

    install.write("server/BriskoS.ini", "[DBE Setting]\nMainDBType=Db2\n");
    EXPECT_EQ(TBriskoIniS().DBType, 2);
}

TEST_F(BriskoIniTest, ABadStoredPasswordIsReportedOnceAndLoadingGoesOn)
{
    installFolders();
    install.write("client/.keep", "");
    install.write("server/BriskoS.ini", "[DBE Setting]\nXXXXXX=b0zz\nMainAlias=Main\n");
    const TBriskoIniS s;
    EXPECT_EQ(s.ErrorCode, "");
    EXPECT_EQ(cell(s.DBSettings, 0, 2), "QV_Say_Password_Error");
    EXPECT_EQ(cell(s.DBSettings, 0, 0), "Main");
    EXPECT_EQ(s.WorkDLLPaths.size(), 1u);

    // The client folder of the registry takes the entry.
    const std::string log = install.read("client/Log/Alert_WFERPGenerator_" + dateToCompact(Today()) + ".log");
    const std::string header = "---------------------------------- on " + EncodePassword("DecodeSQLSa") +
                               " ----------------------------------\r\n";
    EXPECT_NE(log.find("] " + header), std::string::npos) << log;
    EXPECT_NE(log.find("] 讯息信息:\r\n"), std::string::npos);
    EXPECT_NE(log.find("] Exception is ConvertError\r\nMessage 01: 'zz' is not a valid hexadecimal value\r\n"),
              std::string::npos);
    EXPECT_NE(log.find("] ErrorMessage Count: 1\r\n"), std::string::npos);
    EXPECT_NE(log.find("] Programer Message: 解析 Sa 时发生错误!\r\n"), std::string::npos);
    std::size_t headers = 0;
    for (std::size_t at = log.find(header); at != std::string::npos; at = log.find(header, at + 1))
        ++headers;
    EXPECT_EQ(headers, 1u);
}

TEST(Passwords, RoundTripForEveryLengthUpToForty)
{
    std::string plain;
    for (int n = 0; n <= 40; ++n) {
        EXPECT_EQ(DecodePassword(EncodePassword(plain)), plain) << "length " << n;
        if (n > 0) {
            EXPECT_EQ(EncodePassword(plain).size(), plain.size() * 2);
        }
        plain += char(' ' + (n * 37) % 95);
    }
    EXPECT_EQ(DecodePassword(EncodePassword("密码Ünï")), "密码Ünï");
}

TEST(Passwords, StoredFormat)
{
    EXPECT_EQ(EncodePassword("a"), "b0");      // 0x61 rotated right by 1
    EXPECT_EQ(EncodePassword("ab"), "b098");   // 0x62 rotated right by 2
    EXPECT_EQ(EncodePassword("aaaaaaaa").substr(14), "61");   // the eighth is not rotated
    EXPECT_EQ(DecodePassword("B098"), "ab");
    EXPECT_EQ(DecodePassword("b098f"), "ab");   // a trailing odd digit is ignored
    EXPECT_EQ(DecodePassword(""), "");
    EXPECT_EQ(EncodePassword(""), EncodePassword("QV_Say_NoPassWord_ThePassWordIsEmpty"));
    EXPECT_EQ(DecodePassword(EncodePassword("QV_Say_NoPassWord_ThePassWordIsEmpty")), "");
}

TEST_F(BriskoIniTest, TheConnectionSecretIsStoredAsPasswordsAreAndTimeLimitsHaveFloors)
{
    installFolders();
    install.write("client/BriskoC.ini", "[Server Information]\nComputerName=10.0.0.5\nConnectionSecret=" +
                                            EncodePassword("秘密 one") +
                                            "\nCallTimeOut=1500\nConnectTimeOut=0\nTlsCertificate=certs/server.crt\n");
    install.write("server/BriskoS.ini", "[DBPasswordCtrl]\nConnectionSecret=" + EncodePassword("秘密 one") +
                                            "\nMaxFrameBytes=-4\nTlsCertificate=server.crt\nTlsKey=/etc/qv/server.key\n");
    const TBriskoIniC client;
    EXPECT_EQ(client.ConnectionSecret, "秘密 one");
    EXPECT_EQ(client.CallTimeOut, 1500);
    EXPECT_EQ(client.ConnectTimeOut, TBriskoIniC::DefaultConnectTimeOut) << "below 1 takes the default";
    const TBriskoIniS server;
    EXPECT_EQ(server.ConnectionSecret, client.ConnectionSecret);
    EXPECT_EQ(server.MaxFrameBytes, TBriskoIniS::DefaultMaxFrameBytes);
    EXPECT_EQ(client.TlsCertificate, client.ClientPath + "certs/server.crt") << "below the client folder";
    EXPECT_EQ(server.TlsCertificate, server.ServerPath + "server.crt");
    EXPECT_EQ(server.TlsKey, "/etc/qv/server.key") << "an absolute path stays";

    install.write("client/BriskoC.ini", "[Server Information]\nComputerName=10.0.0.5\n");
    install.write("server/BriskoS.ini", "[DBPasswordCtrl]\nConnectionSecret=\n");
    EXPECT_EQ(TBriskoIniC().ConnectionSecret, "");
    EXPECT_EQ(TBriskoIniC().CallTimeOut, TBriskoIniC::DefaultCallTimeOut);
    EXPECT_EQ(TBriskoIniS().ConnectionSecret, "") << "no secret: a listening server refuses to start";
    EXPECT_EQ(TBriskoIniC().TlsCertificate, "") << "no TLS unless named";
}

TEST_F(BriskoIniTest, TheMetricsAddressIsKeptWhenItIsOneAndNamedAsAProblemWhenNot)
{
    installFolders();
    install.write("server/BriskoS.ini", "[Metrics]\nListen= 127.0.0.1:9464 \n");
    const TBriskoIniS given;
    EXPECT_EQ(given.MetricsListen, "127.0.0.1:9464");
    EXPECT_TRUE(given.MetricsProblems.empty());
    install.write("server/BriskoS.ini", "[Metrics]\nListen=[::1]:0\n");
    EXPECT_EQ(TBriskoIniS().MetricsListen, "[::1]:0") << "port 0: any free one";

    for (const std::string bad : {"9464", "localhost:65536", "host:", "::1:80"}) {
        install.write("server/BriskoS.ini", "[Metrics]\nListen=" + bad + "\n");
        const TBriskoIniS s;
        EXPECT_EQ(s.MetricsListen, "") << bad;
        ASSERT_EQ(s.MetricsProblems.size(), 1u) << bad;
        EXPECT_EQ(s.MetricsProblems[0], "Listen=" + bad + " in [Metrics] of " + s.IniFileName +
                                            " is not HOST:PORT with a port from 0 to 65535");
    }

    install.write("server/BriskoS.ini", "[Job Queue]\nWorkers=3\n");
    const TBriskoIniS none;
    EXPECT_EQ(none.MetricsListen, "") << "no endpoint unless named";
    EXPECT_TRUE(none.MetricsProblems.empty());
}
