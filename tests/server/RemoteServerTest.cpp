// The application server over TCP, as real qvappserver processes on loopback: every kind
// and shape of value comes back as it went, the server object's members answer remote
// clients as they answer in-process ones, and every fault a user can meet (no server, a
// server killed during a call, a call past the time limit, a peer that never answers,
// garbage and oversized frames, a wrong secret) ends in a clear error, never a hang,
// while the server goes on serving everyone else.

#include "RemoteFixture.h"

using namespace jobtest;

TEST_F(RemoteServer, EveryKindAndShapeComesBackAsItWent)
{
    auto server = start();
    ASSERT_GT(port, 0);
    auto c = connect(options());

    Variant grid = Variant::array2(-1, 1, 3, 6);
    for (int i = -1; i <= 1; ++i)
        for (int j = 3; j <= 6; ++j)
            grid.at(i, j) = (i + j) % 2 ? Variant(i * 10 + j) : Variant("格" + std::to_string(i) + std::to_string(j));
    Variant deep = Variant("bottom");
    for (int i = 0; i < 40; ++i)
        deep = Variant::list({deep, i});
    Variant rows = Variant::array(0, 499);
    for (int r = 0; r <= 499; ++r)
        rows[r] = Variant::list({r, "供应商" + std::to_string(r), Variant::null(), Variant::date(45000.5 + r)});

    const std::vector<Variant> values{
        Variant(), Variant::null(), Variant(true), Variant(false),
        Variant(0), Variant(-1), Variant(std::numeric_limits<std::int32_t>::min()),
        Variant(std::numeric_limits<std::int32_t>::max()), Variant(std::int64_t(5)),
        Variant(std::numeric_limits<std::int64_t>::min()), Variant(std::int64_t(1) << 40),
        Variant(0.1), Variant(-0.0), Variant(2.0), Variant(-3.0), Variant(1e308), Variant(std::numeric_limits<double>::infinity()),
        Variant::date(0), Variant::date(45351.75), Variant::date(-693593.0),
        Variant(""), Variant("应付账款转销作业"), Variant(std::string("a\0b", 3)), Variant("\r\n\x03\x04 trailing  "),
        Variant(std::string(70000, 'x')), Variant::ansi("\xd3\xa6\xb8\xb6", 936), Variant::ansi("", 950),
        Variant::array(0, -1), Variant::array(1, 3), Variant::array(-5, -5), Variant::array2(0, 1, 0, -1),
        Variant::list({Variant(), Variant::null(), "x", Variant::list({1, Variant::list({std::int64_t(2)})})}),
        Variant::list({"\x04", "20240101", "20240131"}), Variant::list({"\x05", "S001", "S003", "S009"}),
        grid, deep, rows};
    for (std::size_t i = 0; i < values.size(); ++i) {
        const Variant back = echo(*c, values[i]);
        EXPECT_TRUE(sameExactly(back, values[i])) << "value " << i << " (" << values[i].typeName() << ") came back as "
                                                  << back.typeName();
    }
    Variant nan = echo(*c, Variant(std::nan("")));
    EXPECT_TRUE(std::isnan(nan.toDouble()));
    // The whole list at once, as one argument among others.
    EXPECT_TRUE(sameExactly(echo(*c, Variant::list(values)), Variant::list(values)));
}

TEST_F(RemoteServer, TheServerObjectAnswersRemoteClientsAsItAnswersInProcess)
{
    auto server = start();
    ASSERT_GT(port, 0);
    Variant remoteServer = serverObject(connect(options()));

    EXPECT_EQ(remoteServer.call("SQLType").toInt(), client->SQLType());
    const Variant rows = remoteServer.call("SimpleSQL", {"SELECT MA001, MA002 FROM QVRMA WHERE MA001 = :U", "MA002,MA001",
                                                        "01", "DEMO", Variant::list({Variant::list({"U", "U001"})})});
    ASSERT_TRUE(rows.isArray());
    EXPECT_TRUE(sameExactly(rows, client->SimpleSQL("SELECT MA001, MA002 FROM QVRMA WHERE MA001 = :U", "MA002,MA001", "01",
                                                    "DEMO", Variant::list({Variant::list({"U", "U001"})}))));
    EXPECT_EQ(VarToStr(rows[0][0]), "张伟");
    // Empty apart from Null: no row is Empty, a null value in a row stays Null.
    EXPECT_TRUE(remoteServer.call("SimpleSQL", {"SELECT MA001 FROM QVRMA WHERE MA001 = 'NOBODY'", "MA001", "01", "DEMO"})
                    .isEmpty());
    EXPECT_TRUE(remoteServer.call("SimpleSQL", {"SELECT NULL AS N", "N", "01", "DEMO"})[0][0].isNull());
    // A failure is told by ErrorDescript of the same remote object.
    EXPECT_TRUE(remoteServer.call("SimpleSQL", {"DELETE FROM QVRMA", "", "01", "DEMO"}).isEmpty());
    EXPECT_FALSE(VarToStr(remoteServer.call("ErrorDescript")).empty());
    EXPECT_TRUE(remoteServer.call("SimpleSQL", {"SELECT 1 AS N", "N", "01", "DEMO"}).isArray());
    EXPECT_EQ(VarToStr(remoteServer.call("ErrorDescript")), "");

    const Variant power = remoteServer.call("GetPower", {Variant::list({"DEMO", "DS", "QTEST1", ""})});
    ASSERT_TRUE(power.isArray());
    EXPECT_EQ(VarToStr(power[6]), "Y") << "DS is a super user";

    // Condition schemes: saved, chosen and read back through the remote object's own state.
    Variant saved = Variant::list({"月末", "DS", "20240301", "QTEST1", "ed01.Text", "20240301", false});
    EXPECT_EQ(VarToStr(remoteServer.call("InsertConTable", {saved})), "");
    Variant choose = Variant::list({"DS", "QTEST1"});
    std::vector<Variant> loadArgs{choose};
    EXPECT_EQ(VarToStr(remoteServer.invoke("LoadTable", loadArgs)), "");
    EXPECT_TRUE(sameExactly(loadArgs[0], choose)) << "an argument by reference comes back as the member left it";
    const Variant records = remoteServer.call("AS_GetRecords", {"pvdConSave"});
    ASSERT_TRUE(records.isArray());
    ASSERT_TRUE(records[1].isArray());
    EXPECT_EQ(records[1].count(), 1);
    EXPECT_EQ(VarToStr(remoteServer.call("ChangeConName", {Variant::list({"月末", "DS", "QTEST1"}),
                                                           Variant::list({"季末", "DS", "QTEST1"})})),
              "");
    EXPECT_EQ(VarToStr(remoteServer.call("DeleteConTable", {Variant::list({"季末", "DS", "QTEST1"})})), "");

    // A member the object does not have fails with the server's words; the connection stays.
    EXPECT_NE(failureOf([&] { remoteServer.call("NoSuchMember"); }).find("NoSuchMember"), std::string::npos);
    EXPECT_EQ(remoteServer.call("SQLType").toInt(), client->SQLType());
    // Only the application server object is served.
    auto c = connect(options());
    EXPECT_NE(failureOf([&] { c->request(Variant::list({"CREATE", "VostelWorkCenter.Manager"})); })
                  .find("ReportCounterS.dmReportCounter"),
              std::string::npos);
}

TEST_F(RemoteServer, ADirectRunGoesThroughExecSvrDLLOnTheServer)
{
    auto server = start();
    ASSERT_GT(port, 0);
    Variant remoteServer = serverObject(connect(options()));
    std::string no;
    EXPECT_EQ(execDirect(remoteServer, "@ok", &no), "");
    EXPECT_EQ(status(no), "done");
    const auto runs = runLog();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0][0], no) << "the server library ran in the server with the request number";
    EXPECT_EQ(VarToStr(remoteServer.call("UpdateStatus1", {no, "", Variant::date(Now())})), "");

    EXPECT_EQ(execDirect(remoteServer, "@fail 供应商余额不足"), "供应商余额不足");
    EXPECT_EQ(VarToStr(remoteServer.call("ErrorDescript")), "供应商余额不足");
}

TEST_F(RemoteServer, ByReferenceArgumentsComeBackChanged)
{
    // The endpoint of qvappserver, here on an object whose member writes its arguments.
    class Writer : public DispatchObject {
    public:
        Writer()
        {
            defineMethod("Bump", [](std::span<Variant> args) {
                args[0] = Variant(args[0].toInt() + 1);
                Variant grid = Variant::array2(1, 2, 0, 1);
                grid.at(1, 0) = Variant::null();
                grid.at(2, 1) = "改";
                args[1] = grid;
                args[2] = Variant();
                return Variant("done");
            });
        }
    };
    const auto endpoint = serve([] { return std::make_shared<Writer>(); });
    Variant writer(CreateRemoteObject(connect(options()), "Writer"));
    std::vector<Variant> args{41, "old", Variant::null(), "kept"};
    EXPECT_EQ(VarToStr(writer.invoke("Bump", args)), "done");
    EXPECT_TRUE(sameExactly(args[0], Variant(42)));
    ASSERT_TRUE(args[1].isArray());
    EXPECT_EQ(args[1].dimCount(), 2);
    EXPECT_TRUE(args[1].at(1, 0).isNull());
    EXPECT_TRUE(args[1].at(1, 1).isEmpty());
    EXPECT_EQ(VarToStr(args[1].at(2, 1)), "改");
    EXPECT_TRUE(args[2].isEmpty()) << "Null made Empty stays Empty";
    EXPECT_TRUE(sameExactly(args[3], Variant("kept")));
}

TEST_F(RemoteServer, ACallbackArgumentRunsOnTheClientWhileItsCallRuns)
{
    // A member that feeds rows to the receiver it is given until the receiver says stop,
    // one that keeps its receiver, and one that calls the kept one later.
    class Feeder : public DispatchObject {
    public:
        Feeder()
        {
            defineMethod("Feed", [](std::span<Variant> args) {
                int fed = 0;
                std::string failed;
                try {
                    for (int i = 0; i < args[1].toInt(); ++i, ++fed)
                        if (!args[0].call("Rows", {Variant::list({i, "行" + std::to_string(i)})}).toBool()) {
                            ++fed;
                            break;
                        }
                } catch (const AutomationError& e) {
                    failed = e.what();
                }
                args[2] = Variant("fed");
                return failed.empty() ? Variant(fed) : Variant(failed);
            });
            defineMethod("Keep", [this](std::span<Variant> args) {
                kept_ = args[0];
                return Variant();
            });
            defineMethod("CallKept", [this](std::span<Variant>) {
                try {
                    kept_.call("Rows", {1});
                } catch (const AutomationError& e) {
                    return Variant(std::string(e.what()));
                }
                return Variant("(answered)");
            });
        }

    private:
        Variant kept_;
    };
    const auto endpoint = serve([] { return std::make_shared<Feeder>(); });
    auto connection = connect(options());
    Variant feeder(CreateRemoteObject(connection, "Feeder"));
    EXPECT_TRUE(TakesCallbacks(*feeder.toDispatch()));

    std::vector<Variant> seen;
    int stopAt = 1000;
    std::string raise;
    const Variant receiver(MakeCallbackObject("Rows", [&](std::span<Variant> args) {
        seen.push_back(args[0]);
        if (!raise.empty())
            throw AutomationError(raise);
        return Variant(int(seen.size()) < stopAt);
    }));
    std::vector<Variant> args{receiver, 5, "before"};
    EXPECT_EQ(feeder.invoke("Feed", args).toInt(), 5);
    ASSERT_EQ(seen.size(), 5u);
    EXPECT_TRUE(sameExactly(seen[3], Variant::list({3, "行3"}))) << "the callback's arguments arrive as they went";
    EXPECT_TRUE(args[0].isDispatch()) << "the client keeps its callback";
    EXPECT_EQ(VarToStr(args[2]), "fed") << "the other arguments come back as the member left them";

    // The callback's answer reaches the member: False stops it.
    seen.clear();
    stopAt = 2;
    args = {receiver, 5, ""};
    EXPECT_EQ(feeder.invoke("Feed", args).toInt(), 2);
    EXPECT_EQ(seen.size(), 2u);

    // A callback that fails tells the member why, and the connection goes on.
    seen.clear();
    raise = "列表已满";
    args = {receiver, 5, ""};
    EXPECT_EQ(VarToStr(feeder.invoke("Feed", args)), "列表已满");
    EXPECT_EQ(seen.size(), 1u);
    raise.clear();
    const Variant unsendable(MakeCallbackObject("Rows", [&](std::span<Variant>) { return receiver; }));
    args = {unsendable, 1, ""};
    EXPECT_FALSE(VarToStr(feeder.invoke("Feed", args)).empty()) << "an answer that cannot travel is a failure";

    // Kept past its call, a callback is not answered: the client is not listening then.
    args = {receiver};
    feeder.invoke("Keep", args);
    seen.clear();
    EXPECT_NE(VarToStr(feeder.call("CallKept")).find("only while the call that passed it runs"), std::string::npos);
    EXPECT_TRUE(seen.empty());
    stopAt = 1000;
    args = {receiver, 3, ""};
    EXPECT_EQ(feeder.invoke("Feed", args).toInt(), 3) << "the connection still works";

    // Objects that are no remote proxies take no callbacks over the network.
    EXPECT_FALSE(TakesCallbacks(*receiver.toDispatch()));
}

TEST_F(RemoteServer, ACallbackNotAnsweredInTimeClosesThatConnectionAndTheNextCallWorks)
{
    class Caller : public DispatchObject {
    public:
        Caller(std::string* heard, std::mutex* mutex)
        {
            defineMethod("Ask", [heard, mutex](std::span<Variant> args) {
                try {
                    return args[0].call("Rows", {1});
                } catch (const AutomationError& e) {
                    std::lock_guard lock(*mutex);
                    *heard = e.what();
                    throw;
                }
            });
        }
    };
    std::string heard;
    std::vector<std::string> log;
    std::mutex logMutex;   // both
    const auto endpoint = serve([&] { return std::make_shared<Caller>(&heard, &logMutex); }, [&](RemoteEndpointOptions& o) {
        o.callbackTimeoutMs = 200;
        o.report = [&](LogLevel, const std::string& line) {
            std::lock_guard lock(logMutex);
            log.push_back(line);
        };
    });
    auto connection = connect(options());
    Variant caller(CreateRemoteObject(connection, "Caller"));
    bool slow = true;
    const Variant receiver(MakeCallbackObject("Rows", [&](std::span<Variant>) {
        if (slow)
            std::this_thread::sleep_for(std::chrono::milliseconds(800));
        return Variant("answered");
    }));
    EXPECT_NE(failureOf([&] { caller.call("Ask", {receiver}); }), "(no failure)");
    // The member hears it on the server, maybe only after the client saw the line close.
    EXPECT_TRUE(waitFor([&] {
        std::lock_guard lock(logMutex);
        return heard.find("did not answer a callback within the time limit") != std::string::npos;
    }));
    {
        std::lock_guard lock(logMutex);
        EXPECT_NE(std::find_if(log.begin(), log.end(), [](const std::string& l) {
                      return l.find("no answer to a callback in time") != std::string::npos;
                  }), log.end());
    }
    slow = false;
    EXPECT_EQ(VarToStr(caller.call("Ask", {receiver})), "answered") << "the next call connects again";
}

TEST_F(RemoteServer, SimpleSQLPartsHandsAClientElsewhereItsAnswerInParts)
{
    auto server = start();
    ASSERT_GT(port, 0);
    Variant remoteServer = serverObject(connect(options()));
    const std::string sql = "SELECT MA001, MA002 FROM QVRMA ORDER BY MA001";
    const Variant whole = remoteServer.call("SimpleSQL", {sql, "MA001,MA002", "01", "DEMO"});
    ASSERT_TRUE(whole.isArray());
    ASSERT_GE(whole.count(), 2);
    std::vector<int> sizes;
    std::vector<Variant> rows;
    const Variant receiver(MakeCallbackObject("Rows", [&](std::span<Variant> args) {
        sizes.push_back(args[0].count());
        for (const Variant& row : args[0].elements())
            rows.push_back(row);
        return Variant(true);
    }));
    const Variant count = remoteServer.call("SimpleSQLParts", {sql, "MA001,MA002", "01", "DEMO", Variant(), receiver, 1});
    EXPECT_EQ(count.toInt(), whole.count());
    EXPECT_EQ(sizes, std::vector<int>(std::size_t(whole.count()), 1)) << "parts of one row each";
    EXPECT_TRUE(sameExactly(Variant::list(rows), whole)) << "the parts make the answer SimpleSQL gives";
}

TEST_F(RemoteServer, AServerWithoutCallbacksRefusesACallThatPassesOne)
{
    // A server of the protocol before callbacks: its greeting names no features.
    const int listener = loopbackSocket(1, port);
    ASSERT_GE(listener, 0);
    std::thread old([listener] {
        const int fd = ::accept(listener, nullptr, nullptr);
        const auto send = [fd](const Variant& v) {
            const std::string f = remote::Frame(v);
            (void)!::write(fd, f.data(), f.size());
        };
        const auto receive = [fd] {
            unsigned char h[remote::kHeaderBytes];
            if (::recv(fd, h, sizeof h, MSG_WAITALL) != ssize_t(sizeof h))
                return Variant();
            std::string payload(remote::FrameLength(h), '\0');
            if (!payload.empty() && ::recv(fd, payload.data(), payload.size(), MSG_WAITALL) != ssize_t(payload.size()))
                return Variant();
            return DecodeWireValue(payload);
        };
        send(Variant::list({remote::kGreeting, remote::kProtocolVersion, std::string(32, 'a'), false}));
        for (Variant m = receive(); !m.isEmpty(); m = receive()) {
            const std::string name = remote::MessageName(m);
            send(name == "CREATE" ? Variant::list({"OK", 1})
                 : name == "INVOKE" ? Variant::list({"OK", "whole", m[3]})
                                    : Variant::list({"OK"}));
        }
        ::close(fd);
    });
    {
        auto connection = connect(options());
        Variant server(CreateRemoteObject(connection, "ReportCounterS.dmReportCounter"));
        EXPECT_FALSE(TakesCallbacks(*server.toDispatch()));
        const Variant receiver(MakeCallbackObject("Rows", [](std::span<Variant>) { return Variant(true); }));
        EXPECT_NE(failureOf([&] { server.call("SimpleSQLParts", {"SELECT 1", "N", "01", "DEMO", Variant(), receiver, 2}); })
                      .find("takes no callbacks"),
                  std::string::npos);
        EXPECT_EQ(VarToStr(server.call("SimpleSQL", {"SELECT 1", "N", "01", "DEMO"})), "whole") << "other calls go on";
        connection->close();
    }
    old.join();
    ::close(listener);
}

TEST_F(RemoteServer, NoServerAndAPeerThatNeverAnswersFailClearlyAndInTime)
{
    port = freePort();
    auto c = connect(options());
    const std::string none = failureOf([&] { c->open(); });
    EXPECT_NE(none.find("cannot be reached"), std::string::npos) << none;
    EXPECT_NE(none.find("127.0.0.1:" + std::to_string(port)), std::string::npos) << none;

    // A listener that takes connections (the system completes them) and never says a word.
    const int fd = loopbackSocket(4, port);
    ASSERT_GE(fd, 0);
    RemoteServerOptions o = options();
    o.connectTimeoutMs = 300;
    auto silent = connect(o);
    const auto begin = std::chrono::steady_clock::now();
    const std::string mute = failureOf([&] { silent->open(); });
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(5)) << "bounded by the time limit";
    EXPECT_NE(mute.find("did not answer within the time limit"), std::string::npos) << mute;
    EXPECT_FALSE(silent->isOpen());
    ::close(fd);
}

TEST_F(RemoteServer, AServerKilledDuringACallFailsThatCallAndTheNextOneReconnects)
{
    auto server = start();
    ASSERT_GT(port, 0);
    const int samePort = port;
    Variant remoteServer = serverObject(connect(options()));
    ASSERT_EQ(remoteServer.call("SQLType").toInt(), client->SQLType());

    std::thread killer([&] {
        waitFor([&] { return count("SELECT count(*) FROM ADMJB WHERE JB010 = 'running'") > 0; }, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        server->signal(SIGKILL);
    });
    const std::string broken = failureOf([&] { execDirect(remoteServer, "@sleep 20000"); });
    killer.join();
    EXPECT_NE(broken.find("broke during the call"), std::string::npos) << broken;
    EXPECT_NE(broken.find("next call connects again"), std::string::npos) << broken;

    // While nothing listens the call says so; once a server is back the same object works.
    ASSERT_TRUE(server->wait(10));
    const std::string gone = failureOf([&] { remoteServer.call("SQLType"); });
    EXPECT_NE(gone.find("cannot be reached"), std::string::npos) << gone;
    auto again = start(samePort);
    ASSERT_EQ(port, samePort) << again->output();
    EXPECT_EQ(remoteServer.call("SQLType").toInt(), client->SQLType());
}

TEST_F(RemoteServer, ACallPastTheTimeLimitIsGivenUpAndTheNextCallWorks)
{
    auto server = start();
    ASSERT_GT(port, 0);
    RemoteServerOptions o = options();
    o.callTimeoutMs = 400;
    Variant remoteServer = serverObject(connect(o));
    const auto begin = std::chrono::steady_clock::now();
    const std::string slow = failureOf([&] { execDirect(remoteServer, "@sleep 3000"); });
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(2500));
    EXPECT_NE(slow.find("did not answer within the time limit"), std::string::npos) << slow;
    EXPECT_EQ(remoteServer.call("SQLType").toInt(), client->SQLType());
}

TEST_F(RemoteServer, GarbageAndOversizedFramesCloseThatConnectionAloneAndTheServerServesOn)
{
    auto server = start();
    ASSERT_GT(port, 0);
    auto good = connect(options());
    ASSERT_TRUE(sameExactly(echo(*good, "before"), Variant("before")));

    auto signedOn = [&](RawPeer& p) {
        const Variant greeting = p.frame();
        ASSERT_EQ(remote::MessageName(greeting), "QVAS");
        const std::string challenge = VarToStr(greeting[2]);
        p.send(remote::Frame(Variant::list({"HELLO", "DS", "01", remote::AuthProof(kSecret, challenge, "DS", "01")})));
        ASSERT_EQ(remote::MessageName(p.frame()), "OK");
    };
    {
        RawPeer huge(port);
        ASSERT_TRUE(huge.connected());
        signedOn(huge);
        huge.send(std::string("\xff\xff\xff\xf0", 4) + "tiny");
        EXPECT_TRUE(huge.closedByServer());
    }
    {
        RawPeer garbage(port);
        signedOn(garbage);
        garbage.send(remote::FrameHeader(6) + "\xc1\xc1\xc1\xc1\xc1\xc1");
        EXPECT_TRUE(garbage.closedByServer());
    }
    {
        // A forged array count far beyond the frame's bytes.
        RawPeer forged(port);
        signedOn(forged);
        forged.send(remote::FrameHeader(5) + std::string("\xdd\x7f\xff\xff\xff", 5));
        EXPECT_TRUE(forged.closedByServer());
    }
    {
        // A stranger gets no large buffer: a frame of a megabyte before the sign-on.
        RawPeer stranger(port);
        stranger.frame();
        stranger.send(remote::FrameHeader(1 << 20));
        EXPECT_TRUE(stranger.closedByServer());
    }
    {
        // Garbage before the sign-on, and a frame that stops halfway.
        RawPeer early(port);
        early.frame();
        early.send("GET / HTTP/1.1\r\nHost: x\r\n\r\n");
        EXPECT_TRUE(early.closedByServer());
        RawPeer half(port);
        signedOn(half);
        half.send(remote::FrameHeader(100) + "only a part");
    }
    {
        // A request before the sign-on is refused and closed.
        RawPeer eager(port);
        eager.frame();
        eager.send(remote::Frame(Variant::list({"CREATE", "ReportCounterS.dmReportCounter"})));
        EXPECT_EQ(remote::MessageName(eager.frame()), "REFUSED");
        EXPECT_TRUE(eager.closedByServer());
    }
    EXPECT_TRUE(sameExactly(echo(*good, "after"), Variant("after"))) << "the first connection was never disturbed";
    EXPECT_TRUE(server->running());
    const std::string log = server->output();
    EXPECT_NE(log.find("more than the limit"), std::string::npos) << log;
    EXPECT_NE(log.find("Malformed value"), std::string::npos) << log;
}

TEST_F(RemoteServer, AWrongSecretOrAnUnknownUserIsRefusedAndLoggedOnTheServer)
{
    auto server = start();
    ASSERT_GT(port, 0);
    auto wrong = connect(options("DS", "guessed"));
    const std::string refused = failureOf([&] { wrong->open(); });
    EXPECT_NE(refused.find("refused the connection"), std::string::npos) << refused;
    EXPECT_NE(refused.find("secret"), std::string::npos) << refused;
    EXPECT_FALSE(wrong->isOpen());
    auto stranger = connect(options("NOBODY"));
    EXPECT_NE(failureOf([&] { stranger->open(); }).find("NOBODY is unknown"), std::string::npos);

    EXPECT_TRUE(waitFor([&] { return server->output().find("sign-on refused for user NOBODY") != std::string::npos; }));
    const std::string log = server->output();
    EXPECT_NE(log.find("sign-on refused for user DS of company 01 from 127.0.0.1"), std::string::npos) << log;
    EXPECT_NE(log.find("the installation secret does not match"), std::string::npos) << log;
    // The one with the secret works beside them.
    auto right = connect(options());
    EXPECT_TRUE(sameExactly(echo(*right, 7), Variant(7)));
}

TEST_F(RemoteServer, ListeningNeedsASecretAndAnAddress)
{
    Process bad(bin("qvappserver"), {"--install", install.dir(), "--listen", "nowhere"}, install.path("bad.out"));
    ASSERT_TRUE(bad.wait(30));
    EXPECT_EQ(bad.exitCode(), 2);
    EXPECT_NE(bad.output().find("--listen takes ADDRESS:PORT"), std::string::npos);

    install.write("server/BriskoS.ini", "[DBE Setting]\nMainDBType=SQLITE\nMainServerName=data\nMainDBName=QVSYS\n");
    Process open(bin("qvappserver"), {"--install", install.dir(), "--listen", "127.0.0.1:0"}, install.path("open.out"));
    ASSERT_TRUE(open.wait(30));
    EXPECT_EQ(open.exitCode(), 1);
    EXPECT_NE(open.output().find("ConnectionSecret"), std::string::npos) << open.output();
}

namespace {

// A self-signed certificate for 127.0.0.1 and its key, made by the openssl program.
bool makeCertificate(const std::string& cert, const std::string& key)
{
    const std::string command = "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 "
                                "-addext subjectAltName=IP:127.0.0.1 -keyout '" +
                                key + "' -out '" + cert + "' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

} // namespace

TEST_F(RemoteServer, WithACertificateAndKeyEveryConnectionUsesTls)
{
    const std::string cert = install.path("server/tls.crt"), key = install.path("server/tls.key");
    const std::string other = install.path("other.crt"), otherKey = install.path("other.key");
    ASSERT_TRUE(makeCertificate(cert, key) && makeCertificate(other, otherKey)) << "the openssl program is needed";
    install.append("server/BriskoS.ini", "TlsCertificate=tls.crt\nTlsKey=" + key + "\n");
    auto server = start();
    ASSERT_GT(port, 0) << server->output();
    EXPECT_NE(server->output().find(", TLS)"), std::string::npos) << server->output();

    RemoteServerOptions o = options();
    o.tlsTrustFile = cert;
    auto c = connect(o);
    const Variant texts = Variant::list({"应付账款", std::string(100000, 'z'), Variant::null()});
    EXPECT_TRUE(sameExactly(echo(*c, texts), texts));
    Variant remoteServer = serverObject(c);
    EXPECT_EQ(VarToStr(remoteServer.call("SimpleSQL", {"SELECT MA002 FROM QVRMA WHERE MA001 = 'U001'", "MA002", "01",
                                                       "DEMO"})[0][0]),
              "张伟");

    const std::string plain = failureOf([&] { connect(options())->open(); });
    EXPECT_NE(plain.find("takes TLS connections only"), std::string::npos) << plain;
    RemoteServerOptions stranger = options();
    stranger.tlsTrustFile = other;
    const std::string untrusted = failureOf([&] { connect(stranger)->open(); });
    EXPECT_NE(untrusted.find("TLS handshake"), std::string::npos) << untrusted;
    stranger.tlsTrustFile = install.path("missing.crt");
    EXPECT_NE(failureOf([&] { connect(stranger)->open(); }).find("cannot be read"), std::string::npos);

    // A peer that answers the greeting in plain text is closed; the TLS client goes on.
    RawPeer raw(port);
    raw.frame();
    raw.send(remote::Frame(Variant::list({"HELLO", "DS", "01", "x"})));
    EXPECT_TRUE(raw.closedByServer());
    EXPECT_TRUE(sameExactly(echo(*c, 1), Variant(1)));
    EXPECT_TRUE(waitFor([&] { return server->output().find("TLS handshake failed") != std::string::npos; }));
}

TEST_F(RemoteServer, AClientThatAsksForTlsRefusesAServerWithout)
{
    auto server = start();
    ASSERT_GT(port, 0);
    RemoteServerOptions o = options();
    o.tlsTrustFile = install.path("any.crt");
    const std::string refused = failureOf([&] { connect(o)->open(); });
    EXPECT_NE(refused.find("does not offer TLS"), std::string::npos) << refused;

    install.append("server/BriskoS.ini", "TlsCertificate=only-a-certificate.crt\n");
    Process half(bin("qvappserver"), {"--install", install.dir(), "--listen", "127.0.0.1:0"}, install.path("half.out"));
    ASSERT_TRUE(half.wait(30));
    EXPECT_EQ(half.exitCode(), 1);
    EXPECT_NE(half.output().find("both a certificate and its private key"), std::string::npos) << half.output();
}

TEST(ListenAddress, TakesHostAndPortOfBothFamilies)
{
    std::string host;
    int port = 0;
    EXPECT_TRUE(ParseListenAddress("0.0.0.0:211", host, port));
    EXPECT_EQ(host, "0.0.0.0");
    EXPECT_EQ(port, 211);
    EXPECT_TRUE(ParseListenAddress("[::1]:7000", host, port));
    EXPECT_EQ(host, "::1");
    EXPECT_EQ(port, 7000);
    for (const char* bad : {"", "211", ":211", "host:", "host:99999", "host:2x", "::1:80", "[::1]80"})
        EXPECT_FALSE(ParseListenAddress(bad, host, port)) << bad;
}

namespace {

class FaultRemoteServer : public RemoteServer {};

} // namespace

TEST_F(FaultRemoteServer, ADirectRunWhoseServerIsKilledFailsTheCallAndEndsFailedAfterTheRestart)
{
    RecordProperty("tried", "qvappserver killed (SIGKILL) while it runs a direct run's server library, then started "
                            "again");
    auto server = start();
    ASSERT_GT(port, 0);
    const int samePort = port;
    Variant remoteServer = serverObject(connect(options()));
    std::string no;
    std::thread killer([&] {
        waitFor([&] { return runLog().size() == 1; }, 10);
        server->signal(SIGKILL);
    });
    const std::string broken = failureOf([&] { execDirect(remoteServer, "@sleep 20000", &no); });
    killer.join();
    EXPECT_NE(broken.find("broke during the call"), std::string::npos) << broken;
    ASSERT_TRUE(server->wait(10));
    EXPECT_EQ(status(no), "running") << "nobody has looked yet";

    auto again = start(samePort);
    ASSERT_EQ(port, samePort) << again->output();
    ASSERT_TRUE(waitFor([&] { return status(no) == "failed"; }, 30)) << again->output();
    EXPECT_NE(VarToStr(sys().scalar("SELECT JB022 FROM ADMJB WHERE JB001 = :N", {{"N", no}})).find("stopped during "
                                                                                                    "the direct run"),
              std::string::npos);
    EXPECT_EQ(runLog().size(), 1u) << "a direct run is not run again by the server";
    EXPECT_EQ(execDirect(remoteServer, "@ok"), "") << "the client's next run works";
}
