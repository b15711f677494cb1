#pragma once
// The application server's endpoint for remote clients (qvappserver --listen): it accepts
// TCP connections, signs each one on (RemoteProtocol.h) and then serves the calls of that
// connection on its own server objects, one call at a time per connection and many
// connections at once.
//
// Nothing is done for a connection before it signs on: until then it may send one small
// sign-on frame, whose fields must be texts of bounded length, and nothing else. The proof
// is checked on the network thread; the session check (the database) runs on workers of
// its own, so sign-ons never wait behind calls. A connection that sends a frame over the
// limit, a frame that does not decode, a request it may not make, no sign-on in time, or
// nothing for IdleTimeOut after its sign-on is closed alone and reported. No exception
// leaves a worker or a network thread: a failure closes that connection alone.
//
// No caller starves the others: connections are bounded in all and per address, objects
// per connection, and a user's calls hold at most a share of the workers (CallShare.h);
// a frame's buffer grows as its bytes arrive. Each refusal tells the client why.

#include "platform/Automation.h"
#include "server/ServerSession.h"
#include "support/ListenAddress.h"
#include "support/ServerLog.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class ServerMetrics;

struct RemoteEndpointOptions {
    std::string address = "127.0.0.1";
    int port = 211;                    // 0: any free port (port() tells which)
    std::string secret;                // the installation's; an empty one is refused
    std::uint32_t maxFrameBytes = 128u * 1024 * 1024;
    int signOnTimeoutMs = 10000;
    int idleTimeoutMs = 30 * 60 * 1000; // a signed-on connection that sends nothing so long
    int maxConnections = 1024;          // at once, signed on or not
    int maxConnectionsPerAddress = 64;
    int maxObjectsPerConnection = 256;
    // PEM files of the server's certificate (chain) and private key: when both are named,
    // every connection changes to TLS after the greeting, before the sign-on.
    std::string tlsCertificateFile;
    std::string tlsKeyFile;
    int workers = 16;                  // calls that may run at the same time
    int signOnWorkers = 2;             // session checks that may run at the same time
    // Calls of one user that may run at the same time (0: half the workers); the rest wait.
    int callsPerUser = 0;
    // How long a member waits for the client to answer a callback (the connection closes
    // when it does not).
    int callbackTimeoutMs = 300000;
    // Makes the object a client asks for by ProgID for the connection's session
    // (AutomationError when it may not); connection numbers each connection, so that its
    // objects may share what one connection's calls share.
    std::function<DispatchPtr(const std::string& progId, const ServerSession& session, std::uint64_t connection)>
        create;
    // Checks the user and company a client signs on for: empty when they may work, else
    // the reason. Runs on a sign-on worker.
    std::function<std::string(const std::string& user, const std::string& company)> checkSession;
    // One line for the server's log, with its level, from any thread.
    ServerReport report;
    // Counts connections and calls for the operators (none: nothing is counted).
    ServerMetrics* metrics = nullptr;
};

class RemoteEndpoint {
public:
    // Binds the address (Exception saying why when it cannot) and starts serving.
    explicit RemoteEndpoint(RemoteEndpointOptions options);
    // Stops accepting, closes every connection and waits for the running calls.
    ~RemoteEndpoint();
    RemoteEndpoint(const RemoteEndpoint&) = delete;
    RemoteEndpoint& operator=(const RemoteEndpoint&) = delete;

    int port() const;
    bool usesTls() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// The longest user code and company code a sign-on may name, in bytes.
constexpr std::size_t kMaxSignOnCode = 64;
