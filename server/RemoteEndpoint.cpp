#include "server/RemoteEndpoint.h"

#include "platform/Exception.h"
#include "wire/RemoteProtocol.h"
#include "wire/WireCodec.h"
#include "server/CallShare.h"
#include "server/ServerMetrics.h"

#include <asio.hpp>
#include <asio/ssl.hpp>

#include <atomic>
#include <future>
#include <malloc.h>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace {

using asio::ip::tcp;
using Clock = std::chrono::steady_clock;

std::string addressOf(const tcp::socket& socket)
{
    std::error_code ec;
    const tcp::endpoint e = socket.remote_endpoint(ec);
    return ec ? std::string("(unknown peer)") : e.address().to_string();
}

std::string peerOf(const tcp::socket& socket)
{
    std::error_code ec;
    const tcp::endpoint e = socket.remote_endpoint(ec);
    if (ec)
        return "(unknown peer)";
    const std::string a = e.address().to_string();
    return (e.address().is_v6() ? "[" + a + "]" : a) + ":" + std::to_string(e.port());
}

Variant failure(const std::string& why) { return Variant::list({"ERROR", why}); }

// A sign-on holds two codes and a 64-digit proof: a stranger gets no more room than that.
constexpr std::uint32_t kSignOnMaxFrame = 1024;

bool isHexProof(const std::string& s)
{
    return s.size() == 64 && s.find_first_not_of("0123456789abcdef") == std::string::npos;
}

// A code a client signs on with: a text of printable characters and bounded length.
bool isSignOnCode(const Variant& v)
{
    if (v.type() != VarType::String)
        return false;
    const std::string s = v.toString();
    if (s.empty() || s.size() > kMaxSignOnCode)
        return false;
    for (const unsigned char c : s)
        if (c < 0x20 || c == 0x7f)
            return false;
    return true;
}

} // namespace

class Session;

struct RemoteEndpoint::Impl {
    explicit Impl(RemoteEndpointOptions o)
        : options(std::move(o)), signOns(std::size_t(std::max(1, options.signOnWorkers))),
          workers(std::size_t(std::max(1, options.workers))),
          calls([this](std::function<void()> task) { asio::post(workers, std::move(task)); },
                options.callsPerUser > 0 ? options.callsPerUser : std::max(1, options.workers / 2))
    {
    }

    void report(LogLevel level, const std::string& line)
    {
        if (options.report)
            options.report(level, line);
    }
    // A line of a kind that may come in floods: the first, then at most one a minute with
    // how many there were.
    void reportSome(LogLevel level, const std::string& line);
    void accept();
    void acceptFailed(const std::error_code& ec);
    // Tells a connection the server cannot take why, then closes it.
    void refuseConnection(tcp::socket socket, const std::string& why);
    // Counts a new connection from address, or says why it is one too many.
    std::string admit(const std::string& address);
    void release(const std::string& address);

    RemoteEndpointOptions options;
    std::unique_ptr<asio::ssl::context> tls;
    std::atomic<bool> stopping{false};
    std::atomic<int> live{0};
    std::atomic<std::uint64_t> connections{0};
    std::mutex countMutex;
    int open = 0;
    std::map<std::string, int> perAddress;
    std::mutex reportMutex;
    Clock::time_point lastFloodReport{};
    int unreported = 0;
    std::mutex sessionsMutex;
    std::set<std::weak_ptr<Session>, std::owner_less<std::weak_ptr<Session>>> sessions;
    asio::io_context io;
    tcp::acceptor acceptor{io};
    asio::steady_timer acceptPause{io};
    int acceptFailures = 0;
    int acceptDelayMs = 0;
    std::vector<std::thread> ioThreads;
    asio::thread_pool signOns;
    asio::thread_pool workers;
    // Last: its waiting calls hold sessions, which count themselves out of the above.
    CallShare calls;
};

class Session : public std::enable_shared_from_this<Session> {
public:
    Session(RemoteEndpoint::Impl& endpoint, tcp::socket socket, std::string address)
        : ep_(endpoint), socket_(std::move(socket)), signOnTimer_(socket_.get_executor()),
          idleTimer_(socket_.get_executor()), address_(std::move(address))
    {
        ++ep_.live;
    }
    ~Session()
    {
        objects_.clear();
        ep_.release(address_);
        // A burst of clients leaves the allocator's free pages in the process; when the
        // last one has gone, they go back to the system, so a server's memory returns to
        // what it was before the burst.
        if (--ep_.live == 0)
            malloc_trim(0);
    }

    // On the connection's own strand, as everything that touches its socket and timers.
    void begin()
    {
        asio::post(socket_.get_executor(), [self = shared_from_this()] {
            self->guarded("greeting", [&] { self->start(); });
        });
    }

private:
    void start()
    {
        peer_ = peerOf(socket_);
        std::error_code ignored;
        socket_.set_option(tcp::no_delay(true), ignored);
        try {
            challenge_ = remote::NewChallenge();
        } catch (const std::exception& e) {
            ep_.report(LogLevel::Error, "connection from " + peer_ + " closed: " + e.what());
            close();
            return;
        }
        auto self = shared_from_this();
        signOnTimer_.expires_after(std::chrono::milliseconds(ep_.options.signOnTimeoutMs));
        signOnTimer_.async_wait([self](const std::error_code& ec) {
            if (!ec && !self->signedOn_) {
                self->ep_.report(LogLevel::Warning, "connection from " + self->peer_ + " closed: no sign-on in time");
                self->close();
            }
        });
        const bool tls = bool(ep_.tls);
        write(remote::Frame(Variant::list({remote::kGreeting, remote::kProtocolVersion, challenge_, tls,
                                           Variant::list({remote::kCallbacksFeature})})),
              false);
    }

public:
    // From any thread: the socket's own strand closes it.
    void shutdown()
    {
        asio::post(socket_.get_executor(), [self = shared_from_this()] { self->close(); });
    }

private:
    template <class F>
    void stream(F&& f)
    {
        if (tls_)
            f(*tls_);
        else
            f(socket_);
    }

    // Runs a step of the network thread: whatever it throws closes this connection alone.
    template <class F>
    void guarded(const char* during, F&& f)
    {
        try {
            f();
        } catch (const std::exception& e) {
            ep_.report(LogLevel::Error, "connection from " + peer_ + " closed: " + during + " failed: " + e.what());
            close();
        } catch (...) {
            ep_.report(LogLevel::Error, "connection from " + peer_ + " closed: " + during + " failed");
            close();
        }
    }

    // After the greeting, in plain text, the connection changes to TLS when the server has it.
    void afterGreeting()
    {
        if (!ep_.tls)
            return readFrame();
        tls_ = std::make_unique<asio::ssl::stream<tcp::socket&>>(socket_, *ep_.tls);
        tls_->async_handshake(asio::ssl::stream_base::server, [self = shared_from_this()](const std::error_code& ec) {
            if (ec) {
                self->ep_.report(LogLevel::Warning, "connection from " + self->peer_ +
                                                        " closed: the TLS handshake failed (" + ec.message() + ")");
                return self->close();
            }
            self->readFrame();
        });
    }

    void close()
    {
        {
            std::lock_guard lock(callbackMutex_);
            closed_ = true;
            if (waiting_) {
                waiting_->set_exception(std::make_exception_ptr(
                    AutomationError("The connection to the client closed while it ran a callback")));
                waiting_ = nullptr;
            }
        }
        std::error_code ignored;
        signOnTimer_.cancel();
        idleTimer_.cancel();
        socket_.shutdown(tcp::socket::shutdown_both, ignored);
        socket_.close(ignored);
    }

    void write(std::string frame, bool closeAfter)
    {
        out_ = std::move(frame);
        stream([&](auto& s) {
            asio::async_write(s, asio::buffer(out_),
                              [self = shared_from_this(), closeAfter](const std::error_code& ec, std::size_t) {
                                  self->guarded("writing", [&] {
                                      if (ec || closeAfter)
                                          self->close();
                                      else if (!self->greeted_ && (self->greeted_ = true))
                                          self->afterGreeting();
                                      else
                                          self->readFrame();
                                  });
                              });
        });
    }

    // A signed-on connection that sends no whole frame, with no call of its own running, for
    // the idle time is closed; its client connects again at its next call.
    void armIdle()
    {
        if (!signedOn_ || inCall_ || ep_.options.idleTimeoutMs <= 0)
            return;
        idleTimer_.expires_after(std::chrono::milliseconds(ep_.options.idleTimeoutMs));
        idleTimer_.async_wait([self = shared_from_this()](const std::error_code& ec) {
            if (!ec && !self->inCall_) {
                self->ep_.report(LogLevel::Info, "connection of " + self->session_.who() + " closed: nothing came for " +
                                                     std::to_string(self->ep_.options.idleTimeoutMs / 1000) + " s");
                self->close();
            }
        });
    }

    void readFrame()
    {
        armIdle();
        stream([&](auto& s) { asio::async_read(s, asio::buffer(header_), [self = shared_from_this()](const std::error_code& ec, std::size_t) {
            self->guarded("reading", [&] {
                if (ec)
                    return self->close();
                self->readPayload();
            });
        }); });
    }

    void readPayload()
    {
        const std::uint32_t length = remote::FrameLength(header_);
        // Before the sign-on only a sign-on may come: a stranger gets no large buffer.
        const std::uint32_t limit = signedOn_ ? ep_.options.maxFrameBytes
                                              : std::min(ep_.options.maxFrameBytes, kSignOnMaxFrame);
        if (length > limit) {
            ep_.report(LogLevel::Warning, "connection from " + peer_ + " closed: a frame of " + std::to_string(length) +
                       " bytes, more than the limit of " + std::to_string(limit));
            return close();
        }
        // The buffer grows with the bytes that come, not to what the header announces.
        payload_.clear();
        stream([&](auto& s) {
            asio::async_read(s, asio::dynamic_buffer(payload_, length), asio::transfer_exactly(length),
                             [self = shared_from_this()](const std::error_code& ec, std::size_t) {
                                 self->guarded("reading", [&] {
                                     if (ec)
                                         return self->close();
                                     self->onFrame();
                                 });
                             });
        });
    }

    void onFrame()
    {
        // A frame must come whole within the idle time too: one that trickles holds nothing.
        idleTimer_.cancel();
        Variant message;
        try {
            message = DecodeWireValue(payload_);
        } catch (const std::exception& e) {
            ep_.report(LogLevel::Warning, "connection from " + peer_ + " closed: " + e.what());
            return close();
        }
        payload_.clear();
        payload_.shrink_to_fit();
        if (!signedOn_)
            return signOn(message);
        if (!deliverToCallback(message))
            serve(std::move(message));
    }

    // The call runs on a worker, within its user's share; its answer is written back on the
    // socket's strand.
    void serve(Variant message)
    {
        inCall_ = true;
        if (ep_.options.metrics)
            ep_.options.metrics->remoteCall();
        ep_.calls.submit(session_.user, [self = shared_from_this(), message = std::move(message)]() mutable {
            std::string frame;
            try {
                frame = remote::Frame(self->answer(message));
            } catch (const std::exception& e) {
                frame = remote::Frame(failure(e.what()));
            } catch (...) {
                frame = remote::Frame(failure("The call failed"));
            }
            asio::post(self->socket_.get_executor(), [self, frame = std::move(frame)]() mutable {
                self->inCall_ = false;
                self->write(std::move(frame), false);
            });
        });
    }

    Variant answer(const Variant& message)
    {
        if (ep_.stopping)
            return failure("The application server is stopping");
        try {
            const std::string name = remote::MessageName(message);
            const int low = message.isArray() && message.dimCount() == 1 ? message.lowBound() : 0;
            const int count = message.isArray() && message.dimCount() == 1 ? message.count() : 0;
            auto part = [&](int i) -> Variant { return count > i ? message[low + i] : Variant(); };
            if (name == "ECHO")
                return Variant::list({"OK", part(1)});
            if (name == "CREATE") {
                const std::string progId = VarToStr(part(1));
                if (!ep_.options.create)
                    throw AutomationError("This server makes no objects");
                const std::size_t most = std::size_t(std::max(1, ep_.options.maxObjectsPerConnection));
                if (objects_.size() >= most)
                    throw AutomationError("This connection holds " + std::to_string(most) +
                                          " objects, the most one may; connect again for more");
                DispatchPtr object = ep_.options.create(progId, session_, id_);
                if (!object)
                    throw AutomationError("The object " + progId + " could not be made");
                const int id = nextId_++;
                objects_[id] = std::move(object);
                return Variant::list({"OK", id});
            }
            if (name == "INVOKE" || name == "INVOKEWITH" || name == "GET" || name == "PUT") {
                const Variant which = part(1);
                const auto found = which.isNumeric() ? objects_.find(which.toInt()) : objects_.end();
                if (found == objects_.end())
                    throw AutomationError("No such object on this connection");
                const std::string member = VarToStr(part(2));
                if (name == "GET")
                    return Variant::list({"OK", found->second->get(member)});
                if (name == "PUT") {
                    found->second->put(member, part(3));
                    return Variant::list({"OK"});
                }
                const Variant sent = part(3);
                std::vector<Variant> args;
                if (sent.isArray() && sent.dimCount() == 1)
                    args = sent.elements();
                else if (!sent.isEmpty())
                    throw AutomationError("The arguments of " + member + " are no list");
                const std::vector<std::size_t> callbacks = name == "INVOKEWITH" ? callbackPositions(part(4), args.size())
                                                                                : std::vector<std::size_t>();
                for (const std::size_t i : callbacks)
                    args[i] = Variant(DispatchPtr(std::make_shared<ClientCallback>(weak_from_this(), int(i))));
                // A callback is answered only while its call runs: kept and called later, the
                // client would not be listening for it.
                const LiveCallbacks live(*this, !callbacks.empty());
                const Variant result = found->second->invoke(member, args);
                // The client keeps its own callbacks; they do not travel back.
                for (const std::size_t i : callbacks)
                    args[i] = Variant();
                return Variant::list({"OK", result, Variant::list(std::move(args))});
            }
            return failure("Unknown request \"" + name + "\"");
        } catch (const std::exception& e) {
            return failure(e.what());
        }
    }

    // While it lives, the callbacks of the running call are answered (when on).
    struct LiveCallbacks {
        LiveCallbacks(Session& session, bool on) : session(session) { set(on); }
        ~LiveCallbacks() { set(false); }
        void set(bool on)
        {
            std::lock_guard lock(session.callbackMutex_);
            session.callbacksLive_ = on;
        }
        Session& session;
    };

    // The argument positions an INVOKEWITH names as the client's callbacks.
    static std::vector<std::size_t> callbackPositions(const Variant& list, std::size_t count)
    {
        if (!list.isArray() || list.dimCount() != 1)
            throw AutomationError("The callbacks of a call are no list");
        std::vector<std::size_t> positions;
        for (const Variant& v : list.elements()) {
            const std::int64_t i = v.isNumeric() ? v.toInt64() : -1;
            if (i < 0 || std::size_t(i) >= count)
                throw AutomationError("A callback names no argument of the call");
            positions.push_back(std::size_t(i));
        }
        return positions;
    }

    // A frame read while a callback waits is the client's answer to it.
    bool deliverToCallback(const Variant& message)
    {
        std::lock_guard lock(callbackMutex_);
        if (!waiting_)
            return false;
        waiting_->set_value(message);
        waiting_ = nullptr;
        return true;
    }

public:
    // On the worker that runs a call: the client runs its callback at argument position
    // index and answers. The call's own frames are not in flight meanwhile (the answer is
    // written after the member returns), so the question and its answer have the line.
    Variant callBack(int index, std::string_view method, std::span<Variant> args)
    {
        std::string frame;
        try {
            frame = remote::Frame(Variant::list(
                {"CALL", index, std::string(method), Variant::list(std::vector<Variant>(args.begin(), args.end()))}));
        } catch (const std::exception& e) {
            throw AutomationError(std::string("A callback's arguments cannot be sent: ") + e.what());
        }
        std::promise<Variant> answer;
        std::future<Variant> future = answer.get_future();
        {
            std::lock_guard lock(callbackMutex_);
            if (closed_)
                throw AutomationError("The connection to the client is closed");
            if (!callbacksLive_)
                throw AutomationError("A client's callback is answered only while the call that passed it runs");
            waiting_ = &answer;
        }
        auto self = shared_from_this();
        asio::post(socket_.get_executor(), [self, frame = std::move(frame)]() mutable { self->write(std::move(frame), false); });
        if (future.wait_for(std::chrono::milliseconds(ep_.options.callbackTimeoutMs)) != std::future_status::ready) {
            std::lock_guard lock(callbackMutex_);
            if (waiting_) {
                waiting_ = nullptr;
                ep_.report(LogLevel::Warning, "connection from " + peer_ + " closed: no answer to a callback in time");
                shutdown();
                throw AutomationError("The client did not answer a callback within the time limit");
            }
        }
        const Variant reply = future.get();
        const std::string name = remote::MessageName(reply);
        const Variant value = name.empty() || reply.count() < 2 ? Variant() : reply[reply.lowBound() + 1];
        if (name == "RETURN")
            return value;
        if (name == "FAILED")
            throw AutomationError(VarToStr(value));
        ep_.report(LogLevel::Warning,
                   "connection from " + peer_ + " closed: a request while a callback waited for its answer");
        shutdown();
        throw AutomationError("The client sent a request instead of a callback's answer");
    }

private:
    // A callback argument as the member sees it: each call runs on the client.
    class ClientCallback : public Dispatch {
    public:
        ClientCallback(std::weak_ptr<Session> session, int index) : session_(std::move(session)), index_(index) {}
        Variant invoke(std::string_view name, std::span<Variant> args) override
        {
            const auto session = session_.lock();
            if (!session)
                throw AutomationError("The connection to the client is closed");
            return session->callBack(index_, name, args);
        }
        Variant get(std::string_view name) override { return invoke(name, {}); }
        void put(std::string_view name, const Variant&) override
        {
            throw AutomationError("A client's callback has no property " + std::string(name));
        }

    private:
        std::weak_ptr<Session> session_;
        int index_;
    };

    // Refuses the sign-on with a reason for the client and a line for the log, and closes.
    void refuseSignOn(const std::string& reason, const std::string& logged)
    {
        ep_.report(LogLevel::Warning, "sign-on refused for " + logged);
        write(remote::Frame(Variant::list({"REFUSED", reason})), true);
    }

    // On the network thread: the shape and the proof; the session's check on a sign-on worker.
    void signOn(const Variant& message)
    {
        if (signOnAsked_) {
            ep_.report(LogLevel::Warning,
                       "connection from " + peer_ + " closed: a second frame before its sign-on was answered");
            return close();
        }
        signOnAsked_ = true;
        const std::string name = remote::MessageName(message);
        if (name != "HELLO") {
            ep_.report(LogLevel::Warning, "connection from " + peer_ + " closed: a request before the sign-on");
            return write(remote::Frame(Variant::list({"REFUSED", "Sign on first"})), true);
        }
        const int low = message.lowBound();
        auto part = [&](int i) -> Variant { return message.count() > i ? message[low + i] : Variant(); };
        if (message.count() != 4 || !isSignOnCode(part(1)) || !isSignOnCode(part(2)) ||
            part(3).type() != VarType::String || !isHexProof(part(3).toString()))
            return refuseSignOn("the sign-on is malformed: a user, a company (texts of 1 to " +
                                    std::to_string(kMaxSignOnCode) + " characters) and a proof are expected",
                                "a connection from " + peer_ + ": its sign-on is malformed");
        const std::string user = part(1).toString();
        const std::string company = part(2).toString();
        const std::string who = "user " + user + " of company " + company + " from " + peer_;
        if (ep_.options.secret.empty() ||
            !remote::SameProof(part(3).toString(), remote::AuthProof(ep_.options.secret, challenge_, user, company)))
            return refuseSignOn("the installation secret does not match the server's",
                                who + ": the installation secret does not match");
        asio::post(ep_.signOns, [self = shared_from_this(), user, company, who] {
            std::string reason;
            try {
                if (self->ep_.options.checkSession)
                    reason = self->ep_.options.checkSession(user, company);
            } catch (const std::exception& e) {
                reason = e.what();
            } catch (...) {
                reason = "the session could not be checked";
            }
            asio::post(self->socket_.get_executor(), [self, user, company, who, reason] {
                self->guarded("signing on", [&] {
                    if (self->closed_)
                        return;
                    if (!reason.empty())
                        return self->refuseSignOn(reason, who + ": " + reason);
                    self->session_.user = user;
                    self->session_.company = company;
                    self->session_.remote = true;
                    self->session_.peer = self->peer_;
                    self->signedOn_ = true;
                    self->signOnTimer_.cancel();
                    self->ep_.report(LogLevel::Info, "signed on: " + who);
                    self->write(remote::Frame(Variant::list({"OK"})), false);
                });
            });
        });
    }

    RemoteEndpoint::Impl& ep_;
    tcp::socket socket_;
    std::unique_ptr<asio::ssl::stream<tcp::socket&>> tls_;
    bool greeted_ = false;
    asio::steady_timer signOnTimer_;
    asio::steady_timer idleTimer_;
    std::string address_;
    std::uint64_t id_ = ++ep_.connections;
    std::string peer_;
    std::string challenge_;
    bool signOnAsked_ = false;
    std::atomic<bool> signedOn_{false};
    std::atomic<bool> inCall_{false};
    ServerSession session_;
    unsigned char header_[remote::kHeaderBytes] = {};
    std::string payload_;
    std::string out_;
    std::map<int, DispatchPtr> objects_;
    int nextId_ = 1;
    std::mutex callbackMutex_;
    std::promise<Variant>* waiting_ = nullptr;   // the callback waiting for the client's answer
    bool closed_ = false;
    bool callbacksLive_ = false;
};

void RemoteEndpoint::Impl::reportSome(LogLevel level, const std::string& line)
{
    const Clock::time_point now = Clock::now();
    std::string said;
    {
        std::lock_guard lock(reportMutex);
        if (now - lastFloodReport < std::chrono::minutes(1)) {
            ++unreported;
            return;
        }
        said = line;
        if (unreported > 0)
            said += " (and " + std::to_string(unreported) + " such lines before, not written)";
        unreported = 0;
        lastFloodReport = now;
    }
    report(level, said);
}

std::string RemoteEndpoint::Impl::admit(const std::string& address)
{
    std::lock_guard lock(countMutex);
    if (open >= options.maxConnections)
        return "the application server holds as many connections as it may (" + std::to_string(options.maxConnections) +
               "); try again later";
    int& mine = perAddress[address];
    if (mine >= options.maxConnectionsPerAddress) {
        if (mine == 0)
            perAddress.erase(address);
        return "the application server holds as many connections from " + address + " as it may (" +
               std::to_string(options.maxConnectionsPerAddress) + ")";
    }
    ++mine;
    ++open;
    if (options.metrics)
        options.metrics->connectionOpened();
    return {};
}

void RemoteEndpoint::Impl::release(const std::string& address)
{
    std::lock_guard lock(countMutex);
    --open;
    if (options.metrics)
        options.metrics->connectionClosed();
    const auto found = perAddress.find(address);
    if (found != perAddress.end() && --found->second <= 0)
        perAddress.erase(found);
}

void RemoteEndpoint::Impl::refuseConnection(tcp::socket socket, const std::string& why)
{
    reportSome(LogLevel::Warning, "connection from " + peerOf(socket) + " refused: " + why);
    auto s = std::make_shared<tcp::socket>(std::move(socket));
    auto frame = std::make_shared<std::string>(remote::Frame(Variant::list({"REFUSED", why})));
    asio::async_write(*s, asio::buffer(*frame), [s, frame](const std::error_code&, std::size_t) {
        std::error_code ignored;
        s->shutdown(tcp::socket::shutdown_both, ignored);
        s->close(ignored);
    });
}

void RemoteEndpoint::Impl::acceptFailed(const std::error_code& ec)
{
    // A client gone before it was taken costs nothing: take the next one at once.
    const bool resources = ec == asio::error::no_descriptors || ec == asio::error::no_buffer_space ||
                           ec == asio::error::no_memory || ec == std::errc::too_many_files_open_in_system;
    if (!resources) {
        reportSome(LogLevel::Error, "accepting a connection failed: " + ec.message());
        return accept();
    }
    // Out of descriptors and the like: wait, longer each time, rather than spin or fill the log.
    ++acceptFailures;
    acceptDelayMs = std::clamp(acceptDelayMs * 2, 50, 2000);
    reportSome(LogLevel::Error, "accepting a connection failed: " + ec.message() + "; trying again in " +
                                    std::to_string(acceptDelayMs) + " ms");
    acceptPause.expires_after(std::chrono::milliseconds(acceptDelayMs));
    acceptPause.async_wait([this](const std::error_code& e) {
        if (!e && !stopping)
            accept();
    });
}

void RemoteEndpoint::Impl::accept()
{
    acceptor.async_accept(asio::make_strand(io), [this](const std::error_code& ec, tcp::socket socket) {
        if (stopping)
            return;
        if (ec) {
            if (ec != asio::error::operation_aborted)
                acceptFailed(ec);
            return;
        }
        if (acceptFailures > 0) {
            report(LogLevel::Info,
                   "accepting connections works again after " + std::to_string(acceptFailures) + " failures");
            acceptFailures = 0;
            acceptDelayMs = 0;
        }
        try {
            const std::string address = addressOf(socket);
            if (const std::string why = admit(address); !why.empty()) {
                refuseConnection(std::move(socket), why);
            } else {
                auto session = std::make_shared<Session>(*this, std::move(socket), address);
                {
                    std::lock_guard lock(sessionsMutex);
                    for (auto it = sessions.begin(); it != sessions.end();)
                        it = it->expired() ? sessions.erase(it) : std::next(it);
                    sessions.insert(session);
                }
                session->begin();
            }
        } catch (const std::exception& e) {
            report(LogLevel::Error, std::string("a new connection could not be served: ") + e.what());
        }
        accept();
    });
}

RemoteEndpoint::RemoteEndpoint(RemoteEndpointOptions options) : impl_(std::make_unique<Impl>(std::move(options)))
{
    Impl& m = *impl_;
    if (m.options.secret.empty())
        throw Exception("No connection secret is configured: remote clients could not sign on");
    const std::string& cert = m.options.tlsCertificateFile;
    const std::string& key = m.options.tlsKeyFile;
    if (cert.empty() != key.empty())
        throw Exception("TLS needs both a certificate and its private key (TlsCertificate and TlsKey)");
    if (!cert.empty()) {
        m.tls = std::make_unique<asio::ssl::context>(asio::ssl::context::tls_server);
        m.tls->set_options(asio::ssl::context::default_workarounds | asio::ssl::context::no_sslv2 |
                           asio::ssl::context::no_sslv3 | asio::ssl::context::no_tlsv1 |
                           asio::ssl::context::no_tlsv1_1);
        std::error_code tlsError;
        m.tls->use_certificate_chain_file(cert, tlsError);
        if (tlsError)
            throw Exception("The TLS certificate " + cert + " cannot be used: " + tlsError.message());
        m.tls->use_private_key_file(key, asio::ssl::context::pem, tlsError);
        if (tlsError)
            throw Exception("The TLS key " + key + " cannot be used: " + tlsError.message());
        if (SSL_CTX_check_private_key(m.tls->native_handle()) != 1)
            throw Exception("The TLS key " + key + " does not belong to the certificate " + cert);
    }
    std::error_code ec;
    const asio::ip::address address = asio::ip::make_address(m.options.address, ec);
    if (ec)
        throw Exception("Cannot listen on \"" + m.options.address + "\": not an IP address");
    const tcp::endpoint endpoint(address, asio::ip::port_type(m.options.port));
    m.acceptor.open(endpoint.protocol(), ec);
    if (!ec)
        m.acceptor.set_option(tcp::acceptor::reuse_address(true), ec);
    if (!ec)
        m.acceptor.bind(endpoint, ec);
    if (!ec)
        m.acceptor.listen(asio::socket_base::max_listen_connections, ec);
    if (ec)
        throw Exception("Cannot listen on " + m.options.address + ":" + std::to_string(m.options.port) + ": " +
                        ec.message());
    m.accept();
    for (int i = 0; i < 2; ++i)
        m.ioThreads.emplace_back([&m] {
            // A handler that throws ends that handler, never the thread.
            for (;;) {
                try {
                    m.io.run();
                    return;
                } catch (const std::exception& e) {
                    m.report(LogLevel::Error, std::string("a network task failed: ") + e.what());
                } catch (...) {
                    m.report(LogLevel::Error, "a network task failed");
                }
            }
        });
}

RemoteEndpoint::~RemoteEndpoint()
{
    Impl& m = *impl_;
    m.stopping = true;
    asio::post(m.io, [&m] {
        std::error_code ignored;
        m.acceptor.close(ignored);
        m.acceptPause.cancel();
    });
    {
        std::lock_guard lock(m.sessionsMutex);
        for (const auto& weak : m.sessions)
            if (auto s = weak.lock())
                s->shutdown();
    }
    // Running calls finish; their answers go nowhere.
    m.signOns.join();
    m.workers.join();
    m.io.stop();
    for (std::thread& t : m.ioThreads)
        t.join();
}

int RemoteEndpoint::port() const { return impl_->acceptor.local_endpoint().port(); }

bool RemoteEndpoint::usesTls() const { return bool(impl_->tls); }
