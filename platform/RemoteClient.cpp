#include "platform/RemoteClient.h"

#include "platform/RemoteProtocol.h"
#include "platform/WireCodec.h"

#include <asio.hpp>
#include <asio/ssl.hpp>

namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point after(int ms)
{
    return Clock::now() + std::chrono::milliseconds(ms > 0 ? ms : 1);
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

void RemoteConnection::open()
{
    std::lock_guard lock(mutex_);
    if (open_)
        return;
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

    const Variant greeting = receive(deadline);
    if (remote::MessageName(greeting) != remote::kGreeting || greeting.count() < 3)
        broken("The program at " + where() + " is not an application server");
    if (greeting[1].toInt() != remote::kProtocolVersion)
        broken("The application server at " + where() + " speaks another protocol version (" +
               VarToStr(greeting[1]) + ")");
    const std::string challenge = VarToStr(greeting[2]);
    callbacks_ = false;
    if (greeting.count() > 4 && greeting[4].isArray() && greeting[4].dimCount() == 1)
        for (const Variant& feature : greeting[4].elements())
            callbacks_ = callbacks_ || (feature.type() == VarType::String && VarToStr(feature) == remote::kCallbacksFeature);
    startTls(greeting.count() > 3 && greeting[3].type() == VarType::Bool && greeting[3].toBool(), deadline);
    send(remote::Frame(Variant::list({"HELLO", options_.user, options_.company,
                                      remote::AuthProof(options_.secret, challenge, options_.user, options_.company)})),
         deadline);
    const Variant answer = receive(deadline);
    const std::string name = remote::MessageName(answer);
    if (name == "REFUSED")
        broken("The application server at " + where() + " refused the connection: " +
               (answer.count() > 1 ? VarToStr(answer[1]) : std::string("no reason given")));
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
    std::string payload(length, '\0');
    ec = asio::error::would_block;
    io_->stream([&](auto& s) {
        asio::async_read(s, asio::buffer(payload), [&](const std::error_code& e, std::size_t) { ec = e; });
    });
    run(deadline, "reading the answer");
    if (ec)
        broken("The connection to the application server at " + where() + " broke during the call (" + ec.message() +
               "); the next call connects again");
    try {
        return DecodeWireValue(payload);
    } catch (const std::exception& e) {
        broken("The application server at " + where() + " sent an answer that cannot be read: " + e.what());
    }
}

Variant RemoteConnection::exchange(const Variant& message, Clock::time_point deadline)
{
    send(remote::Frame(message), deadline);
    return receive(deadline);
}

namespace {

// The answer to the server's call of a callback: ["RETURN", value] or ["FAILED", why].
std::string callbackAnswer(const Variant& call, std::span<const DispatchPtr> callbacks)
{
    try {
        const std::int64_t index = call.count() > 1 && call[call.lowBound() + 1].isNumeric() ? call[call.lowBound() + 1].toInt64() : -1;
        if (index < 0 || std::size_t(index) >= callbacks.size() || !callbacks[std::size_t(index)])
            throw AutomationError("The server called a callback the call did not pass");
        const std::string method = call.count() > 2 ? VarToStr(call[call.lowBound() + 2]) : std::string();
        const Variant sent = call.count() > 3 ? call[call.lowBound() + 3] : Variant();
        std::vector<Variant> args = sent.isArray() && sent.dimCount() == 1 ? sent.elements() : std::vector<Variant>();
        return remote::Frame(Variant::list({"RETURN", callbacks[std::size_t(index)]->invoke(method, args)}));
    } catch (const std::exception& e) {
        return remote::Frame(Variant::list({"FAILED", std::string(e.what())}));
    }
}

} // namespace

Variant RemoteConnection::request(const Variant& message, std::span<const DispatchPtr> callbacks)
{
    std::lock_guard lock(mutex_);
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
        // The call is alive: its time limit starts again with each callback.
        const std::string reply = callbackAnswer(answer, callbacks);
        deadline = after(options_.callTimeoutMs);
        send(reply, deadline);
        answer = receive(deadline);
    }
    const std::string name = remote::MessageName(answer);
    if (name == "ERROR")
        throw AutomationError(answer.count() > 1 ? VarToStr(answer[answer.lowBound() + 1])
                                                 : "The application server reported a failure");
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
            throw AutomationError("The application server's answer to " + std::string(name) + " is incomplete");
        const Variant& back = answer[2];
        if (back.isArray() && back.dimCount() == 1 && back.count() == int(args.size())) {
            for (std::size_t i = 0; i < args.size(); ++i)
                if (!callbacks[i])
                    args[i] = back[back.lowBound() + int(i)];
        }
        return answer[1];
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
        const Variant answer = call([&](int id) { return Variant::list({"GET", id, std::string(name)}); });
        return answer.count() > 1 ? answer[1] : Variant();
    }

    void put(std::string_view name, const Variant& value) override
    {
        call([&](int id) { return Variant::list({"PUT", id, std::string(name), value}); });
    }

private:
    template <class Make>
    Variant call(Make make, std::span<const DispatchPtr> callbacks = {})
    {
        // The object lives on one connection: after a new one it is made again.
        if (!connection_->isOpen() || generation_ != connection_->generation() || id_ < 0) {
            connection_->open();
            const Variant made = connection_->request(Variant::list({"CREATE", progId_}));
            id_ = made.count() > 1 ? made[1].toInt() : -1;
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
