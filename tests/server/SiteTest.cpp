// A site made by qvsetup site is served as it is: a real qvappserver on its configuration
// folder answers /health and, over TCP at the address the site's BriskoC.ini names, a
// signed-on SimpleSQL of its first administrator. Bad values and an existing site are
// refused with nothing written; a desk's files name the server and keep logs at home.

#include "RemoteFixture.h"

#include <httplib.h>

using namespace jobtest;

namespace {

constexpr const char* kSiteSecret = "a long secret of this site";

class Site : public ::testing::Test {
protected:
    void SetUp() override
    {
        secretFile = dir.path("secret");
        dir.write("secret", std::string(kSiteSecret) + "\n");
        port = freePort();
    }

    struct Ran {
        int code = -1;
        std::string text;
    };
    Ran qvsetup(const std::vector<std::string>& args)
    {
        Process p(TestBinDir() + "/qvsetup", args, dir.path("setup-" + std::to_string(runs++) + ".out"));
        EXPECT_TRUE(p.wait(120)) << p.output();
        return {p.exitCode(), p.output()};
    }
    // qvsetup site on SQLite in the test's folder, with what extra adds or replaces.
    Ran site(const std::vector<std::string>& extra = {})
    {
        std::vector<std::string> args{"site", "--config", dir.path("etc"), "--state", dir.path("state"), "--logs",
                                      dir.path("log"), "--server-name", "localhost", "--port", std::to_string(port),
                                      "--company", "01", "--company-name", "华东示范电子有限公司", "--admin", "ADM",
                                      "--admin-name", "系统管理员", "--secret-file", secretFile};
        args.insert(args.end(), extra.begin(), extra.end());
        return qvsetup(args);
    }

    // The site's queue server with operators' HTTP on a free port (metricsPort), once it
    // listens for remote clients where BriskoS.ini says.
    std::unique_ptr<Process> serve()
    {
        auto p = std::make_unique<Process>(TestBinDir() + "/qvappserver",
                                           std::vector<std::string>{"--install", dir.path("etc"), "--metrics",
                                                                    "127.0.0.1:0"},
                                           dir.path("server.out"));
        const std::regex said(R"(health and metrics on \S+ \(port (\d+)\))");
        EXPECT_TRUE(waitFor([&] {
            const std::string out = p->output();
            return (std::regex_search(out, said) && out.find("listening on") != std::string::npos) || p->wait(0);
        })) << p->output();
        std::smatch m;
        const std::string out = p->output();
        metricsPort = std::regex_search(out, m, said) ? std::stoi(m[1]) : 0;
        EXPECT_NE(out.find("listening on 0.0.0.0:" + std::to_string(port) + " "), std::string::npos) << out;
        return p;
    }

    int health() const
    {
        httplib::Client http("127.0.0.1", metricsPort);
        http.set_connection_timeout(5);
        const httplib::Result r = http.Get("/health");
        return r && r->body == "ok\n" ? r->status : 0;
    }

    // The application server as a desk reaches it: by what the site's BriskoC.ini names.
    Variant deskServer(const std::string& user, const std::string& company)
    {
        env.set("QV_REGISTRY", dir.path("etc/registry.ini"));
        const TBriskoIniC ini;
        RemoteServerOptions o;
        o.address = VarToStr(ini.Servers.at(0, 0));
        o.port = ini.Servers.at(1, 0).toInt();
        o.secret = ini.ConnectionSecret;
        o.user = user;
        o.company = company;
        o.connectTimeoutMs = 5000;
        o.callTimeoutMs = 20000;
        return Variant(CreateRemoteObject(std::make_shared<RemoteConnection>(o), "ReportCounterS.dmReportCounter"));
    }

    // The administrator's name and super-user flag, his rights in WOFB07, the documents of
    // his company's database: what a signed-on desk reads of a new site.
    void expectTheAdministratorServed()
    {
        Variant server = deskServer("ADM", "01");
        const Variant user = server.call("SimpleSQL", {"SELECT MA002, MA005 FROM QVRMA WHERE MA001 = 'ADM'",
                                                       "MA002,MA005", "", ""});
        ASSERT_TRUE(user.isArray()) << VarToStr(server.call("ErrorDescript"));
        EXPECT_EQ(VarToStr(user[0][0]), "系统管理员");
        EXPECT_EQ(VarToStr(user[0][1]), "Y");
        const Variant power = server.call("GetPower", {Variant::list({"DB01", "ADM", "WOFB07", ""})});
        for (int i = 0; i <= 6; ++i)
            EXPECT_EQ(VarToStr(power[i]), "Y") << "right " << i;
        const Variant open = server.call("SimpleSQL", {"SELECT count(*) AS N FROM $$ACPTA", "N", "", ""});
        ASSERT_TRUE(open.isArray()) << VarToStr(server.call("ErrorDescript"));
        EXPECT_EQ(open[0][0].toInt(), 0) << "a site's company database starts empty";
    }

    void stop(Process& server)
    {
        server.signal(SIGTERM);
        EXPECT_TRUE(server.wait(30)) << server.output();
        EXPECT_EQ(server.exitCode(), 0) << server.output();
    }

    TempInstall dir;
    EnvGuard env;
    std::string secretFile;
    int port = 0;
    int metricsPort = 0;
    int runs = 0;
};

} // namespace

TEST_F(Site, OnSQLiteItsServerAnswersHealthAndItsAdministratorOverTcp)
{
    const Ran made = site();
    ASSERT_EQ(made.code, 0) << made.text;
    EXPECT_NE(made.text.find("Next: qvappserver --install " + dir.path("etc/")), std::string::npos) << made.text;
    EXPECT_TRUE(fs::is_regular_file(dir.path("state/QVSYS.db")));

    auto server = serve();
    ASSERT_GT(metricsPort, 0) << server->output();
    EXPECT_TRUE(waitFor([&] { return health() == 200; })) << server->output();
    expectTheAdministratorServed();
    EXPECT_THROW(deskServer("DS", "01").call("SimpleSQL", {"SELECT 1 AS N", "N", "", ""}), std::exception)
        << "the demo's user is no user of a site";
    stop(*server);
}

TEST_F(Site, ABadValueOrAnExistingSiteIsRefusedAndNothingIsWritten)
{
    const std::map<std::string, std::vector<std::string>> bad{
        {"holds a \";\"", {"--server-name", "db1;db2"}},
        {"--company-name holds a control character", {"--company-name", "华东\n[DBE Setting]"}},
        {"--state holds a line break", {"--state", dir.path("state\nMainDBType=POSTGRESQL")}},
        {"--admin \"A DM\" is not", {"--admin", "A DM"}},
        {"there is no such user", {"--owner", "no-such-user-of-this-machine"}},
    };
    for (const auto& [why, values] : bad) {
        SCOPED_TRACE(why);
        const Ran refused = site(values);
        EXPECT_EQ(refused.code, 1) << refused.text;
        EXPECT_NE(refused.text.find(why), std::string::npos) << refused.text;
        EXPECT_FALSE(fs::exists(dir.path("etc"))) << "nothing is written before every value passed";
        EXPECT_FALSE(fs::exists(dir.path("state")));
    }
    dir.write("short", "too short\n");
    const Ran weak = site({"--secret-file", dir.path("short")});
    EXPECT_EQ(weak.code, 2) << weak.text;
    EXPECT_NE(weak.text.find("shorter than 16 characters"), std::string::npos) << weak.text;

    ASSERT_EQ(site().code, 0);
    const std::string registry = dir.read("etc/registry.ini");
    const std::string system = dir.read("state/QVSYS.db");
    const Ran again = site({"--company-name", "另一家公司"});
    EXPECT_EQ(again.code, 1) << again.text;
    EXPECT_NE(again.text.find("A site is there already: " + dir.path("etc/registry.ini")), std::string::npos)
        << again.text;
    EXPECT_EQ(dir.read("etc/registry.ini"), registry);
    EXPECT_TRUE(dir.read("state/QVSYS.db") == system) << "the databases are kept";
    const Ran replaced = site({"--replace", "--demo-documents", "20"});
    EXPECT_EQ(replaced.code, 0) << replaced.text;
    EXPECT_NE(replaced.text.find("(demo data, 20 documents)"), std::string::npos) << replaced.text;

    // A desk: the same server by name, logs in each user's home, not made twice.
    const std::vector<std::string> desk{"desk", "--config", dir.path("desk"), "--server-name", "localhost", "--port",
                                        std::to_string(port), "--secret", kSiteSecret};
    const Ran deskMade = qvsetup(desk);
    ASSERT_EQ(deskMade.code, 0) << deskMade.text;
    EXPECT_NE(dir.read("desk/registry.ini").find("LogPath=~/.local/state/wofb07/\n"), std::string::npos);
    EXPECT_EQ(dir.read("desk/client/BriskoC.ini").substr(dir.read("desk/client/BriskoC.ini").find("[Server")),
              dir.read("etc/client/BriskoC.ini").substr(dir.read("etc/client/BriskoC.ini").find("[Server")));
    EXPECT_EQ(qvsetup(desk).code, 1);
}

namespace {

class SiteOnPostgres : public Site {
protected:
    void SetUp() override
    {
        QV_SKIP_WITHOUT_PG();
        Site::SetUp();
        pg = std::make_unique<PgTestDatabase>();
    }
    std::unique_ptr<PgTestDatabase> pg;
};

} // namespace

TEST_F(SiteOnPostgres, ItsServerAnswersHealthAndItsAdministratorOverTcp)
{
    const DbServerLogin l = PgTestLogin(pg->name());
    const Ran made = site({"--database", "postgresql", "--server",
                           "Host=" + l.host + ";Port=" + l.port + ";Database=" + l.database + ";User=" + l.user +
                               (l.password.empty() ? "" : ";Password=" + l.password)});
    ASSERT_EQ(made.code, 0) << made.text;
    EXPECT_NE(made.text.find("schemas qvsys and db01 of " + l.database), std::string::npos) << made.text;
    EXPECT_FALSE(fs::exists(dir.path("state/QVSYS.db")));

    auto server = serve();
    ASSERT_GT(metricsPort, 0) << server->output();
    EXPECT_TRUE(waitFor([&] { return health() == 200; })) << server->output();
    expectTheAdministratorServed();
    stop(*server);
}
