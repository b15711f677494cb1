// The application server trusts no one it has not checked, as real qvappserver processes
// on loopback show: what a stranger sends before the sign-on ends in a refusal and the
// server serves the next client and still stops on SIGTERM; a signed-on user acts for
// himself, in his company, with his rights, and changes nothing he may not; and no client
// can starve the others of sign-ons, descriptors or memory.

#include "RemoteFixture.h"

#include <fstream>

using namespace jobtest;

namespace {

std::string bytes(std::initializer_list<int> list)
{
    std::string s;
    for (const int b : list)
        s.push_back(char(b));
    return s;
}

std::string framed(const std::string& payload) { return remote::FrameHeader(payload.size()) + payload; }

// A sign-on ["HELLO", user, "01", "x"] whose user is the raw MessagePack given.
std::string helloWithUser(const std::string& user)
{
    return framed(bytes({0x95, 0x92, 0x00, 0x03, 0xa5}) + "HELLO" + user + bytes({0xa2}) + "01" + bytes({0xa1}) + "x");
}

std::string fileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Every alert log of the server below the installation.
std::string serverLogs(const std::string& dir)
{
    std::string all;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.path().filename().string().rfind("Alert_ReportCounterS_", 0) == 0)
            all += fileBytes(e.path().string());
    return all;
}

long residentKiB(int pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

int openDescriptors(int pid)
{
    int n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd"))
        ++n;
    return n;
}

class RemoteTrust : public RemoteServer {
protected:
    void SetUp() override
    {
        RemoteServer::SetUp();
        // U002 may open and list QTEST1 and WOFB07, neither queue nor run them; DS keeps a
        // scheme; company 02 keeps its books in CORP2.
        sys().executeScript(R"(
            INSERT INTO QVRMA (MA001, MA002, MA005, MA007) VALUES ('U002', '李娜', 'N', 'Y');
            INSERT INTO QVRMA (MA001, MA002, MA005, MA007) VALUES ('U003', '王芳', 'N', 'N');
            INSERT INTO ADMMR VALUES ('U002', 'QTEST1', 'Y', 'Y', 'N', 'N', 'Y', 'N', '');
            INSERT INTO ADMMR VALUES ('U002', 'WOFB07', 'Y', 'Y', 'N', 'N', 'Y', 'N', '');
            INSERT INTO ADMMC VALUES ('02', '第二公司', 'CORP2', 'Y');
            INSERT INTO GENES VALUES ('月结', 'DS', 'QTEST1', '20240101', 'ed01', 'x');
        )");
        DbConnection corp2;
        corp2.openSqlite(install.path("server/data/CORP2.db"), true);
        CreateSchema(corp2, "company");
        corp2.execute("INSERT INTO PURMA (MA001, MA002) VALUES ('S900', '第二公司的供应商')");
    }

    // A raw peer signed on for user of company 01; false when the server refused.
    bool signOn(RawPeer& peer, const std::string& user) { return peer.signOn(user, "01", kSecret, 5).empty(); }

    std::string databases()
    {
        return fileBytes(install.path("server/data/QVSYS.db")) + fileBytes(install.path("server/data/DEMO.db")) +
               fileBytes(install.path("server/data/CORP2.db"));
    }
};

} // namespace

TEST_F(RemoteTrust, WhatAStrangerSendsBeforeTheSignOnIsRefusedAndTheServerServesOnAndStops)
{
    auto server = start();
    const std::string int32Min = bytes({0xd2, 0x80, 0x00, 0x00, 0x00});
    const std::string int32Max = bytes({0xd2, 0x7f, 0xff, 0xff, 0xff});
    const std::map<std::string, std::string> probes{
        {"a two-dimensional user spanning the int range", helloWithUser(bytes({0x91, 0x94}) + int32Min + int32Max + int32Min + int32Max)},
        {"the same with an empty second dimension", helloWithUser(bytes({0x91, 0x94}) + int32Min + int32Max + bytes({0x00, 0xff}))},
        {"a one-dimensional user spanning the int range", helloWithUser(bytes({0x91, 0x92}) + int32Min + int32Max)},
        {"a user that is a number", helloWithUser(bytes({0x05}))},
        {"a user in code page -1", helloWithUser(bytes({0xc7, 0x06, 0x03, 0xff, 0xff, 0xff, 0xff}) + "DS")},
        {"a user of 65 characters", helloWithUser(bytes({0xd9, 65}) + std::string(65, 'U'))},
        {"a request before the sign-on", remote::Frame(Variant::list({"CREATE", "ReportCounterS.dmReportCounter"}))},
        {"a sign-on frame of 2 KiB", framed(std::string(2048, '\x90'))},
    };
    for (const auto& [what, frame] : probes) {
        SCOPED_TRACE(what);
        RawPeer peer(port);
        ASSERT_EQ(remote::MessageName(peer.frame(5)), remote::kGreeting);
        peer.send(frame);
        const Variant answer = peer.frame(5);
        EXPECT_TRUE(answer.isEmpty() || remote::MessageName(answer) == "REFUSED");
        EXPECT_TRUE(answer.isEmpty() || peer.closedByServer(5));
        // The next client is served.
        const auto c = connect(options());
        EXPECT_EQ(VarToStr(echo(*c, "still here")), "still here");
    }
    EXPECT_NE(server->output().find("sign-on refused for a connection from"), std::string::npos) << server->output();
    server->signal(SIGTERM);
    ASSERT_TRUE(server->wait(10)) << "SIGTERM did not stop the server";
    EXPECT_EQ(server->exitCode(), 0);
}

TEST_F(RemoteTrust, ASignedOnUserActsForHimselfInHisCompanyWithHisRightsAndChangesNothingElse)
{
    auto server = start();
    // DS registers a direct run that U002 will try to run as his.
    Variant ds = serverObject(connect(options("DS")));
    const std::string dsRequest = VarToStr(ds.call("Request1", {packetOf(Job{}), "PC-DS"}));
    ASSERT_NE(dsRequest, "ERROR") << VarToStr(ds.call("ErrorDescript"));
    // A super user may act for another, and the log says so.
    Job forU001;
    forU001.user = "U001";
    EXPECT_EQ(VarToStr(ds.call("GetPower", {Variant::list({"DEMO", "U001", "QTEST1", ""})})[3]), "N");

    const std::string before = databases();
    Variant u2 = serverObject(connect(options("U002")));
    const auto refused = [&](const char* member, std::initializer_list<Variant> args, const std::string& why) {
        SCOPED_TRACE(member);
        std::vector<Variant> a(args);
        u2.invoke(member, a);
        EXPECT_NE(VarToStr(u2.call("ErrorDescript")).find(why), std::string::npos) << VarToStr(u2.call("ErrorDescript"));
    };
    Job own;
    own.user = "U002";
    Job asDs;
    refused("Request", {packetOf(own)}, "may not put jobs of QTEST1 into the queue");
    refused("Request", {packetOf(asDs)}, "may not act for user DS");
    refused("Request1", {packetOf(own), "PC-U002"}, "may not run QTEST1 directly");
    refused("ExecSvrDLL",
            {dsRequest, "QTEST1", "", "01", "DS", "QTEST1S.Class1", "B", "DEMO", Variant::list({"ok"}), 1,
             dsRequest.substr(0, 8) + "0001", 3},
            "may not act for user DS");
    refused("ExecSvrDLL",
            {dsRequest, "QTEST1", "", "01", "U002", "QTEST1S.Class1", "B", "DEMO", Variant::list({"ok"}), 1,
             dsRequest.substr(0, 8) + "0001", 3},
            "is not a request of user U002");
    refused("UpdateStatus1", {dsRequest, "", Variant::date(Now())}, "is not a request of user U002");
    refused("ReverseWriteOff", {"01", "DEMO", "B0001", "DS"}, "may not act for user DS");
    refused("ReverseWriteOff", {"01", "DEMO", "B0001", "U002"}, "may not run WOFB07 directly");
    refused("LoadTable", {Variant::list({"DS", "QTEST1"})}, "may not act for user DS");
    refused("InsertConTable", {Variant::list({"新方案", "DS", "20240101", "QTEST1", "ed01", "y", "Y"})},
            "may not act for user DS");
    refused("DeleteConTable", {Variant::list({"月结", "DS", "QTEST1"})}, "may not act for user DS");
    refused("GetPower", {Variant::list({"DEMO", "DS", "QTEST1", ""})}, "may not act for user DS");
    refused("SimpleSQL", {"SELECT MA001 FROM CORP2..PURMA", "MA001", "", ""}, "CORP2 is not the signed-on company's");
    refused("SimpleSQL", {"SELECT MA001 FROM $$PURMA", "MA001", "02", ""}, "signed on for company 01, not 02");
    refused("SimpleSQL", {"SELECT MA001 FROM PURMA", "MA001", "", "CORP2"}, "CORP2 is not company 01's");
    refused("SimpleSQL", {"SELECT MR001 FROM ADMMR", "MR001", "", ""}, "ADMMR");
    refused("SimpleSQL", {"SELECT NCONDITION FROM \"GENES\"", "NCONDITION", "", ""}, "GENES");
    refused("SimpleSQL", {"SELECT name FROM sqlite_master", "name", "", ""}, "sqlite_master");
    refused("ResultConnectString", {"01", ""}, "not served over the network");
    // What is his own he has.
    EXPECT_EQ(VarToStr(u2.call("GetPower", {Variant::list({"DEMO", "U002", "QTEST1", ""})})[1]), "Y");
    EXPECT_TRUE(u2.call("SimpleSQL", {"SELECT MA001 FROM $$PURMA", "MA001", "", ""}).isEmpty());
    EXPECT_EQ(VarToStr(u2.call("ErrorDescript")), "");
    EXPECT_EQ(VarToStr(u2.call("SimpleSQL", {"SELECT MA002 FROM QVRMA WHERE MA001 = 'U002'", "MA002", "", ""})[0][0]),
              "李娜");
    EXPECT_TRUE(databases() == before) << "a refused call changed a database";

    EXPECT_NE(VarToStr(ds.call("Request", {packetOf(forU001)})), "ERROR") << VarToStr(ds.call("ErrorDescript"));
    const std::string logs = serverLogs(install.dir());
    EXPECT_NE(logs.find("super user DS acts for user U001"), std::string::npos) << logs;
    EXPECT_NE(logs.find("Request refused for user U002 of company 01"), std::string::npos) << logs;
}

TEST_F(RemoteTrust, UnansweredCallbacksOfOneUserLeaveRoomForOthersAndSignOnsGoOn)
{
    auto server = start();
    std::vector<std::unique_ptr<RawPeer>> stuck;
    std::vector<Variant> objects;
    const int n = 16;
    for (int i = 0; i < n; ++i) {
        auto peer = std::make_unique<RawPeer>(port);
        ASSERT_TRUE(signOn(*peer, "DS"));
        peer->send(remote::Frame(Variant::list({"CREATE", "ReportCounterS.dmReportCounter"})));
        const Variant made = peer->frame(5);
        ASSERT_EQ(remote::MessageName(made), "OK") << server->output();
        objects.push_back(made[1]);
        stuck.push_back(std::move(peer));
    }
    // Each calls SimpleSQLParts with a receiver it never answers for.
    for (int i = 0; i < n; ++i)
        stuck[std::size_t(i)]->send(remote::Frame(Variant::list(
            {"INVOKEWITH", objects[std::size_t(i)], "SimpleSQLParts",
             Variant::list({"SELECT MA001 FROM QVRMA", "MA001", "", "", Variant(), Variant(), 1}), Variant::list({5})})));
    // Eight run, each waiting for its callback's answer; the other eight wait their turn.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    int called = 0;
    for (auto& peer : stuck)
        called += remote::MessageName(peer->frame(0.3)) == "CALL";
    EXPECT_EQ(called, 8) << server->output();
    // Half the workers wait on DS's callbacks; another user signs on and is served at once.
    RemoteServerOptions o = options("U001");
    o.connectTimeoutMs = 3000;
    o.callTimeoutMs = 3000;
    Variant other = serverObject(connect(o));
    EXPECT_TRUE(other.call("SimpleSQL", {"SELECT MA001 FROM QVRMA", "MA001", "", ""}).isArray());
    const auto fresh = connect(o);
    EXPECT_EQ(VarToStr(echo(*fresh, "served")), "served");
}

TEST_F(RemoteTrust, ObjectsConnectionsAndAnnouncedFramesAreBoundedAndOthersAreServed)
{
    install.append("server/BriskoS.ini", "MaxConnectionsPerAddress=12\nIdleTimeOut=2\n");
    auto server = start();
    {
        RawPeer hoarder(port);
        ASSERT_TRUE(signOn(hoarder, "DS")) << server->output();
        int made = 0;
        std::string refusal;
        for (int i = 0; i < 3000; ++i) {
            hoarder.send(remote::Frame(Variant::list({"CREATE", "ReportCounterS.dmReportCounter"})));
            const Variant answer = hoarder.frame(5);
            if (remote::MessageName(answer) == "OK")
                ++made;
            else
                refusal = VarToStr(answer[1]);
        }
        EXPECT_EQ(made, 256);
        EXPECT_NE(refusal.find("the most one may"), std::string::npos) << refusal;
        EXPECT_LT(openDescriptors(server->pid()), 100);
        EXPECT_EQ(VarToStr(echo(*connect(options()), "served")), "served");
    }
    // Eight signed-on peers announce frames of 128 MiB and send a few bytes of each.
    const long before = residentKiB(server->pid());
    std::vector<std::unique_ptr<RawPeer>> announcers;
    for (int i = 0; i < 8; ++i) {
        auto peer = std::make_unique<RawPeer>(port);
        ASSERT_TRUE(signOn(*peer, "DS"));
        peer->send(remote::FrameHeader(128u * 1024 * 1024) + std::string(4096, '\x90'));
        announcers.push_back(std::move(peer));
    }
    EXPECT_EQ(VarToStr(echo(*connect(options()), "served")), "served");
    EXPECT_LT(residentKiB(server->pid()) - before, 32 * 1024) << "the announced frames took memory";
    // Twelve connections from one address are as many as it may hold: the next is told why.
    // (The clients above may take a moment to be gone on the server's side.)
    std::vector<std::unique_ptr<RawPeer>> crowd;
    for (int tries = 0; crowd.size() + announcers.size() < 12 && tries < 50; ++tries) {
        auto peer = std::make_unique<RawPeer>(port);
        if (remote::MessageName(peer->frame(5)) == remote::kGreeting)
            crowd.push_back(std::move(peer));
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_EQ(crowd.size() + announcers.size(), 12u);
    RawPeer oneTooMany(port);
    const Variant refusedConnection = oneTooMany.frame(5);
    EXPECT_EQ(remote::MessageName(refusedConnection), "REFUSED");
    EXPECT_NE(VarToStr(refusedConnection[1]).find("as many connections from 127.0.0.1"), std::string::npos);
    const std::string told = failureOf([&] { connect(options())->open(); });
    EXPECT_NE(told.find("refused the connection: the application server holds as many connections"), std::string::npos)
        << told;
    crowd.clear();
    // A signed-on connection silent past IdleTimeOut is closed; its client's next call
    // connects again.
    for (auto& peer : announcers)
        EXPECT_TRUE(peer->closedByServer(10));
    announcers.clear();
    const auto idle = connect(options());
    EXPECT_EQ(VarToStr(echo(*idle, "before")), "before");
    std::this_thread::sleep_for(std::chrono::milliseconds(3000));
    EXPECT_EQ(VarToStr(echo(*idle, "after")), "after");
}

TEST_F(RemoteTrust, AnEndpointBoundOutOfRangeStopsTheStartNamingIt)
{
    for (const std::string bad : {"MaxFrameBytes=1", "MaxFrameBytes=lots", "MaxObjectsPerConnection=0"}) {
        SCOPED_TRACE(bad);
        install.write("server/BriskoS.ini", install.read("server/BriskoS.ini") + bad + "\n");
        Process p(bin("qvappserver"), {"--install", install.dir(), "--listen", "127.0.0.1:0"},
                  install.path("bad.out"));
        ASSERT_TRUE(p.wait(20));
        EXPECT_EQ(p.exitCode(), 1);
        EXPECT_NE(p.output().find(bad.substr(0, bad.find('=')) + "=" + bad.substr(bad.find('=') + 1) + " in [DBPasswordCtrl]"),
                  std::string::npos)
            << p.output();
        const std::string ini = install.read("server/BriskoS.ini");
        install.write("server/BriskoS.ini", ini.substr(0, ini.size() - bad.size() - 1));
    }
}

TEST_F(RemoteTrust, TheServerInThisProcessKeepsTheSameChecksForTheHostsSession)
{
    const Variant u2(DispatchPtr(std::make_shared<TdmReportCounter>(settings(), ServerSession{"U002", "01", false, "here"})));
    Job own;
    own.user = "U002";
    EXPECT_EQ(VarToStr(u2.call("Request", {packetOf(own)})), "ERROR");
    EXPECT_NE(VarToStr(u2.call("ErrorDescript")).find("may not put jobs"), std::string::npos);
    EXPECT_NE(VarToStr(u2.call("DeleteConTable", {Variant::list({"月结", "DS", "QTEST1"})})), "");
    EXPECT_EQ(count("SELECT COUNT(*) FROM GENES"), 1);
    // In this process the connection text is there, but never with a password.
    EXPECT_NE(VarToStr(u2.call("ResultConnectString", {"01", ""})).find("QVSYS.db"), std::string::npos);
    // Nobody signed on: no member acts for a user.
    const Variant nobody(DispatchPtr(std::make_shared<TdmReportCounter>(settings())));
    EXPECT_EQ(VarToStr(nobody.call("Request", {packetOf(Job{})})), "ERROR");
    EXPECT_NE(VarToStr(nobody.call("ErrorDescript")).find("nobody has signed on"), std::string::npos);
}

namespace {

class CompanyScopeOnPostgres : public JobFixture {
protected:
    CompanyScopeOnPostgres() : JobFixture(true) {}
};

} // namespace

// On PostgreSQL every company is a schema of one database: another company's is refused by
// either of its names, not only as the dialect's db..table.
TEST_F(CompanyScopeOnPostgres, AnotherCompanysSchemaIsRefusedByEitherName)
{
    {
        DbConnection corp2;
        corp2.openPostgres(pgDb->login("CORP2", true));
        CreateSchema(corp2, "company");
        corp2.execute("INSERT INTO PURMA (MA001, MA002) VALUES ('S900', '第二公司的供应商')");
    }
    sys().execute("INSERT INTO ADMMC VALUES ('02', '第二公司', 'CORP2', 'Y')");
    const Variant ds(DispatchPtr(std::make_shared<TdmReportCounter>(settings(), dsSession())));
    for (const char* sql : {"SELECT MA001 FROM CORP2..PURMA", "SELECT MA001 FROM corp2.purma",
                            "SELECT p.MA001 FROM \"corp2\".PURMA p", "SELECT MA001 FROM public.x"}) {
        EXPECT_TRUE(ds.call("SimpleSQL", {sql, "MA001", "", ""}).isEmpty()) << sql;
        EXPECT_NE(VarToStr(ds.call("ErrorDescript")).find("is not the signed-on company's"), std::string::npos)
            << sql << ": " << VarToStr(ds.call("ErrorDescript"));
    }
    EXPECT_TRUE(ds.call("SimpleSQL", {"SELECT MA001 FROM $$PURMA", "MA001", "", ""}).isEmpty());
    EXPECT_EQ(VarToStr(ds.call("ErrorDescript")), "") << "its own company's table is read, and empty";
}
