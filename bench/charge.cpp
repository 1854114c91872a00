// charge: load generator for Velorin, and for echo_base, its baseline. One thread,
// level-triggered epoll, non-blocking sockets with TCP_NODELAY: the client must never be
// what limits the figures.
//
//   charge --port N[,N...] [--host A] --request TEXT (--reply-len N | --reply-cr) [--expect TEXT]
//          [--connections C] [--inflight K] [--warmup S] [--duration S] [--requests N]
//          [--churn [--cycles N]] [--burst N] [--label TEXT]
//
// Ping-pong by default: C connections with K requests outstanding on each. --churn: C slots
// each connect, send one request, read the reply, close, and start over. --burst N: N
// connects at once, one request each, no warm-up. TEXT takes C escapes (\r \n \t \\ \e \xHH
// \033). With --requests or --cycles and no --duration, a run lasts at most 600 s. Several
// ports (the devices of one machine): connection i goes to the (i mod count)-th.
// Prints one line of JSON on stdout; exit status 0 if the run happened, 2 on bad usage.
//   g++ -O2 -std=c++20 -o /tmp/charge bench/charge.cpp
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Time = Clock::time_point;

constexpr auto replyTimeout = std::chrono::seconds(10);
// A connection that failed before any reply waits this long before the next attempt,
// so a refused port produces a steady trickle of errors, not a busy loop.
constexpr auto retryDelay = std::chrono::milliseconds(100);
constexpr auto checkEvery = std::chrono::milliseconds(100);
char inbuf[64 * 1024];

struct Options
{
    std::string host = "127.0.0.1";
    std::vector<int> ports; // connection i goes to ports[i % size]: one device of many each
    std::size_t connections = 1, inflight = 1;
    std::string request, expect, label;
    bool haveExpect = false;
    std::size_t replyLen = 0; // 0: a reply ends at the first CR
    double warmup = 1, duration = 5;
    std::size_t limit = 0; // --requests / --cycles; 0: none
    bool churn = false, burst = false;
    bool oneShot = false; // churn or burst: one request per connection, the client closes
    const char* mode = "pingpong";
};

[[noreturn]] void usage(const std::string& why)
{
    std::fprintf(
        stderr,
        "charge: %s\nusage: charge --port N[,N...] [--host A] --request TEXT (--reply-len N | "
        "--reply-cr)\n  [--expect TEXT] [--connections C] [--inflight K] [--warmup S] "
        "[--duration S]\n  [--requests N] [--churn [--cycles N]] [--burst N] [--label "
        "TEXT]\n",
        why.c_str());
    std::exit(2);
}

// C escapes, so that control bytes fit on a command line: '\x1bP1\r', '\e', '\033'.
std::string unescape(std::string_view s, std::string_view option)
{
    static constexpr std::string_view named = "rntefvab\\'\"?", bytes = "\r\n\t\x1b\f\v\a\b\\'\"?";
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\') {
            out += s[i];
            continue;
        }
        if (++i == s.size())
            usage(std::string(option) + ": trailing backslash");
        if (const std::size_t k = named.find(s[i]); k != std::string_view::npos) {
            out += bytes[k];
            continue;
        }
        const bool hex = s[i] == 'x';
        const char* first = s.data() + (hex ? i + 1 : i);
        const char* last = std::min(first + (hex ? 2 : 3), s.data() + s.size());
        unsigned v = 0;
        const auto [next, ec] = std::from_chars(first, last, v, hex ? 16 : 8);
        if (ec != std::errc() || v > 255)
            usage(std::string(option) + ": bad escape \\" + std::string(s.substr(i, 4)));
        out += char(v);
        i = std::size_t(next - s.data()) - 1;
    }
    return out;
}

// Integers go through strtod too, so that --requests 1e6 works.
double number(std::string_view option, const char* text, double lo, double hi, bool whole = true)
{
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text, &end);
    if (errno != 0 || end == text || *end != '\0' || !(v >= lo && v <= hi)
        || (whole && v != std::trunc(v)))
        usage(std::string(option) + ": bad value '" + text + "'");
    return v;
}

Options parse(int argc, char** argv)
{
    Options o;
    bool port = false, replyCr = false, duration = false, cycles = false;
    std::size_t burst = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "--reply-cr" || a == "--churn") {
            (a == "--churn" ? o.churn : replyCr) = true;
            continue;
        }
        if (i + 1 >= argc)
            usage("unknown option or missing value: " + std::string(a));
        const char* v = argv[++i];
        const auto count = [&](double hi) { return std::size_t(number(a, v, 1, hi)); };
        if (a == "--port") {
            o.ports.clear();
            for (std::string_view rest = v;;) {
                const std::size_t comma = rest.find(',');
                const std::string one(rest.substr(0, comma));
                o.ports.push_back(int(number(a, one.c_str(), 1, 65535)));
                if (comma == std::string_view::npos)
                    break;
                rest.remove_prefix(comma + 1);
            }
            port = true;
        } else if (a == "--host")
            o.host = v;
        else if (a == "--connections")
            o.connections = count(100000);
        else if (a == "--inflight")
            o.inflight = count(4096);
        else if (a == "--request")
            o.request = unescape(v, a);
        else if (a == "--reply-len")
            o.replyLen = count(1 << 20);
        else if (a == "--expect")
            o.expect = unescape(v, a), o.haveExpect = true;
        else if (a == "--warmup")
            o.warmup = number(a, v, 0, 3600, false);
        else if (a == "--duration")
            o.duration = number(a, v, 0.001, 3600, false), duration = true;
        else if (a == "--requests" || a == "--cycles")
            o.limit = o.limit ? std::min(o.limit, count(1e12)) : count(1e12),
            cycles = cycles || a == "--cycles";
        else if (a == "--burst")
            o.burst = true, burst = count(100000);
        else if (a == "--label")
            o.label = v;
        else
            usage("unknown option " + std::string(a));
    }
    if (!port || o.request.empty())
        usage("--port and --request are required");
    if ((o.replyLen != 0) == replyCr)
        usage("give exactly one of --reply-len and --reply-cr");
    if ((o.churn && o.burst) || (cycles && !o.churn) || (o.burst && o.limit))
        usage("--cycles goes with --churn only, and --burst takes no count but its own");
    o.oneShot = o.churn || o.burst;
    o.mode = o.burst ? "burst" : o.churn ? "churn" : "pingpong";
    if (o.oneShot && o.inflight > 1)
        usage("--inflight applies to ping-pong only");
    if (o.burst)
        o.warmup = 0, o.connections = burst;
    if (std::any_of(o.label.begin(), o.label.end(),
                    [](char ch) { return ch == '"' || ch == '\\' || (ch >= 0 && ch < ' '); }))
        usage("--label: no quotes, backslashes or control characters");
    if (o.limit && !duration)
        o.duration = 600;
    return o;
}

enum class State { Closed, Connecting, Open, Done };

struct Conn
{
    int fd = -1;
    std::uint32_t gen = 0; // tells a stale event from one for the slot's next socket
    State state = State::Closed;
    bool wantOut = false;   // EPOLLOUT registered
    bool gotReply = false;  // a reply completed on this socket
    Time retryAt{};         // when Closed: when to connect again
    std::size_t unsent = 0; // bytes not yet written: always a suffix of the request train
    std::vector<Time> sent; // ring of the outstanding requests' start times
    std::size_t head = 0, outstanding = 0;
    std::size_t pos = 0; // bytes of the current reply seen so far
    bool bad = false;    // the current reply already differs from --expect
};

class Charge
{
public:
    explicit Charge(Options o) : opt(std::move(o)), conns(opt.connections)
    {
        for (const int port : opt.ports) {
            sockaddr_in& addr = addrs.emplace_back();
            addr.sin_family = AF_INET;
            addr.sin_port = htons(std::uint16_t(port));
            if (inet_pton(AF_INET, opt.host.c_str(), &addr.sin_addr) != 1)
                usage("--host: not an IPv4 address");
        }
        for (std::size_t k = 0; k < opt.inflight; ++k)
            train += opt.request;
        for (Conn& c : conns)
            c.sent.resize(opt.inflight);
        samples.reserve(opt.limit ? std::min<std::size_t>(opt.limit, 1 << 22) : 1 << 22);
    }

    void run()
    {
        ep = epoll_create1(EPOLL_CLOEXEC);
        if (ep < 0)
            std::perror("charge: epoll_create1"), std::exit(1);
        const auto secs = [](double s) {
            return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(s));
        };
        const Time t0 = Clock::now();
        const Time warmEnd = t0 + secs(opt.warmup), measureEnd = warmEnd + secs(opt.duration);
        if (opt.burst)
            begin(t0);
        std::vector<epoll_event> events(std::min<std::size_t>(conns.size(), 1024));
        nextTick = t0; // the first tick opens every connection
        while (!stopped) {
            Time now = Clock::now();
            if (!measuring && now >= warmEnd)
                begin(now);
            if (now >= measureEnd) {
                stop(now);
                break;
            }
            if (now >= nextTick)
                tick(now);
            const Time wake = std::min(measuring ? measureEnd : warmEnd, nextTick);
            const auto ms = std::chrono::ceil<std::chrono::milliseconds>(wake - Clock::now());
            const int n = epoll_wait(ep, events.data(), int(events.size()),
                                     int(std::clamp<decltype(ms)::rep>(ms.count(), 0, 1000)));
            if (n < 0 && errno != EINTR)
                std::perror("charge: epoll_wait"), std::exit(1);
            for (int k = 0; k < n && !stopped; ++k)
                dispatch(events[std::size_t(k)]);
        }
        if (opt.burst)
            errors += conns.size() - done; // connections still without a reply
        for (Conn& c : conns)
            if (c.fd >= 0)
                ::close(c.fd);
        ::close(ep);
    }

    void report()
    {
        const double seconds =
            measuring ? std::chrono::duration<double>(endTime - measureStart).count() : 0.0;
        std::printf("{\"label\":\"%s\",\"mode\":\"%s\",\"connections\":%zu,\"inflight\":%zu,"
                    "\"requests\":%llu,\"seconds\":%.3f,\"rps\":%.1f",
                    opt.label.c_str(), opt.mode, opt.connections, opt.inflight, replies, seconds,
                    seconds > 0 ? double(replies) / seconds : 0.0);
        // Nearest rank; each nth_element only has to look above the previous rank.
        std::size_t from = 0;
        const auto print = [&](const char* name, double rank) {
            if (samples.empty())
                return void(std::printf(",\"%s\":null", name));
            const double n = double(samples.size());
            const auto k = std::size_t(std::max(std::ceil(rank * n) - 1, 0.0));
            std::nth_element(samples.begin() + long(from), samples.begin() + long(k),
                             samples.end());
            from = k;
            std::printf(",\"%s\":%.1f", name, double(samples[k]));
        };
        print("p50_us", 0.50);
        print("p90_us", 0.90);
        print("p99_us", 0.99);
        print("max_us", 1.0);
        std::printf(",\"errors\":%llu,\"mismatches\":%llu}\n", errors, mismatches);
    }

private:
    Options opt;
    std::vector<sockaddr_in> addrs;
    std::string train; // the request K times: what a connection writes in one go
    int ep = -1;
    std::vector<Conn> conns;
    std::vector<float> samples;
    unsigned long long replies = 0, errors = 0, mismatches = 0;
    bool measuring = false, stopped = false;
    std::size_t done = 0; // burst connections answered or failed
    Time measureStart{}, endTime{}, nextTick{};

    std::uint64_t key(std::size_t i) const { return std::uint64_t(conns[i].gen) << 32 | i; }

    void begin(Time now)
    {
        measuring = true;
        measureStart = now;
        samples.clear();
        replies = errors = mismatches = 0;
    }

    void stop(Time now)
    {
        if (!stopped)
            endTime = now;
        stopped = true;
    }

    // Connects what is due and ends the run if a reply is more than 10 s late.
    void tick(Time now)
    {
        nextTick = now + checkEvery;
        for (std::size_t i = 0; i < conns.size() && !stopped; ++i) {
            Conn& c = conns[i];
            if (c.state == State::Closed && now >= c.retryAt) {
                open(i);
            } else if (c.state == State::Closed) {
                nextTick = std::min(nextTick, c.retryAt);
            } else if (c.state != State::Done && c.outstanding > 0
                       && now - c.sent[c.head] > replyTimeout) {
                std::fprintf(stderr, "charge: no reply within 10 s, ending the run\n");
                fail(i, now);
                stop(now);
            }
        }
    }

    void open(std::size_t i)
    {
        Conn& c = conns[i];
        const Time now = Clock::now();
        c.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (c.fd < 0)
            return fail(i, now);
        const int one = 1;
        ::setsockopt(c.fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        if (opt.oneShot) // latency counts from connect()
            c.sent[0] = now, c.outstanding = 1;
        const sockaddr_in& addr = addrs[i % addrs.size()];
        const int r = ::connect(c.fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
        if (r < 0 && errno != EINPROGRESS)
            return fail(i, now); // refused, or EADDRNOTAVAIL when churn runs out of ports
        c.state = State::Connecting;
        watch(i, true, EPOLL_CTL_ADD);
        if (r == 0)
            connected(i);
    }

    void connected(std::size_t i)
    {
        Conn& c = conns[i];
        c.state = State::Open;
        if (opt.oneShot)
            c.unsent = opt.request.size();
        else
            queue(c, opt.inflight, Clock::now());
        flush(i);
    }

    void queue(Conn& c, std::size_t n, Time now)
    {
        for (std::size_t k = 0; k < n; ++k)
            c.sent[(c.head + c.outstanding++) % c.sent.size()] = now;
        c.unsent += n * opt.request.size();
    }

    void watch(std::size_t i, bool out, int op = EPOLL_CTL_MOD)
    {
        Conn& c = conns[i];
        if (c.wantOut == out && op == EPOLL_CTL_MOD)
            return;
        c.wantOut = out;
        epoll_event ev{};
        ev.events = EPOLLIN | (out ? unsigned(EPOLLOUT) : 0u);
        ev.data.u64 = key(i);
        if (::epoll_ctl(ep, op, c.fd, &ev) < 0)
            std::perror("charge: epoll_ctl"), std::exit(1);
    }

    void flush(std::size_t i)
    {
        Conn& c = conns[i];
        while (c.unsent > 0) {
            const char* from = train.data() + (train.size() - c.unsent);
            const ssize_t n = ::send(c.fd, from, c.unsent, MSG_NOSIGNAL);
            if (n > 0)
                c.unsent -= std::size_t(n);
            else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                return watch(i, true);
            else if (n == 0 || errno != EINTR)
                return fail(i, Clock::now());
        }
        watch(i, false);
    }

    void close(Conn& c, State next)
    {
        if (c.fd >= 0)
            ::close(c.fd);
        c.fd = -1;
        ++c.gen;
        c.state = next;
        c.wantOut = c.gotReply = c.bad = false;
        c.unsent = c.head = c.outstanding = c.pos = 0;
        if (next == State::Done && ++done == conns.size())
            stop(Clock::now());
    }

    void fail(std::size_t i, Time now)
    {
        Conn& c = conns[i];
        ++errors;
        // One that worked may just have been closed by the server: reconnect at once.
        c.retryAt = c.gotReply ? now : now + retryDelay;
        nextTick = std::min(nextTick, c.retryAt);
        close(c, opt.burst ? State::Done : State::Closed);
    }

    void dispatch(const epoll_event& ev)
    {
        const std::size_t i = std::size_t(ev.data.u64 & 0xffffffffu);
        const auto gen = std::uint32_t(ev.data.u64 >> 32);
        Conn& c = conns[i];
        if (c.gen != gen)
            return; // for a socket closed earlier in this batch
        if (c.state == State::Connecting) {
            int err = 0;
            socklen_t len = sizeof err;
            if (::getsockopt(c.fd, SOL_SOCKET, SO_ERROR, &err, &len) < 0 || err != 0
                || (ev.events & (EPOLLERR | EPOLLHUP)))
                return fail(i, Clock::now());
            if (ev.events & EPOLLOUT)
                connected(i);
            return;
        }
        if (ev.events & (EPOLLIN | EPOLLERR | EPOLLHUP))
            readable(i);
        if (c.gen == gen && c.state == State::Open && (ev.events & EPOLLOUT))
            flush(i);
    }

    void record(Clock::duration d, bool bad, Time now)
    {
        if (!measuring)
            return;
        samples.push_back(std::chrono::duration<float, std::micro>(d).count());
        ++replies;
        mismatches += bad;
        if (opt.limit && replies >= opt.limit)
            stop(now);
    }

    void readable(std::size_t i)
    {
        Conn& c = conns[i];
        const ssize_t n = ::recv(c.fd, inbuf, sizeof inbuf, 0);
        const Time now = Clock::now();
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
            return;
        if (n <= 0)
            return fail(i, now); // reset, or EOF with a reply owed
        const char* p = inbuf;
        const char* const end = inbuf + n;
        std::size_t completed = 0;
        while (p < end) {
            const auto left = std::size_t(end - p);
            std::size_t take = left;
            bool whole = false;
            if (opt.replyLen != 0) {
                take = std::min(left, opt.replyLen - c.pos);
                whole = c.pos + take == opt.replyLen;
            } else if (const void* cr = std::memchr(p, '\r', left)) {
                take = std::size_t(static_cast<const char*>(cr) - p) + 1;
                whole = true;
            }
            if (opt.haveExpect && !c.bad)
                c.bad = c.pos + take > opt.expect.size()
                        || std::memcmp(p, opt.expect.data() + c.pos, take) != 0;
            c.pos += take;
            p += take;
            if (!whole)
                break;
            const bool bad = c.bad || (opt.haveExpect && c.pos != opt.expect.size());
            c.pos = 0;
            c.bad = false;
            if (c.outstanding == 0)
                return fail(i, now); // a reply nobody asked for
            const Time start = c.sent[c.head];
            c.head = (c.head + 1) % c.sent.size();
            --c.outstanding;
            c.gotReply = true;
            record(now - start, bad, now);
            if (opt.oneShot) {
                close(c, opt.burst ? State::Done : State::Closed);
                if (opt.churn && !stopped)
                    open(i);
                return;
            }
            ++completed;
        }
        if (completed && !stopped) {
            queue(c, completed, now);
            flush(i);
        }
    }
};

} // namespace

int main(int argc, char** argv)
{
    const Options opt = parse(argc, argv);
    std::signal(SIGPIPE, SIG_IGN);
    rlimit rl{};
    if (::getrlimit(RLIMIT_NOFILE, &rl) == 0 && rl.rlim_cur < rl.rlim_max) {
        rl.rlim_cur = rl.rlim_max; // a burst of thousands needs as many descriptors
        ::setrlimit(RLIMIT_NOFILE, &rl);
    }
    // Last resort only: the loop itself ends at warm-up + duration.
    ::alarm(unsigned(std::ceil(opt.warmup + opt.duration)) + 15);
    Charge charge(opt);
    charge.run();
    charge.report();
    return 0;
}
