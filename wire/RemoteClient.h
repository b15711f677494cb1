#pragma once
// A client's connection to the application server over TCP (RemoteProtocol.h), and the
// late-bound proxy of a server object: calls on the proxy run on the server, by-reference
// arguments come back changed.
//
// Calls are synchronous and bounded in time. A call that fails on the way (the server
// went away, answered nothing within the time limit, sent a broken frame) closes the
// connection and raises AutomationError saying so; the next call connects again and
// makes its server object afresh. A call is never repeated by itself: it may have run.
// Failures of the member itself come back as AutomationError with the server's text.
// Whatever the other side sends is checked for kind and shape before it is used: a frame
// that does not decode, a greeting or answer with a part of the wrong kind or shape, fails
// the call with AutomationError saying the server's answer could not be read (and closes
// the connection); no other exception leaves a connection or a proxy.
// When the server offers TLS, the connection changes to TLS after the greeting, before the
// sign-on, and the server's certificate is checked against the trusted one and the address.

#include "platform/Automation.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>

struct RemoteServerOptions {
    std::string address;   // a host name or an IPv4/IPv6 address
    int port = 211;
    // Who the calls are for, and the installation's secret that proves the client may ask.
    std::string user;
    std::string company;
    std::string secret;
    int connectTimeoutMs = 10000;
    int callTimeoutMs = 300000;
    std::uint32_t maxFrameBytes = 128u * 1024 * 1024;
    // PEM file of the certificate (or its issuer's) that a server offering TLS must show
    // for this address; empty: the client takes no TLS server, and a server that asks
    // for TLS is refused with a message saying so.
    std::string tlsTrustFile;
};

class RemoteConnection {
public:
    explicit RemoteConnection(RemoteServerOptions options);
    ~RemoteConnection();
    RemoteConnection(const RemoteConnection&) = delete;
    RemoteConnection& operator=(const RemoteConnection&) = delete;

    const RemoteServerOptions& options() const { return options_; }
    // "address:port", for messages.
    std::string where() const;

    // Connects and authenticates unless already connected (AutomationError saying why not);
    // a connection the server has closed since the last call is made again.
    void open();
    void close();
    bool isOpen() const;
    // Counts the connections made: an object id is good only for the one it came from.
    std::uint64_t generation() const { return generation_; }

    // Sends one request and answers the reply's elements after "OK" (AutomationError for
    // an "ERROR" reply and for every failure on the way). Connects first when needed.
    // callbacks[i] answers the server's calls of the callback at argument position i while
    // the request runs (INVOKEWITH); the time limit counts from the last of them.
    Variant request(const Variant& message, std::span<const DispatchPtr> callbacks = {});
    // The server takes callback arguments (known once connected).
    bool takesCallbacks() const { return callbacks_; }
    // Closes the connection and raises AutomationError saying that the server's answer
    // could not be read, and why: for an answer whose parts are not what its request is due.
    [[noreturn]] void unreadable(const std::string& why);

private:
    struct Io;
    void connect();
    bool hungUp();
    Variant requestChecked(const Variant& message, std::span<const DispatchPtr> callbacks);
    void send(const std::string& bytes, std::chrono::steady_clock::time_point deadline);
    Variant receive(std::chrono::steady_clock::time_point deadline);
    void startTls(bool serverOffers, std::chrono::steady_clock::time_point deadline);
    void run(std::chrono::steady_clock::time_point deadline, const char* during);
    [[noreturn]] void broken(const std::string& why);

    RemoteServerOptions options_;
    std::unique_ptr<Io> io_;
    std::recursive_mutex mutex_;
    std::uint64_t generation_ = 0;
    bool open_ = false;
    bool callbacks_ = false;
};

// The proxy of the server object progId, made on the server at the first call (and again
// after a reconnection). Creating the proxy does not connect. An automation object among a
// call's arguments is a callback: the member on the server calls it, and it runs here.
DispatchPtr CreateRemoteObject(std::shared_ptr<RemoteConnection> connection, std::string progId);
// The object is such a proxy and its server takes callbacks (connects first; false when it
// cannot connect, and the next call says why).
bool TakesCallbacks(Dispatch& object);

// Whom this process's own connections sign on for when the component making them has no
// session of its own (the new-file download library): the job form's session user and
// company, set before it hands such a component its work. Empty until set.
void SetProcessSignOn(const std::string& user, const std::string& company);
void ProcessSignOn(std::string& user, std::string& company);
