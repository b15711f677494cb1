#pragma once
// The application server's endpoint for remote clients (qvappserver --listen): it accepts
// TCP connections, signs each one on (RemoteProtocol.h) and then serves the calls of that
// connection on its own server objects, one call at a time per connection and many
// connections at once.
//
// A connection that sends a frame over the limit, a frame that does not decode, a request
// it may not make or no sign-on in time is closed alone and reported; the others go on.
// A wrong proof is refused with a reason and reported. Nothing a client sends can stop
// the endpoint. A TLS handshake that fails closes that connection and is reported.

#include "platform/Automation.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

struct RemoteEndpointOptions {
    std::string address = "127.0.0.1";
    int port = 211;                    // 0: any free port (port() tells which)
    std::string secret;                // the installation's; an empty one is refused
    std::uint32_t maxFrameBytes = 128u * 1024 * 1024;
    int signOnTimeoutMs = 10000;
    // PEM files of the server's certificate (chain) and private key: when both are named,
    // every connection changes to TLS after the greeting, before the sign-on.
    std::string tlsCertificateFile;
    std::string tlsKeyFile;
    int workers = 16;                  // calls that may run at the same time
    // How long a member waits for the client to answer a callback (the connection closes
    // when it does not).
    int callbackTimeoutMs = 300000;
    // Makes the object a client asks for by ProgID (AutomationError when it may not).
    std::function<DispatchPtr(const std::string& progId)> create;
    // Checks the user and company a client signs on for: empty when they may work, else
    // the reason. Runs on a worker.
    std::function<std::string(const std::string& user, const std::string& company)> checkSession;
    // One line for the server's log, from any thread.
    std::function<void(const std::string& line)> report;
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

// "HOST:PORT" or "[V6]:PORT" as --listen takes it; false when it is not one.
bool ParseListenAddress(const std::string& text, std::string& host, int& port);
