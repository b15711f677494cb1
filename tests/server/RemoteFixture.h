#pragma once
// Real qvappserver processes and in-process endpoints on loopback for the remote tests, and
// a raw TCP peer for what no well-behaved client sends.

#include "JobFixture.h"
#include "LoopbackPeer.h"
#include "wire/RemoteClient.h"
#include "wire/RemoteProtocol.h"
#include "wire/WireCodec.h"
#include "server/RemoteEndpoint.h"
#include "support/BriskoINI.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <cmath>
#include <regex>
#include <thread>

namespace jobtest {

inline constexpr const char* kSecret = "s3cret-of-this-installation";

// Kinds, bounds, dimensions and contents equal, all the way down (operator== would take
// Int 5 for Int64 5).
inline bool sameExactly(const Variant& a, const Variant& b)
{
    if (a.type() != b.type())
        return false;
    switch (a.type()) {
    case VarType::Array:
        if (a.dimCount() != b.dimCount())
            return false;
        for (int d = 1; d <= a.dimCount(); ++d)
            if (a.lowBound(d) != b.lowBound(d) || a.highBound(d) != b.highBound(d))
                return false;
        if (a.dimCount() == 1) {
            for (int i = a.lowBound(); i <= a.highBound(); ++i)
                if (!sameExactly(a[i], b[i]))
                    return false;
        } else {
            for (int i = a.lowBound(1); i <= a.highBound(1); ++i)
                for (int j = a.lowBound(2); j <= a.highBound(2); ++j)
                    if (!sameExactly(a.at(i, j), b.at(i, j)))
                        return false;
        }
        return true;
    case VarType::Double:
        return std::bit_cast<std::uint64_t>(a.toDouble()) == std::bit_cast<std::uint64_t>(b.toDouble());
    case VarType::Date:
        return std::bit_cast<std::uint64_t>(a.toDate()) == std::bit_cast<std::uint64_t>(b.toDate());
    case VarType::AnsiString:
        return a.ansiCodePage() == b.ansiCodePage() && a.ansiBytes() == b.ansiBytes();
    default:
        return a == b;
    }
}

using RawPeer = LoopbackPeer;

// A socket bound to a free loopback port (its port in port), listening when backlog > 0;
// -1 when the system refused.
inline int loopbackSocket(int backlog, int& port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || (backlog > 0 && ::listen(fd, backlog) != 0)) {
        ::close(fd);
        return -1;
    }
    socklen_t n = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
    port = ntohs(a.sin_port);
    return fd;
}

// A port on which nothing listens (taken from the system and given back).
inline int freePort()
{
    int port = 0;
    ::close(loopbackSocket(0, port));
    return port;
}

class RemoteServer : public JobFixture {
protected:
    void SetUp() override
    {
        JobFixture::SetUp();
        install.append("server/BriskoS.ini", "[DBPasswordCtrl]\nConnectionSecret=" + EncodePassword(kSecret) + "\n");
        client = std::make_unique<TdmReportCounter>(settings(), ServerSession{"DS", "01", false, "test"});
    }

    // A server listening on the port (0: any), once it says so; its port in port.
    std::unique_ptr<Process> start(int wanted = 0)
    {
        auto p = std::make_unique<Process>(
            bin("qvappserver"),
            std::vector<std::string>{"--install", install.dir(), "--poll", "50", "--listen",
                                     "127.0.0.1:" + std::to_string(wanted)},
            install.path("server-" + std::to_string(started++) + ".out"));
        std::smatch m;
        const std::regex listening(R"(listening on \S+ \(port (\d+))");
        EXPECT_TRUE(waitFor([&] {
            const std::string out = p->output();
            return std::regex_search(out, m, listening) || p->wait(0);
        })) << p->output();
        const std::string out = p->output();
        if (std::regex_search(out, m, listening))
            port = std::stoi(m[1]);
        return p;
    }

    RemoteServerOptions options(const std::string& user = "DS", const std::string& secret = kSecret) const
    {
        RemoteServerOptions o;
        o.address = "127.0.0.1";
        o.port = port;
        o.user = user;
        o.company = "01";
        o.secret = secret;
        o.connectTimeoutMs = 5000;
        o.callTimeoutMs = 20000;
        return o;
    }
    std::shared_ptr<RemoteConnection> connect(const RemoteServerOptions& o)
    {
        return std::make_shared<RemoteConnection>(o);
    }
    Variant serverObject(const std::shared_ptr<RemoteConnection>& c)
    {
        return Variant(CreateRemoteObject(c, "ReportCounterS.dmReportCounter"));
    }
    Variant echo(RemoteConnection& c, const Variant& v) { return c.request(Variant::list({"ECHO", v}))[1]; }

    // What the test library does for ExecSvrDLL, as a direct run of the batch form asks for it.
    std::string execDirect(Variant& server, const std::string& action, std::string* requestNo = nullptr)
    {
        Job j;
        j.action = action;
        const std::string no = VarToStr(server.call("Request1", {packetOf(j), "PC-REMOTE"}));
        EXPECT_NE(no, "ERROR") << VarToStr(server.call("ErrorDescript"));
        if (requestNo)
            *requestNo = no;
        Variant values = Variant::array(1, 1);
        values[1] = action;
        std::vector<Variant> args{no, "QTEST1", "", "01", "DS", "QTEST1S.Class1", "B", "DEMO", values, 1,
                                  no.substr(0, 8) + "0001", 3};
        return VarToStr(server.invoke("ExecSvrDLL", args));
    }

    // An endpoint in this process serving what create makes (options adjusted by adjust);
    // port becomes its port.
    std::unique_ptr<RemoteEndpoint> serve(std::function<DispatchPtr()> create,
                                          const std::function<void(RemoteEndpointOptions&)>& adjust = {})
    {
        RemoteEndpointOptions o;
        o.address = "127.0.0.1";
        o.port = 0;
        o.secret = kSecret;
        o.create = [create = std::move(create)](const std::string&, const ServerSession&, std::uint64_t) { return create(); };
        if (adjust)
            adjust(o);
        auto endpoint = std::make_unique<RemoteEndpoint>(std::move(o));
        port = endpoint->port();
        return endpoint;
    }

    // The same object in this process, for what remote answers must equal.
    std::unique_ptr<TdmReportCounter> client;
    int started = 0;
    int port = 0;
};

// The message of the AutomationError f raises.
inline std::string failureOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const AutomationError& e) {
        return e.what();
    }
    return "(no failure)";
}

} // namespace jobtest
