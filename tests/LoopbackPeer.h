#pragma once
// A raw TCP peer of the application server's endpoint on loopback, for what no well-behaved
// client sends: frames by hand, a sign-on by hand, and whether the server closed.

#include "wire/RemoteProtocol.h"
#include "wire/WireCodec.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <string>

class LoopbackPeer {
public:
    explicit LoopbackPeer(int port)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(std::uint16_t(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~LoopbackPeer() { ::close(fd_); }
    LoopbackPeer(const LoopbackPeer&) = delete;
    LoopbackPeer& operator=(const LoopbackPeer&) = delete;

    bool connected() const { return connected_; }
    // A server that closed does not end this process (no SIGPIPE).
    void send(const std::string& bytes) { (void)!::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
    // The next frame's message, Empty when the peer closed or nothing came within seconds
    // (VariantError for a frame that does not decode).
    Variant frame(double seconds = 10)
    {
        const std::string header = read(remote::kHeaderBytes, seconds);
        if (header.size() < remote::kHeaderBytes)
            return Variant();
        const std::uint32_t n = remote::FrameLength(reinterpret_cast<const unsigned char*>(header.data()));
        return DecodeWireValue(read(n, seconds));
    }
    // Whether the other side closed the connection within seconds.
    bool closedByServer(double seconds = 10)
    {
        char c;
        if (!readable(std::chrono::steady_clock::now() + std::chrono::milliseconds(int(seconds * 1000))))
            return false;
        return ::recv(fd_, &c, 1, 0) <= 0;
    }
    // Reads the greeting and signs on with a proof of secret; empty when the server said OK,
    // else what came instead.
    std::string signOn(const std::string& user, const std::string& company, const std::string& secret,
                       double seconds = 10)
    {
        const Variant greeting = frame(seconds);
        if (remote::MessageName(greeting) != remote::kGreeting)
            return "a greeting of " + described(greeting);
        const std::string challenge = VarToStr(greeting[2]);
        send(remote::Frame(
            Variant::list({"HELLO", user, company, remote::AuthProof(secret, challenge, user, company)})));
        const Variant answer = frame(seconds);
        return remote::MessageName(answer) == "OK" ? std::string() : "an answer of " + described(answer);
    }

private:
    static std::string described(const Variant& v)
    {
        if (v.isEmpty())
            return "nothing";
        const std::string name = remote::MessageName(v);
        return name + (v.count() > 1 ? " " + VarToStr(v[v.lowBound() + 1]) : std::string());
    }

    // Whether bytes (or the end) wait before the deadline; a signal does not end the wait
    // (a fuzzer's timer interrupts it every second).
    bool readable(std::chrono::steady_clock::time_point deadline)
    {
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            pollfd p{fd_, POLLIN, 0};
            const int n = ::poll(&p, 1, int(std::max<std::int64_t>(0, left.count())));
            if (n > 0)
                return true;
            if (n == 0 || errno != EINTR)
                return false;
        }
    }

    std::string read(std::size_t n, double seconds)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(int(seconds * 1000));
        std::string out;
        while (out.size() < n) {
            if (!readable(deadline))
                break;
            char buf[65536];
            const ssize_t got = ::recv(fd_, buf, std::min(sizeof buf, n - out.size()), 0);
            if (got <= 0)
                break;
            out.append(buf, std::size_t(got));
        }
        return out;
    }

    int fd_ = -1;
    bool connected_ = false;
};
