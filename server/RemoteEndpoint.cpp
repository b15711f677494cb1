#include "server/RemoteEndpoint.h"

#include "platform/Exception.h"
#include "platform/RemoteProtocol.h"
#include "platform/WireCodec.h"

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

constexpr std::uint32_t kSignOnMaxFrame = 64 * 1024;

} // namespace

class Session;

struct RemoteEndpoint::Impl {
    explicit Impl(RemoteEndpointOptions o) : options(std::move(o)), workers(std::size_t(std::max(1, options.workers)))
    {
    }

    void report(const std::string& line)
    {
        if (options.report)
            options.report(line);
    }
    void accept();

    RemoteEndpointOptions options;
    std::unique_ptr<asio::ssl::context> tls;
    asio::io_context io;
    tcp::acceptor acceptor{io};
    asio::thread_pool workers;
    std::vector<std::thread> ioThreads;
    std::mutex sessionsMutex;
    std::set<std::weak_ptr<Session>, std::owner_less<std::weak_ptr<Session>>> sessions;
    std::atomic<bool> stopping{false};
    std::atomic<int> live{0};
};

class Session : public std::enable_shared_from_this<Session> {
public:
    Session(RemoteEndpoint::Impl& endpoint, tcp::socket socket)
        : ep_(endpoint), socket_(std::move(socket)), timer_(socket_.get_executor())
    {
        ++ep_.live;
    }
    ~Session()
    {
        objects_.clear();
        // A burst of clients leaves the allocator's free pages in the process; when the
        // last one has gone, they go back to the system, so a server's memory returns to
        // what it was before the burst.
        if (--ep_.live == 0)
            malloc_trim(0);
    }

    void start()
    {
        peer_ = peerOf(socket_);
        std::error_code ignored;
        socket_.set_option(tcp::no_delay(true), ignored);
        try {
            challenge_ = remote::NewChallenge();
        } catch (const std::exception& e) {
            ep_.report("connection from " + peer_ + " closed: " + e.what());
            close();
            return;
        }
        auto self = shared_from_this();
        timer_.expires_after(std::chrono::milliseconds(ep_.options.signOnTimeoutMs));
        timer_.async_wait([self](const std::error_code& ec) {
            if (!ec && !self->signedOn_) {
                self->ep_.report("connection from " + self->peer_ + " closed: no sign-on in time");
                self->close();
            }
        });
        const bool tls = bool(ep_.tls);
        write(remote::Frame(Variant::list({remote::kGreeting, remote::kProtocolVersion, challenge_, tls,
                                           Variant::list({remote::kCallbacksFeature})})),
              false);
    }

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

    // After the greeting, in plain text, the connection changes to TLS when the server has it.
    void afterGreeting()
    {
        if (!ep_.tls)
            return readFrame();
        tls_ = std::make_unique<asio::ssl::stream<tcp::socket&>>(socket_, *ep_.tls);
        tls_->async_handshake(asio::ssl::stream_base::server, [self = shared_from_this()](const std::error_code& ec) {
            if (ec) {
                self->ep_.report("connection from " + self->peer_ + " closed: the TLS handshake failed (" + ec.message() + ")");
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
        timer_.cancel();
        socket_.shutdown(tcp::socket::shutdown_both, ignored);
        socket_.close(ignored);
    }

    void write(std::string frame, bool closeAfter)
    {
        out_ = std::move(frame);
        stream([&](auto& s) {
            asio::async_write(s, asio::buffer(out_),
                              [self = shared_from_this(), closeAfter](const std::error_code& ec, std::size_t) {
                                  if (ec || closeAfter)
                                      self->close();
                                  else if (!self->greeted_ && (self->greeted_ = true))
                                      self->afterGreeting();
                                  else
                                      self->readFrame();
                              });
        });
    }

    void readFrame()
    {
        stream([&](auto& s) { asio::async_read(s, asio::buffer(header_), [self = shared_from_this()](const std::error_code& ec, std::size_t) {
            if (ec)
                return self->close();
            const std::uint32_t length = remote::FrameLength(self->header_);
            // Before the sign-on only a sign-on may come: a stranger gets no large buffer.
            const std::uint32_t limit = self->signedOn_ ? self->ep_.options.maxFrameBytes
                                                        : std::min(self->ep_.options.maxFrameBytes, kSignOnMaxFrame);
            if (length > limit) {
                self->ep_.report("connection from " + self->peer_ + " closed: a frame of " + std::to_string(length) +
                                 " bytes, more than the limit of " + std::to_string(limit));
                return self->close();
            }
            self->payload_.assign(length, '\0');
            self->stream([&](auto& s2) { asio::async_read(s2, asio::buffer(self->payload_),
                             [self](const std::error_code& ec2, std::size_t) {
                                 if (ec2)
                                     return self->close();
                                 Variant message;
                                 try {
                                     message = DecodeWireValue(self->payload_);
                                 } catch (const std::exception& e) {
                                     self->ep_.report("connection from " + self->peer_ + " closed: " + e.what());
                                     return self->close();
                                 }
                                 self->payload_.clear();
                                 if (!self->deliverToCallback(message))
                                     self->serve(std::move(message));
                             }); });
        }); });
    }

    // The call runs on a worker; its answer is written back on the socket's strand.
    void serve(Variant message)
    {
        asio::post(ep_.workers, [self = shared_from_this(), message = std::move(message)]() mutable {
            bool closeAfter = false;
            Variant answer = self->answer(message, closeAfter);
            std::string frame;
            try {
                frame = remote::Frame(answer);
            } catch (const std::exception& e) {
                frame = remote::Frame(failure(e.what()));
            }
            asio::post(self->socket_.get_executor(), [self, frame = std::move(frame), closeAfter]() mutable {
                self->write(std::move(frame), closeAfter);
            });
        });
    }

    Variant answer(const Variant& message, bool& closeAfter)
    {
        const std::string name = remote::MessageName(message);
        const int low = message.isArray() && message.dimCount() == 1 ? message.lowBound() : 0;
        auto part = [&](int i) -> Variant { return message.count() > i ? message[low + i] : Variant(); };
        if (!signedOn_)
            return signOn(name, part, closeAfter);
        try {
            if (name == "ECHO")
                return Variant::list({"OK", part(1)});
            if (name == "CREATE") {
                const std::string progId = VarToStr(part(1));
                if (!ep_.options.create)
                    throw AutomationError("This server makes no objects");
                DispatchPtr object = ep_.options.create(progId);
                if (!object)
                    throw AutomationError("The object " + progId + " could not be made");
                const int id = nextId_++;
                objects_[id] = std::move(object);
                return Variant::list({"OK", id});
            }
            if (name == "INVOKE" || name == "INVOKEWITH" || name == "GET" || name == "PUT") {
                const auto found = objects_.find(part(1).toInt());
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
                ep_.report("connection from " + peer_ + " closed: no answer to a callback in time");
                shutdown();
                throw AutomationError("The client did not answer a callback within the time limit");
            }
        }
        const Variant reply = future.get();
        const std::string name = remote::MessageName(reply);
        const Variant value = reply.count() > 1 ? reply[reply.lowBound() + 1] : Variant();
        if (name == "RETURN")
            return value;
        if (name == "FAILED")
            throw AutomationError(VarToStr(value));
        ep_.report("connection from " + peer_ + " closed: a request while a callback waited for its answer");
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

    template <class Part>
    Variant signOn(const std::string& name, Part& part, bool& closeAfter)
    {
        closeAfter = true;
        if (name != "HELLO") {
            ep_.report("connection from " + peer_ + " closed: a request before the sign-on");
            return Variant::list({"REFUSED", "Sign on first"});
        }
        const std::string user = VarToStr(part(1));
        const std::string company = VarToStr(part(2));
        const std::string proof = VarToStr(part(3));
        const std::string who = "user " + user + " of company " + company + " from " + peer_;
        if (ep_.options.secret.empty() ||
            !remote::SameProof(proof, remote::AuthProof(ep_.options.secret, challenge_, user, company))) {
            ep_.report("sign-on refused for " + who + ": the installation secret does not match");
            return Variant::list({"REFUSED", "the installation secret does not match the server's"});
        }
        std::string reason;
        try {
            if (ep_.options.checkSession)
                reason = ep_.options.checkSession(user, company);
        } catch (const std::exception& e) {
            reason = e.what();
        }
        if (!reason.empty()) {
            ep_.report("sign-on refused for " + who + ": " + reason);
            return Variant::list({"REFUSED", reason});
        }
        closeAfter = false;
        signedOn_ = true;
        ep_.report("signed on: " + who);
        return Variant::list({"OK"});
    }

    RemoteEndpoint::Impl& ep_;
    tcp::socket socket_;
    std::unique_ptr<asio::ssl::stream<tcp::socket&>> tls_;
    bool greeted_ = false;
    asio::steady_timer timer_;
    std::string peer_;
    std::string challenge_;
    std::atomic<bool> signedOn_{false};
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

void RemoteEndpoint::Impl::accept()
{
    acceptor.async_accept(asio::make_strand(io), [this](const std::error_code& ec, tcp::socket socket) {
        if (stopping)
            return;
        if (!ec) {
            auto session = std::make_shared<Session>(*this, std::move(socket));
            {
                std::lock_guard lock(sessionsMutex);
                for (auto it = sessions.begin(); it != sessions.end();)
                    it = it->expired() ? sessions.erase(it) : std::next(it);
                sessions.insert(session);
            }
            session->start();
        } else if (ec != asio::error::operation_aborted) {
            report(std::string("accepting a connection failed: ") + ec.message());
            // Out of descriptors and the like: take a breath rather than spin.
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
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
        m.ioThreads.emplace_back([&m] { m.io.run(); });
}

RemoteEndpoint::~RemoteEndpoint()
{
    Impl& m = *impl_;
    m.stopping = true;
    asio::post(m.io, [&m] {
        std::error_code ignored;
        m.acceptor.close(ignored);
    });
    {
        std::lock_guard lock(m.sessionsMutex);
        for (const auto& weak : m.sessions)
            if (auto s = weak.lock())
                s->shutdown();
    }
    // Running calls finish; their answers go nowhere.
    m.workers.join();
    m.io.stop();
    for (std::thread& t : m.ioThreads)
        t.join();
}

int RemoteEndpoint::port() const { return impl_->acceptor.local_endpoint().port(); }

bool RemoteEndpoint::usesTls() const { return bool(impl_->tls); }

bool ParseListenAddress(const std::string& text, std::string& host, int& port)
{
    std::string portText;
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':')
            return false;
        host = text.substr(1, close - 1);
        portText = text.substr(close + 2);
    } else {
        const std::size_t colon = text.rfind(':');
        if (colon == std::string::npos || colon == 0)
            return false;
        host = text.substr(0, colon);
        portText = text.substr(colon + 1);
        if (host.find(':') != std::string::npos)
            return false;
    }
    if (portText.empty() || portText.size() > 5 || portText.find_first_not_of("0123456789") != std::string::npos)
        return false;
    port = std::stoi(portText);
    return port <= 65535;
}
