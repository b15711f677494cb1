// What a desk reads from whatever answers on the application server's address: a real
// RemoteConnection opens and makes one call through a proxy of CreateRemoteObject, and a
// loopback listener of this process plays the server from the input. The first byte picks
// the call (INVOKE, GET, PUT, or an INVOKEWITH whose callback the server may call); the
// rest is cut into frames by their 4-byte length headers: the first is the greeting, each
// further one answers the client's next frame (sign-on, CREATE, the call, a callback's
// return), and what remains, a frame cut short among it, goes last before the stream ends;
// a client that connects again gets the frames that are left.
// Property: the call succeeds or raises AutomationError, nothing else, and it ends (the
// fuzzer's -timeout holds it to that). QV_FUZZ_VERBOSE=1 prints how each call ended.

#include "FuzzSupport.h"

#include "platform/Automation.h"
#include "wire/RemoteClient.h"
#include "wire/RemoteProtocol.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>
#include <vector>

namespace {

// The longest any wait of the listener lasts; the client gives up after 200 ms.
constexpr int kWaitMs = 2000;
// The longest client frame the listener reads (a call's arguments are small).
constexpr std::uint32_t kClientFrameLimit = 1 << 20;

// One listening socket on 127.0.0.1 for the whole run.
int listener(int& port)
{
    static int fd = -1;
    static int bound = 0;
    if (fd < 0) {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t n = sizeof a;
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 8) != 0 ||
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n) != 0)
            fuzz::fail("no loopback listener");
        bound = ntohs(a.sin_port);
    }
    port = bound;
    return fd;
}

bool readable(int fd)
{
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, kWaitMs) > 0;
}

bool readExactly(int fd, char* out, std::size_t n)
{
    while (n > 0) {
        if (!readable(fd))
            return false;
        const ssize_t got = ::recv(fd, out, n, 0);
        if (got <= 0)
            return false;
        out += got;
        n -= std::size_t(got);
    }
    return true;
}

// One frame of the client, read and dropped; false when the client closed or went quiet.
bool clientFrame(int fd)
{
    unsigned char header[remote::kHeaderBytes];
    if (!readExactly(fd, reinterpret_cast<char*>(header), sizeof header))
        return false;
    const std::uint32_t length = remote::FrameLength(header);
    if (length > kClientFrameLimit)
        return false;
    std::vector<char> payload(length);
    return readExactly(fd, payload.data(), length);
}

void writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t put = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (put <= 0)
            return;
        bytes.remove_prefix(std::size_t(put));
    }
}

// The input's frames: each its header and as much of its payload as there is.
std::vector<std::string_view> framesOf(std::string_view rest)
{
    std::vector<std::string_view> frames;
    while (!rest.empty()) {
        std::size_t n = rest.size();
        if (rest.size() >= remote::kHeaderBytes) {
            const std::uint32_t length = remote::FrameLength(reinterpret_cast<const unsigned char*>(rest.data()));
            n = std::min<std::size_t>(rest.size(), remote::kHeaderBytes + std::size_t(length));
        }
        frames.push_back(rest.substr(0, n));
        rest.remove_prefix(n);
    }
    return frames;
}

// Plays the server until the call is done: the frames go out in order over the client's
// connections (a client that finds its connection closed connects again, and the next
// frame is that connection's greeting); once they are spent, a connection gets the end of
// the stream at once.
void serve(int listenFd, std::vector<std::string_view> frames, int doneFd)
{
    std::size_t next = 0;
    for (;;) {
        // A byte on doneFd: the call is over.
        pollfd p[2] = {{listenFd, POLLIN, 0}, {doneFd, POLLIN, 0}};
        if (::poll(p, 2, kWaitMs) <= 0 || p[1].revents)
            return;
        const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        for (bool greeting = true; next < frames.size(); greeting = false) {
            if (!greeting && !clientFrame(fd))
                break;
            writeAll(fd, frames[next++]);
        }
        ::shutdown(fd, SHUT_WR);
        // Until the client is done with the connection.
        char sink[4096];
        while (readable(fd) && ::recv(fd, sink, sizeof sink, 0) > 0) {
        }
        ::close(fd);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const int kind = data[0] % 4;
    const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    int port = 0;
    const int listenFd = listener(port);
    int done[2];
    if (::pipe2(done, O_CLOEXEC) != 0)
        fuzz::fail("no pipe");
    std::thread server(serve, listenFd, framesOf(rest), done[0]);

    RemoteServerOptions o;
    o.address = "127.0.0.1";
    o.port = port;
    o.user = "DS";
    o.company = "01";
    o.secret = "s3cret";
    o.connectTimeoutMs = 200;
    o.callTimeoutMs = 200;
    static const bool verbose = std::getenv("QV_FUZZ_VERBOSE") != nullptr;
    auto connection = std::make_shared<RemoteConnection>(o);
    DispatchPtr proxy = CreateRemoteObject(connection, "ReportCounterS.dmReportCounter");
    try {
        switch (kind) {
        case 0: {
            std::vector<Variant> args{"SELECT MA001 FROM QVRMA", "MA001", "01", "DEMO"};
            proxy->invoke("SimpleSQL", args);
            break;
        }
        case 1:
            proxy->get("Caption");
            break;
        case 2:
            proxy->put("Caption", Variant::list({1, "二"}));
            break;
        default: {
            int parts = 0;
            std::vector<Variant> args{"SELECT MA001 FROM QVRMA",
                                      Variant(MakeCallbackObject("Rows",
                                                                 [&parts](std::span<Variant>) {
                                                                     ++parts;
                                                                     return Variant(true);
                                                                 })),
                                      2000};
            proxy->invoke("SimpleSQLParts", args);
            break;
        }
        }
        if (verbose)
            std::fprintf(stderr, "the call succeeded\n");
    } catch (const AutomationError& e) {
        // The one failure a call may end in.
        if (verbose)
            std::fprintf(stderr, "AutomationError: %s\n", e.what());
    } catch (const std::exception& e) {
        fuzz::fail("a remote call raised something other than AutomationError", e.what());
    } catch (...) {
        fuzz::fail("a remote call raised something that is no exception");
    }
    proxy.reset();
    connection.reset(); // closes the socket: the listener's wait for the client ends
    (void)!::write(done[1], "", 1);
    server.join();
    ::close(done[0]);
    ::close(done[1]);
    return 0;
}
