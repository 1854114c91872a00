// echo_base: the baseline for charge. A bare single-threaded epoll echo server on
// 127.0.0.1 that does no work per request, so whatever Velorin's figures are, this
// shows what the same loopback and the same client give at best.
//
//   echo_base --port N [--lifetime S]
//
// --port 0 lets the system choose. Prints "echo_base listening on N" to stderr once
// ready. SIGTERM or SIGINT end it; so does --lifetime (default 3600 s), so a script
// that forgets it leaves nothing behind.
//   g++ -O2 -std=c++20 -o /tmp/echo_base bench/echo_base.cpp
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

char buf[64 * 1024];

// Output the peer has not taken yet. While it is non-empty the connection is not read,
// so a client that does not read cannot make the server buffer without limit.
struct Conn
{
    std::vector<char> pending;
    std::size_t sent = 0;
};

std::vector<Conn> conns; // indexed by fd
int ep = -1;

[[noreturn]] void usage(const char* why)
{
    std::fprintf(stderr, "echo_base: %s\nusage: echo_base --port N [--lifetime S]\n", why);
    std::exit(2);
}

[[noreturn]] void die(const char* what)
{
    std::fprintf(stderr, "echo_base: %s: %s\n", what, std::strerror(errno));
    std::exit(1);
}

long parseNumber(const char* text, long lo, long hi, const char* why)
{
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v < lo || v > hi)
        usage(why);
    return v;
}

void watch(int fd, unsigned events, int op = EPOLL_CTL_MOD)
{
    epoll_event ev{};
    ev.events = events;
    ev.data.fd = fd;
    if (::epoll_ctl(ep, op, fd, &ev) < 0)
        die("epoll_ctl");
}

void drop(int fd)
{
    std::vector<char>().swap(conns[std::size_t(fd)].pending);
    conns[std::size_t(fd)].sent = 0;
    ::close(fd); // also takes it out of the epoll set
}

void acceptAll(int listener)
{
    for (;;) {
        const int fd = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED || errno == EPROTO)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                std::perror("echo_base: accept4");
            return;
        }
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        if (conns.size() <= std::size_t(fd))
            conns.resize(std::size_t(fd) + 1);
        watch(fd, EPOLLIN, EPOLL_CTL_ADD);
    }
}

// Writes what is pending; false if the connection had to be closed.
bool flush(int fd)
{
    Conn& c = conns[std::size_t(fd)];
    while (c.sent < c.pending.size()) {
        const ssize_t n =
            ::send(fd, c.pending.data() + c.sent, c.pending.size() - c.sent, MSG_NOSIGNAL);
        if (n > 0)
            c.sent += std::size_t(n);
        else if (n < 0 && errno == EINTR)
            continue;
        else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return true;
        else
            return drop(fd), false;
    }
    c.pending.clear();
    c.sent = 0;
    watch(fd, EPOLLIN);
    return true;
}

void echo(int fd)
{
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return;
    if (n <= 0)
        return drop(fd);
    ssize_t w = ::send(fd, buf, std::size_t(n), MSG_NOSIGNAL);
    if (w < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return drop(fd);
        w = 0;
    }
    if (w == n)
        return;
    Conn& c = conns[std::size_t(fd)];
    c.pending.assign(buf + w, buf + n);
    c.sent = 0;
    watch(fd, EPOLLOUT);
}

} // namespace

int main(int argc, char** argv)
{
    long port = -1, lifetime = 3600;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (i + 1 >= argc)
            usage("missing value");
        if (a == "--port")
            port = parseNumber(argv[++i], 0, 65535, "--port: 0 to 65535");
        else if (a == "--lifetime")
            lifetime = parseNumber(argv[++i], 1, 86400 * 7, "--lifetime: seconds");
        else
            usage("unknown option");
    }
    if (port < 0)
        usage("--port is required");

    sigset_t mask;
    sigemptyset(&mask);
    sigaddset(&mask, SIGINT);
    sigaddset(&mask, SIGTERM);
    if (::sigprocmask(SIG_BLOCK, &mask, nullptr) < 0)
        die("sigprocmask");
    const int sigfd = ::signalfd(-1, &mask, SFD_NONBLOCK | SFD_CLOEXEC);
    if (sigfd < 0)
        die("signalfd");

    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listener < 0)
        die("socket");
    const int one = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(std::uint16_t(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) < 0)
        die("bind");
    if (::listen(listener, 1024) < 0)
        die("listen");
    socklen_t len = sizeof addr;
    if (::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len) < 0)
        die("getsockname");

    ep = ::epoll_create1(EPOLL_CLOEXEC);
    if (ep < 0)
        die("epoll_create1");
    watch(listener, EPOLLIN, EPOLL_CTL_ADD);
    watch(sigfd, EPOLLIN, EPOLL_CTL_ADD);
    std::fprintf(stderr, "echo_base listening on %u\n", unsigned(ntohs(addr.sin_port)));

    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::seconds(lifetime);
    epoll_event events[256];
    for (bool running = true; running;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0) {
            std::fprintf(stderr, "echo_base: lifetime over\n");
            break;
        }
        const int n = ::epoll_wait(ep, events, 256, int(std::min<long long>(left, 1000)));
        if (n < 0 && errno != EINTR)
            die("epoll_wait");
        for (int k = 0; k < n; ++k) {
            const int fd = events[k].data.fd;
            const unsigned ev = events[k].events;
            if (fd == sigfd)
                running = false;
            else if (fd == listener)
                acceptAll(listener);
            else if (!conns[std::size_t(fd)].pending.empty()) {
                if (ev & (EPOLLERR | EPOLLHUP))
                    drop(fd);
                else if (ev & EPOLLOUT)
                    flush(fd);
            } else if (ev & (EPOLLIN | EPOLLERR | EPOLLHUP))
                echo(fd);
        }
    }
    ::close(listener);
    ::close(ep);
    return 0;
}
