#include "wire/RemoteClient.h"

#include "wire/RemoteProtocol.h"
#include "wire/WireCodec.h"

#include <asio.hpp>
#include <asio/ssl.hpp>

#include <cerrno>
#include <poll.h>
#include <sys/socket.h>

namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point after(int ms)
{
    return Clock::now() + std::chrono::milliseconds(ms > 0 ? ms : 1);
}

// A frame's payload is read in pieces of this size, so that the buffer grows with the
// bytes that came instead of with the length the header claims.
constexpr std::size_t kReadPiece = 64 * 1024;

// What is wrong with the shape of a message: it must be a list from 0 of at least parts
// parts, the first its name as text. Empty when nothing is.
std::string shapeProblem(const Variant& message, int parts)
{
    if (!message.isArray() || message.dimCount() != 1)
        return "a message that is no list";
    if (message.lowBound() != 0)
        return "a message whose list starts at " + std::to_string(message.lowBound()) + ", not at 0";
    if (message.count() < parts)
        return "a message of " + std::to_string(message.count()) + " parts where " + std::to_string(parts) +
               " are due";
    if (message[0].type() != VarType::String)
        return "a message without its name";
    return {};
}

bool isText(const Variant& v) { return v.type() == VarType::String; }

bool isWholeNumber(const Variant& v) { return v.type() == VarType::Int || v.type() == VarType::Int64; }

// A one-dimensional list from 0 (of count elements when count >= 0).
bool isList(const Variant& v, int count = -1)
{
    return v.isArray() && v.dimCount() == 1 && v.lowBound() == 0 && (count < 0 || v.count() == count);
}

bool isChallenge(const Variant& v)
{
    if (!isText(v))
        return false;
    const std::string& text = v.toString();
    if (text.size() != 32)
        return false;
    for (const char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))
            return false;
    return true;
}

} // namespace

struct RemoteConnection::Io {
    asio::io_context context;
    asio::ip::tcp::socket socket{context};
    std::unique_ptr<asio::ssl::context> tlsContext;
    std::unique_ptr<asio::ssl::stream<asio::ip::tcp::socket&>> tls;

    // The plain socket, or the TLS stream over it once there is one.
    template <class F>
    void stream(F&& f)
    {
        if (tls)
            f(*tls);
        else
            f(socket);
    }
};

RemoteConnection::RemoteConnection(RemoteServerOptions options)
    : options_(std::move(options)), io_(std::make_unique<Io>())
{
}

RemoteConnection::~RemoteConnection() { close(); }

std::string RemoteConnection::where() const
{
    const bool v6 = options_.address.find(':') != std::string::npos;
    return (v6 ? "[" + options_.address + "]" : options_.address) + ":" + std::to_string(options_.port);
}

bool RemoteConnection::isOpen() const { return open_; }

void RemoteConnection::close()
{
    std::lock_guard lock(mutex_);
    open_ = false;
    std::error_code ignored;
    io_->tls.reset();
    io_->socket.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
    io_->socket.close(ignored);
}

void RemoteConnection::broken(const std::string& why)
{
    close();
    throw AutomationError(why);
}

void RemoteConnection::unreadable(const std::string& why)
{
    broken("The application server at " + where() + " sent an answer that could not be read (" + why +
           "); the next call connects again");
}

// Runs the pending operation until it is done or the deadline passes; then the socket is
// closed, the operation ends as aborted and the caller learns the time ran out.
void RemoteConnection::run(Clock::time_point deadline, const char* during)
{
    io_->context.restart();
    io_->context.run_until(deadline);
    if (io_->context.stopped())
        return;
    std::error_code ignored;
    io_->socket.close(ignored);
    io_->context.restart();
    io_->context.run();
    open_ = false;
    io_->tls.reset();
    throw AutomationError("The application server at " + where() + " did not answer within the time limit (" +
                          during + "); the call was given up and the next call connects again");
}

// The server closed the connection while it was idle (its IdleTimeOut, a restart): the
// socket has reached its end, or failed, before anything was asked on it.
bool RemoteConnection::hungUp()
{
    pollfd p{io_->socket.native_handle(), POLLIN, 0};
    if (::poll(&p, 1, 0) == 0)
        return false;
    if (p.revents & (POLLERR | POLLHUP | POLLNVAL))
        return true;
    char c;
    const ssize_t n = ::recv(p.fd, &c, 1, MSG_PEEK | MSG_DONTWAIT);
    return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
}

void RemoteConnection::open()
{
    std::lock_guard lock(mutex_);
    // Nothing was sent on a connection the server has since closed: a new one serves.
    if (open_ && !hungUp())
        return;
    try {
        connect();
    } catch (const AutomationError&) {
        throw;
    } catch (const std::exception& e) {
        // Nothing but AutomationError leaves: what else fails here is this side's (TLS
        // context, memory), and the connection is given up all the same.
        broken("The connection to the application server at " + where() + " could not be made: " + e.what());
    }
}

void RemoteConnection::connect()
{
    close();
    const Clock::time_point deadline = after(options_.connectTimeoutMs);
    std::error_code ec;
    asio::ip::tcp::resolver resolver(io_->context);
    const auto endpoints = resolver.resolve(options_.address, std::to_string(options_.port), ec);
    if (ec)
        throw AutomationError("The application server " + where() + " cannot be found: " + ec.message());
    ec = asio::error::would_block;
    asio::async_connect(io_->socket, endpoints, [&](const std::error_code& e, const asio::ip::tcp::endpoint&) { ec = e; });
    run(deadline, "connecting");
    if (ec) {
        close();
        throw AutomationError("The application server at " + where() + " cannot be reached: " + ec.message() +
                              " (is qvappserver --listen running there?)");
    }
    io_->socket.set_option(asio::ip::tcp::no_delay(true), ec);

    // ["QVAS", version, challenge, tls, features]: each part of its kind before it is used.
    const Variant greeting = receive(deadline);
    // A server that holds as many connections as it may says so instead of greeting.
    if (remote::MessageName(greeting) == "REFUSED" && greeting.count() > 1 && isText(greeting[1]))
        broken("The application server at " + where() + " refused the connection: " + greeting[1].toString());
    if (remote::MessageName(greeting) != remote::kGreeting)
        broken("The program at " + where() + " is not an application server");
    if (const std::string problem = shapeProblem(greeting, 3); !problem.empty())
        unreadable("a greeting that is " + problem);
    if (!isWholeNumber(greeting[1]))
        unreadable("a greeting whose protocol version is no whole number");
    if (greeting[1].toInt64() != remote::kProtocolVersion)
        broken("The application server at " + where() + " speaks another protocol version (" +
               VarToStr(greeting[1]) + ")");
    if (!isChallenge(greeting[2]))
        unreadable("a greeting whose challenge is not 32 hexadecimal digits");
    const std::string challenge = greeting[2].toString();
    bool tls = false;
    if (greeting.count() > 3) {
        if (greeting[3].type() != VarType::Bool)
            unreadable("a greeting whose TLS flag is not true or false");
        tls = greeting[3].toBool();
    }
    callbacks_ = false;
    if (greeting.count() > 4) {
        if (!isList(greeting[4]))
            unreadable("a greeting whose features are no list from 0");
        for (const Variant& feature : greeting[4].elements()) {
            if (!isText(feature))
                unreadable("a greeting with a feature that is no text");
            callbacks_ = callbacks_ || feature.toString() == remote::kCallbacksFeature;
        }
    }
    startTls(tls, deadline);
    send(remote::Frame(Variant::list({"HELLO", options_.user, options_.company,
                                      remote::AuthProof(options_.secret, challenge, options_.user, options_.company)})),
         deadline);
    // ["OK"] or ["REFUSED", reason].
    const Variant answer = receive(deadline);
    if (const std::string problem = shapeProblem(answer, 1); !problem.empty())
        unreadable("an answer to the sign-on that is " + problem);
    const std::string name = answer[0].toString();
    if (name == "REFUSED") {
        if (answer.count() > 1 && !isText(answer[1]))
            unreadable("a refusal whose reason is no text");
        broken("The application server at " + where() + " refused the connection: " +
               (answer.count() > 1 ? answer[1].toString() : std::string("no reason given")));
    }
    if (name != "OK")
        broken("The application server at " + where() + " answered the sign-on with something else");
    open_ = true;
    ++generation_;
}

void RemoteConnection::startTls(bool serverOffers, Clock::time_point deadline)
{
    const bool wanted = !options_.tlsTrustFile.empty();
    if (!serverOffers && !wanted)
        return;
    if (!serverOffers)
        broken("The application server at " + where() +
               " does not offer TLS, which this client asks for (TlsCertificate in BriskoC.ini)");
    if (!wanted)
        broken("The application server at " + where() +
               " takes TLS connections only: name its certificate as TlsCertificate in [Server Information] of "
               "BriskoC.ini");
    auto context = std::make_unique<asio::ssl::context>(asio::ssl::context::tls_client);
    std::error_code ec;
    context->set_options(asio::ssl::context::no_sslv2 | asio::ssl::context::no_sslv3 | asio::ssl::context::no_tlsv1 |
                         asio::ssl::context::no_tlsv1_1);
    context->load_verify_file(options_.tlsTrustFile, ec);
    if (ec)
        broken("The certificate file " + options_.tlsTrustFile + " (TlsCertificate) cannot be read: " + ec.message());
    context->set_verify_mode(asio::ssl::verify_peer);
    context->set_verify_callback(asio::ssl::host_name_verification(options_.address));
    io_->tlsContext = std::move(context);
    io_->tls = std::make_unique<asio::ssl::stream<asio::ip::tcp::socket&>>(io_->socket, *io_->tlsContext);
    std::error_code parsed;
    asio::ip::make_address(options_.address, parsed);
    if (parsed) // a name, which the server may need to pick its certificate
        SSL_set_tlsext_host_name(io_->tls->native_handle(), options_.address.c_str());
    ec = asio::error::would_block;
    io_->tls->async_handshake(asio::ssl::stream_base::client, [&](const std::error_code& e) { ec = e; });
    run(deadline, "the TLS handshake");
    if (ec)
        broken("The TLS handshake with the application server at " + where() + " failed: " + ec.message());
}

void RemoteConnection::send(const std::string& bytes, Clock::time_point deadline)
{
    std::error_code ec = asio::error::would_block;
    io_->stream([&](auto& s) {
        asio::async_write(s, asio::buffer(bytes), [&](const std::error_code& e, std::size_t) { ec = e; });
    });
    run(deadline, "sending");
    if (ec)
        broken("The connection to the application server at " + where() + " broke while sending (" + ec.message() +
               "); the next call connects again");
}

Variant RemoteConnection::receive(Clock::time_point deadline)
{
    unsigned char header[remote::kHeaderBytes];
    std::error_code ec = asio::error::would_block;
    io_->stream([&](auto& s) {
        asio::async_read(s, asio::buffer(header), [&](const std::error_code& e, std::size_t) { ec = e; });
    });
    run(deadline, "waiting for the answer");
    if (ec)
        broken("The connection to the application server at " + where() + " broke during the call (" + ec.message() +
               "); the next call connects again");
    const std::uint32_t length = remote::FrameLength(header);
    if (length > options_.maxFrameBytes)
        broken("The application server at " + where() + " sent an answer of " + std::to_string(length) +
               " bytes, more than the limit of " + std::to_string(options_.maxFrameBytes));
    // The buffer grows piece by piece as the bytes come: a header that claims more than
    // is sent costs no more memory than what was sent.
    std::string payload;
    while (payload.size() < length) {
        const std::size_t had = payload.size();
        const std::size_t piece = std::min<std::size_t>(kReadPiece, length - had);
        payload.resize(had + piece);
        ec = asio::error::would_block;
        io_->stream([&](auto& s) {
            asio::async_read(s, asio::buffer(payload.data() + had, piece),
                             [&](const std::error_code& e, std::size_t) { ec = e; });
        });
        run(deadline, "reading the answer");
        if (ec)
            broken("The connection to the application server at " + where() + " broke during the call (" +
                   ec.message() + "); the next call connects again");
    }
    try {
        return DecodeWireValue(payload);
    } catch (const std::exception& e) {
        unreadable(e.what());
    }
}

namespace {

// The answer to the server's call of a callback (["CALL", position, method, args], its
// shape checked): ["RETURN", value] or ["FAILED", why].
std::string callbackAnswer(const Variant& call, std::span<const DispatchPtr> callbacks)
{
    try {
        const int index = call[1].toInt();
        if (index < 0 || std::size_t(index) >= callbacks.size() || !callbacks[std::size_t(index)])
            throw AutomationError("The server called a callback the call did not pass");
        std::vector<Variant> args = call[3].elements();
        return remote::Frame(Variant::list({"RETURN", callbacks[std::size_t(index)]->invoke(call[2].toString(), args)}));
    } catch (const std::exception& e) {
        return remote::Frame(Variant::list({"FAILED", std::string(e.what())}));
    }
}

} // namespace

Variant RemoteConnection::request(const Variant& message, std::span<const DispatchPtr> callbacks)
{
    std::lock_guard lock(mutex_);
    try {
        return requestChecked(message, callbacks);
    } catch (const AutomationError&) {
        throw;
    } catch (const std::exception& e) {
        // The checks below leave nothing else to throw; should anything, it is the answer's.
        unreadable(e.what());
    }
}

Variant RemoteConnection::requestChecked(const Variant& message, std::span<const DispatchPtr> callbacks)
{
    open();
    std::string frame;
    try {
        frame = remote::Frame(message);
    } catch (const std::exception& e) {
        throw AutomationError(e.what());
    }
    Clock::time_point deadline = after(options_.callTimeoutMs);
    send(frame, deadline);
    Variant answer = receive(deadline);
    while (remote::MessageName(answer) == "CALL" && !callbacks.empty()) {
        if (const std::string problem = shapeProblem(answer, 4); !problem.empty())
            unreadable("a callback's call that is " + problem);
        if (answer[1].type() != VarType::Int || !isText(answer[2]) || !isList(answer[3]))
            unreadable("a callback's call whose position, method or arguments are not of their kind");
        // The call is alive: its time limit starts again with each callback.
        const std::string reply = callbackAnswer(answer, callbacks);
        deadline = after(options_.callTimeoutMs);
        send(reply, deadline);
        answer = receive(deadline);
    }
    if (const std::string problem = shapeProblem(answer, 1); !problem.empty())
        unreadable(problem);
    const std::string name = answer[0].toString();
    if (name == "ERROR") {
        if (answer.count() > 1 && !isText(answer[1]))
            unreadable("a failure whose message is no text");
        throw AutomationError(answer.count() > 1 ? answer[1].toString() : "The application server reported a failure");
    }
    if (name != "OK")
        broken("The application server at " + where() + " answered a call with something else");
    return answer;
}

namespace {

class RemoteObject : public Dispatch {
public:
    RemoteObject(std::shared_ptr<RemoteConnection> connection, std::string progId)
        : connection_(std::move(connection)), progId_(std::move(progId))
    {
    }

    Variant invoke(std::string_view name, std::span<Variant> args) override
    {
        return guarded([&] {
            std::vector<Variant> values(args.begin(), args.end());
            std::vector<DispatchPtr> callbacks(args.size());
            std::vector<Variant> positions;
            for (std::size_t i = 0; i < args.size(); ++i)
                if (args[i].isDispatch()) {
                    callbacks[i] = args[i].toDispatch();
                    values[i] = Variant();
                    positions.push_back(int(i));
                }
            const Variant sent = Variant::list(std::move(values));
            // ["OK", result, the arguments as the member left them].
            const Variant answer =
                positions.empty()
                    ? call([&](int id) { return Variant::list({"INVOKE", id, std::string(name), sent}); })
                    : call([&](int id) {
                          if (!connection_->takesCallbacks())
                              throw AutomationError("The application server at " + connection_->where() +
                                                    " takes no callbacks (" + std::string(name) + ")");
                          return Variant::list({"INVOKEWITH", id, std::string(name), sent, Variant::list(positions)});
                      }, callbacks);
            if (answer.count() < 3)
                connection_->unreadable("an answer to " + std::string(name) + " without its result and arguments");
            const Variant& back = answer[2];
            if (!isList(back, int(args.size())))
                connection_->unreadable("an answer to " + std::string(name) + " whose arguments are not a list of " +
                                        std::to_string(args.size()) + " from 0");
            for (std::size_t i = 0; i < args.size(); ++i)
                if (!callbacks[i])
                    args[i] = back[int(i)];
            return answer[1];
        });
    }

    bool takesCallbacks()
    {
        try {
            connection_->open();
        } catch (const AutomationError&) {
            return false;
        }
        return connection_->takesCallbacks();
    }

    Variant get(std::string_view name) override
    {
        return guarded([&] {
            // ["OK", value].
            const Variant answer = call([&](int id) { return Variant::list({"GET", id, std::string(name)}); });
            if (answer.count() < 2)
                connection_->unreadable("an answer to " + std::string(name) + " without its value");
            return answer[1];
        });
    }

    void put(std::string_view name, const Variant& value) override
    {
        guarded([&] {
            call([&](int id) { return Variant::list({"PUT", id, std::string(name), value}); });
            return Variant();
        });
    }

private:
    // Nothing but AutomationError leaves a call: the answers are checked before use, and
    // whatever might still throw otherwise came of the server's answer.
    template <class F>
    Variant guarded(F f)
    {
        try {
            return f();
        } catch (const AutomationError&) {
            throw;
        } catch (const std::exception& e) {
            connection_->unreadable(e.what());
        }
    }

    template <class Make>
    Variant call(Make make, std::span<const DispatchPtr> callbacks = {})
    {
        // The object lives on one connection: after a new one (also one made because the
        // server closed the last while it was idle) it is made again.
        connection_->open();
        if (generation_ != connection_->generation() || id_ < 0) {
            id_ = -1;
            // ["OK", objectId]: an id is a whole number the server chose, not below 0.
            const Variant made = connection_->request(Variant::list({"CREATE", progId_}));
            if (made.count() < 2 || made[1].type() != VarType::Int || made[1].toInt() < 0)
                connection_->unreadable("an answer to CREATE " + progId_ + " whose object id is no number");
            id_ = made[1].toInt();
            generation_ = connection_->generation();
        }
        return connection_->request(make(id_), callbacks);
    }

    std::shared_ptr<RemoteConnection> connection_;
    std::string progId_;
    int id_ = -1;
    std::uint64_t generation_ = 0;
};

} // namespace

DispatchPtr CreateRemoteObject(std::shared_ptr<RemoteConnection> connection, std::string progId)
{
    return std::make_shared<RemoteObject>(std::move(connection), std::move(progId));
}

bool TakesCallbacks(Dispatch& object)
{
    auto* remote = dynamic_cast<RemoteObject*>(&object);
    return remote && remote->takesCallbacks();
}

namespace {

std::mutex signOnMutex;
std::string signOnUser, signOnCompany;

} // namespace

void SetProcessSignOn(const std::string& user, const std::string& company)
{
    std::lock_guard lock(signOnMutex);
    signOnUser = user;
    signOnCompany = company;
}

void ProcessSignOn(std::string& user, std::string& company)
{
    std::lock_guard lock(signOnMutex);
    user = signOnUser;
    company = signOnCompany;
}
