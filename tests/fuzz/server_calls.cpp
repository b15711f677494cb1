// What a signed-on client may send the application server's endpoint: the input is a
// stream of frames (4-byte length, then the payload) sent, after a proper sign-on, to a
// real RemoteEndpoint serving real server objects on a small database in this process.
// The client answers every callback at once. Properties: nothing a frame says ends the
// process (the sanitizers watch the server's threads too), and afterwards another client
// signs on and is answered in bounded time.

#include "FuzzSupport.h"

#include "db/Db.h"
#include "server/RemoteEndpoint.h"
#include "server/ReportCounterS.h"
#include "serverdb/Schema.h"
#include "server/UserRights.h"
#include "tests/LoopbackPeer.h"

#include <cstdlib>
#include <memory>

namespace {

constexpr const char* kSecret = "fuzz-secret";

// A system database with users DS (super user) and U002 (no rights), company 01 with its
// database DEMO, and one endpoint serving them on a loopback port, made once.
struct Server {
    Server()
    {
        char pattern[] = "/tmp/qv-fuzz-calls-XXXXXX";
        folder = ::mkdtemp(pattern);
        {
            DbConnection sys;
            sys.openSqlite(folder + "/QVSYS.db", true);
            CreateSchema(sys, "system");
            sys.executeScript(R"(
                INSERT INTO ADMMC VALUES ('01', '示范公司', 'DEMO', 'Y');
                INSERT INTO QVRMA (MA001, MA002, MA005, MA007) VALUES ('DS', '系统管理员', 'Y', 'Y');
                INSERT INTO QVRMA (MA001, MA002, MA005, MA007) VALUES ('U002', '李娜', 'N', 'Y');
            )");
            DbConnection co;
            co.openSqlite(folder + "/DEMO.db", true);
            CreateSchema(co, "company");
            co.execute("INSERT INTO PURMA (MA001, MA002) VALUES ('S01', '甲电子')");
        }
        settings.folder = folder;
        settings.limits.timeMs = 200;
        settings.limits.rows = 1000;
        settings.limits.bytes = 1024 * 1024;
        RemoteEndpointOptions o;
        o.port = 0;
        o.secret = kSecret;
        o.workers = 4;
        o.callbackTimeoutMs = 300;
        o.signOnTimeoutMs = 2000;
        o.maxObjectsPerConnection = 8;
        o.maxFrameBytes = 1024 * 1024;
        o.create = [this](const std::string& progId, const ServerSession& session, std::uint64_t) -> DispatchPtr {
            if (progId != TdmReportCounter::ProgId)
                throw AutomationError("This application server serves no " + progId);
            return std::make_shared<TdmReportCounter>(settings, session);
        };
        o.checkSession = [this](const std::string& user, const std::string&) {
            DbConnection sys;
            sys.openSqlite(folder + "/QVSYS.db");
            return AccountProblem(ReadUserRights(sys, user, ""), user);
        };
        endpoint = std::make_unique<RemoteEndpoint>(std::move(o));
        port = endpoint->port();
    }

    std::string folder;
    ServerDbSettings settings;
    std::unique_ptr<RemoteEndpoint> endpoint;
    int port = 0;
};

Server& server()
{
    static Server* s = new Server; // lives until the process ends, as a server does
    return *s;
}

// The server's next message within 10 s; Empty when none came.
Variant replyOf(LoopbackPeer& peer)
{
    try {
        return peer.frame(10);
    } catch (const std::exception& e) {
        fuzz::fail("the server sent a frame that does not decode", e.what());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Server& s = server();
    {
        LoopbackPeer peer(s.port);
        if (!peer.connected())
            fuzz::fail("the endpoint takes no connection");
        // The first byte chooses who signs on: a super user or one without rights.
        fuzz::Input in(data, size);
        if (const std::string why = peer.signOn(in.byte() & 1 ? "U002" : "DS", "01", kSecret); !why.empty())
            fuzz::fail("a proper sign-on is refused", why);
        const std::string rest = in.rest();
        std::size_t pos = 0;
        int sent = 0;
        while (pos + remote::kHeaderBytes <= rest.size() && sent < 32) {
            const std::uint32_t length = remote::FrameLength(reinterpret_cast<const unsigned char*>(rest.data() + pos));
            const std::size_t n = std::min<std::size_t>(length, rest.size() - pos - remote::kHeaderBytes);
            // A frame shorter than it says is sent as it says, so the server waits for the rest.
            peer.send(rest.substr(pos, remote::kHeaderBytes + n));
            pos += remote::kHeaderBytes + n;
            ++sent;
            if (n < length)
                break;
            // Every whole frame gets one answer (or the connection ends); the callbacks of a
            // call come first, each answered at once.
            for (int k = 0; k < 64; ++k) {
                const Variant reply = replyOf(peer);
                if (remote::MessageName(reply) != "CALL")
                    break;
                peer.send(remote::Frame(Variant::list({"RETURN", true})));
            }
        }
    }
    // The next client is served.
    LoopbackPeer next(s.port);
    if (const std::string why = next.signOn("DS", "01", kSecret); !why.empty())
        fuzz::fail("the server refused the next client's sign-on", why);
    next.send(remote::Frame(Variant::list({"ECHO", "next"})));
    const Variant echo = replyOf(next);
    fuzz::check(remote::MessageName(echo) == "OK" && VarToStr(echo[1]) == "next", "the server answers the next client");
    return 0;
}
