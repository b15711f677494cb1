// What a real qvappserver says goes to standard error, a line each with its level for the
// journal (sd-daemon(3) prefixes), the alert-log lines of its server objects among them;
// standard output stays empty. The address remote clients reach it on may come from
// BriskoS.ini instead of the command line.

#include "RemoteFixture.h"

#include <sstream>

using namespace jobtest;

namespace {

class ServerLines : public RemoteServer {
protected:
    // A server with its standard output and error in files of their own, once it says it
    // serves (or has ended).
    std::unique_ptr<Process> launch(const std::vector<std::string>& extra)
    {
        std::vector<std::string> args{"--install", install.dir(), "--poll", "50"};
        args.insert(args.end(), extra.begin(), extra.end());
        const std::string n = std::to_string(started++);
        out = install.path("server-" + n + ".out");
        err = install.path("server-" + n + ".err");
        auto p = std::make_unique<Process>(bin("qvappserver"), args, out, std::map<std::string, std::string>{}, err);
        EXPECT_TRUE(waitFor([&] { return errors().find("serving") != std::string::npos || p->wait(0); })) << errors();
        std::smatch m;
        const std::string said = errors();
        if (std::regex_search(said, m, std::regex(R"(listening on \S+ \(port (\d+))")))
            port = std::stoi(m[1]);
        return p;
    }
    std::string errors() const { return read(err); }
    std::string output() const { return read(out); }
    static std::string read(const std::string& file)
    {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // The level of the first line holding text: 3, 4 or 6; 0 when no line holds it, -1
    // when that line has no level.
    int levelOf(const std::string& text) const
    {
        std::istringstream in(errors());
        for (std::string line; std::getline(in, line);) {
            if (line.find(text) == std::string::npos)
                continue;
            std::smatch m;
            return std::regex_search(line, m, std::regex(R"(^<([0-7])>)")) ? std::stoi(m[1]) : -1;
        }
        return 0;
    }

    std::string out, err;
};

} // namespace

TEST_F(ServerLines, EachLineGoesToStandardErrorWithItsLevelAndStandardOutputStaysEmpty)
{
    install.append("server/BriskoS.ini", "[DBPasswordCtrl]\nListen=127.0.0.1:0\n");
    auto server = launch({});
    ASSERT_GT(port, 0) << "[DBPasswordCtrl] Listen names the address\n" << errors();
    EXPECT_EQ(levelOf("listening on 127.0.0.1:0 (port "), 6) << errors();

    // A stranger's sign-on is refused, a user without the right is refused (a line of the
    // alert log, said as well), a super user acting for another is noted, a job fails.
    EXPECT_THROW(connect(options("DS", "not the secret"))->request(Variant::list({"ECHO", 1})), std::exception);
    Variant u1 = serverObject(connect(options("U001")));
    Job own;
    own.user = "U001";
    EXPECT_EQ(VarToStr(u1.call("Request", {packetOf(own)})), "ERROR");
    Variant ds = serverObject(connect(options("DS")));
    EXPECT_EQ(VarToStr(ds.call("GetPower", {Variant::list({"DEMO", "U001", "QTEST1", ""})})[3]), "N");
    Job failing;
    failing.action = "@fail out of paper";
    const std::string no = VarToStr(ds.call("Request", {packetOf(failing)}));
    ASSERT_TRUE(waitFor([&] { return status(no) == "failed"; })) << errors();
    ASSERT_TRUE(waitFor([&] { return levelOf("job " + no + " run 1 failed") != 0; })) << errors();

    server->signal(SIGTERM);
    ASSERT_TRUE(server->wait(30)) << errors();
    EXPECT_EQ(server->exitCode(), 0) << errors();
    EXPECT_EQ(levelOf("sign-on refused for"), 4) << errors();
    EXPECT_EQ(levelOf("Request refused for user U001 of company 01"), 4) << errors();
    EXPECT_EQ(levelOf("super user DS acts for user U001"), 6) << errors();
    EXPECT_EQ(levelOf("job " + no + " QTEST1 run 1"), 6) << errors();
    EXPECT_EQ(levelOf("job " + no + " run 1 failed: out of paper"), 3) << errors();
    EXPECT_EQ(levelOf(": stopped"), 6) << errors();
    std::istringstream lines(errors());
    for (std::string line; std::getline(lines, line);)
        EXPECT_TRUE(std::regex_search(line, std::regex(R"(^<[346]>\S)"))) << "a line without its level: " << line;
    EXPECT_EQ(output(), "");
}

TEST_F(ServerLines, AListenValueThatIsNoAddressStopsTheStartUnlessTheCommandLineNamesOne)
{
    install.append("server/BriskoS.ini", "[DBPasswordCtrl]\nListen=7211\n");
    auto refused = launch({});
    ASSERT_TRUE(refused->wait(30)) << errors();
    EXPECT_EQ(refused->exitCode(), 1) << errors();
    EXPECT_EQ(levelOf("Listen=7211 in [DBPasswordCtrl] of "), 3) << errors();

    auto winner = launch({"--listen", "127.0.0.1:0"});
    EXPECT_GT(port, 0) << "the command line wins over BriskoS.ini\n" << errors();
    winner->signal(SIGTERM);
    ASSERT_TRUE(winner->wait(30)) << errors();
    EXPECT_EQ(winner->exitCode(), 0) << errors();
}
