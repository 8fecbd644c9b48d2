// Load on the local community server: many concurrent TLS WebSocket clients
// in rooms, each sending one room message a second; prints the delivery
// latency percentiles (send to receipt, every receiver including the sender's
// echo) and the server's memory. Not a test: run it at a quiet moment.
// The server it starts listens on free ports of its own, not on 443.
//
//   build/native/bin/server_load_bench [--long] [--clients N] [--seconds S] [--room-size R]
//
// By default 1000 clients and 20 s of traffic, so that a run with its ramp
// stays well under two minutes on a 2-core machine; --long is 1000 clients
// and 60 s. --clients and --seconds override either.
#include "bench_report.h"
#include "server_harness.h"

#include "json/json_value.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/host_name_verification.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/websocket/ssl.hpp>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

struct Settings {
    int clients = 1000;
    int seconds = 20;
    int roomSize = 10;
};

constexpr int kLongClients = 1000;
constexpr int kLongSeconds = 60;
// How often the phases print how far they are.
constexpr auto kProgressEvery = 5s;

struct Totals {
    int connected = 0;
    int joined = 0;
    int failed = 0;
    long long sent = 0;
    long long expectedDeliveries = 0;  // every member of the sender's room, the sender included
    long long skippedSends = 0;        // a send was still being written a second later
    long long deliveredInWindow = 0;
    std::vector<std::uint32_t> latenciesMicros;
    bool sending = false;   // the timed window: clients send
    bool stopping = false;  // the benchmark closes its own connections
};

std::int64_t nowNanos() { return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count(); }

class BenchClient : public std::enable_shared_from_this<BenchClient> {
public:
    BenchClient(asio::io_context& io, asio::ssl::context& tls, int index, const Settings& settings, Totals& totals)
        : ws_(io, tls), timer_(io), index_(index), settings_(settings), totals_(totals)
    {
        name_ = "bench-" + std::to_string(index);
        const int roomIndex = index / settings.roomSize;
        room_ = "bench-room-" + std::to_string(roomIndex);
        // The last room holds the remainder when the clients do not fill it.
        roomMembers_ = std::min(settings.roomSize, settings.clients - roomIndex * settings.roomSize);
    }

    void start(std::uint16_t port)
    {
        ::SSL_set_tlsext_host_name(ws_.next_layer().native_handle(), "localhost");
        ws_.next_layer().set_verify_callback(asio::ssl::host_name_verification("localhost"));
        auto self = shared_from_this();
        beast::get_lowest_layer(ws_).async_connect(
            asio::ip::tcp::endpoint(asio::ip::make_address("127.0.0.1"), port), [self, port](beast::error_code ec) {
                if (ec) return self->fail();
                self->ws_.next_layer().async_handshake(asio::ssl::stream_base::client, [self, port](beast::error_code tlsError) {
                    if (tlsError) return self->fail();
                    self->ws_.async_handshake("localhost:" + std::to_string(port), "/websocket?user=" + self->name_,
                                              [self](beast::error_code wsError) {
                                                  if (wsError) return self->fail();
                                                  ++self->totals_.connected;
                                                  self->read();
                                              });
                });
            });
    }

    // Joins its room; the first member of each room creates it.
    void enterRoom()
    {
        if (index_ % settings_.roomSize == 0)
            write(R"({"type":"create_room","room_name":")" + room_ + R"(","game":"Benchmark","max_players":)" +
                  std::to_string(settings_.roomSize) + "}");
        pendingJoin_ = R"({"type":"join_room","room":")" + room_ + "\"}";
        flushPendingJoin();
    }

    // Sends one message a second, starting after `offset`.
    void startSending(Clock::duration offset)
    {
        timer_.expires_after(offset);
        timer_.async_wait([self = shared_from_this()](beast::error_code ec) {
            if (!ec) self->tick();
        });
    }

    void stop()
    {
        timer_.cancel();
        beast::error_code ignored;
        beast::get_lowest_layer(ws_).socket().close(ignored);
    }

private:
    void tick()
    {
        if (writing_) {
            ++totals_.skippedSends;
        } else if (totals_.sending) {
            ++totals_.sent;
            totals_.expectedDeliveries += roomMembers_;
            write(R"({"type":"message","text":")" + std::to_string(nowNanos()) + "\"}");
        }
        timer_.expires_at(timer_.expiry() + 1s);
        timer_.async_wait([self = shared_from_this()](beast::error_code ec) {
            if (!ec) self->tick();
        });
    }

    void flushPendingJoin()
    {
        if (!writing_ && !pendingJoin_.empty()) write(std::exchange(pendingJoin_, std::string()));
    }

    void write(std::string text)
    {
        writing_ = true;
        outgoing_ = std::move(text);
        ws_.async_write(asio::buffer(outgoing_), [self = shared_from_this()](beast::error_code ec, std::size_t) {
            self->writing_ = false;
            if (ec) return self->fail();
            self->flushPendingJoin();
        });
    }

    void read()
    {
        ws_.async_read(buffer_, [self = shared_from_this()](beast::error_code ec, std::size_t) {
            if (ec) return self->fail();
            self->handle(beast::buffers_to_string(self->buffer_.data()));
            self->buffer_.consume(self->buffer_.size());
            self->read();
        });
    }

    void handle(const std::string& text)
    {
        // Cheap checks first: during the ramp every arrival is news to everyone.
        const std::string_view view(text);
        if (!view.starts_with(R"({"type":"message")") && !view.starts_with(R"({"type":"room_joined")")) return;
        const auto message = Velmor::parseJsonDocument(text);
        if (!message) return;
        const std::string type = Velmor::memberText(*message, "type");
        if (type == "room_joined" && !joined_) {
            joined_ = true;
            ++totals_.joined;
        } else if (type == "message") {  // only the timed window has room messages
            const long long sentAt = std::atoll(Velmor::memberText(*message, "text").c_str());
            if (sentAt <= 0) return;
            ++totals_.deliveredInWindow;
            totals_.latenciesMicros.push_back(static_cast<std::uint32_t>((nowNanos() - sentAt) / 1000));
        }
    }

    void fail()
    {
        if (failed_ || totals_.stopping) return;
        failed_ = true;
        ++totals_.failed;
    }

    websocket::stream<beast::ssl_stream<beast::tcp_stream>> ws_;
    asio::steady_timer timer_;
    int index_;
    const Settings& settings_;
    Totals& totals_;
    std::string name_;
    std::string room_;
    int roomMembers_ = 0;
    beast::flat_buffer buffer_;
    std::string outgoing_;
    std::string pendingJoin_;
    bool writing_ = false;
    bool joined_ = false;
    bool failed_ = false;
};

// Runs the I/O loop until `done` holds or `limit` passes, calling `progress`
// every kProgressEvery meanwhile.
template <typename Condition, typename Progress>
bool runUntil(asio::io_context& io, Clock::duration limit, Condition done, Progress progress)
{
    const auto deadline = Clock::now() + limit;
    auto nextReport = Clock::now() + kProgressEvery;
    while (!done() && Clock::now() < deadline) {
        io.run_for(50ms);
        if (Clock::now() >= nextReport) {
            progress();
            nextReport += kProgressEvery;
        }
    }
    return done();
}

std::string memoryOf(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line, rss, peak;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) rss = line.substr(6);
        if (line.rfind("VmHWM:", 0) == 0) peak = line.substr(6);
    }
    const auto trim = [](std::string text) {
        text.erase(0, text.find_first_not_of(" \t"));
        return text;
    };
    return "RSS " + trim(rss) + " (peak " + trim(peak) + ")";
}

double cpuSecondsOf(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    unsigned long long user = 0, system = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) user = std::stoull(field);
        if (i == 15) system = std::stoull(field);
    }
    return static_cast<double>(user + system) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

double percentile(const std::vector<std::uint32_t>& sorted, double p)
{
    if (sorted.empty()) return 0;
    const auto index = static_cast<std::size_t>(p / 100.0 * static_cast<double>(sorted.size() - 1));
    return sorted[index] / 1000.0;
}

}  // namespace

int main(int argc, char** argv)
{
    Settings settings;
    if (Bench::hasFlag(argc, argv, "--long")) {
        settings.clients = kLongClients;
        settings.seconds = kLongSeconds;
    }
    bool usable = true;
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--long") continue;
        const int value = i + 1 < argc ? std::atoi(argv[++i]) : 0;
        if (name == "--clients") settings.clients = value;
        else if (name == "--seconds") settings.seconds = value;
        else if (name == "--room-size") settings.roomSize = value;
        else usable = false;
    }
    if (!usable || settings.clients < 1 || settings.seconds < 1 || settings.roomSize < 2 || settings.roomSize > 64) {
        std::fprintf(stderr,
                     "usage: server_load_bench [--long] [--clients N] [--seconds S] [--room-size R, 2 to 64]\n"
                     "  default %d clients, %d s; --long %d clients, %d s\n",
                     Settings{}.clients, Settings{}.seconds, kLongClients, kLongSeconds);
        return 2;
    }
    Bench::say("server_load_bench: %d clients in rooms of up to %d, %d s of traffic (--long: %d clients, %d s)\n",
               settings.clients, settings.roomSize, settings.seconds, kLongClients, kLongSeconds);
    // The benchmark's own end holds one descriptor per client too (the server
    // raises its own limit).
    rlimit files{};
    ::getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &files);

    VelmorTest::ServerProcess server;
    if (!server.startError().empty()) {
        std::fprintf(stderr, "could not start the server: %s\n", server.startError().c_str());
        return 1;
    }
    Bench::say("server: %s (pid %d), %s at start\n", server.listeningLine().c_str(), server.pid(),
               memoryOf(server.pid()).c_str());

    asio::io_context io(1);
    asio::ssl::context tls(asio::ssl::context::tls_client);
    tls.load_verify_file(VelmorTest::certsDir() + "/ca.crt");
    tls.set_verify_mode(asio::ssl::verify_peer);
    Totals totals;
    std::vector<std::shared_ptr<BenchClient>> clients;

    Bench::Case ramp("connect %d clients (TLS, WebSocket upgrade) and join %d rooms", settings.clients,
                     (settings.clients + settings.roomSize - 1) / settings.roomSize);
    const auto rampStart = Clock::now();
    const auto connectProgress = [&] {
        ramp.figure("%.0f s: %d of %d connected, %d failed", Bench::secondsSince(rampStart), totals.connected,
                    settings.clients, totals.failed);
    };
    for (int i = 0; i < settings.clients; ++i) {
        clients.push_back(std::make_shared<BenchClient>(io, tls, i, settings, totals));
        clients.back()->start(server.port());
        io.poll();  // let earlier connections progress while opening more
    }
    if (!runUntil(io, 120s, [&] { return totals.connected + totals.failed == settings.clients; }, connectProgress) ||
        totals.failed) {
        std::fprintf(stderr, "only %d of %d clients connected (%d failed)\n", totals.connected, settings.clients, totals.failed);
        return 1;
    }
    const double rampSeconds = std::chrono::duration<double>(Clock::now() - rampStart).count();
    ramp.figure("%d clients connected in %.1f s", settings.clients, rampSeconds);
    const auto joinProgress = [&] {
        ramp.figure("%.0f s: %d of %d joined their rooms", Bench::secondsSince(rampStart), totals.joined,
                    settings.clients);
    };
    // Room creators first, so every other join finds its room.
    const int rooms = (settings.clients + settings.roomSize - 1) / settings.roomSize;
    for (int i = 0; i < settings.clients; i += settings.roomSize) clients[static_cast<std::size_t>(i)]->enterRoom();
    runUntil(io, 60s, [&] { return totals.joined == rooms; }, joinProgress);
    for (int i = 0; i < settings.clients; ++i)
        if (i % settings.roomSize != 0) clients[static_cast<std::size_t>(i)]->enterRoom();
    if (!runUntil(io, 60s, [&] { return totals.joined == settings.clients; }, joinProgress)) {
        std::fprintf(stderr, "only %d of %d clients joined their rooms\n", totals.joined, settings.clients);
        return 1;
    }
    // Let the arrival news drain before measuring.
    io.run_for(2s);
    ramp.end("%d clients connected in %.1f s and joined %d rooms of up to %d; server %s", settings.clients, rampSeconds,
             rooms, settings.roomSize, memoryOf(server.pid()).c_str());

    Bench::Case traffic("traffic: every client sends one room message a second for %d s", settings.seconds);
    const double cpuBefore = cpuSecondsOf(server.pid());
    totals.sending = true;
    for (int i = 0; i < settings.clients; ++i)
        clients[static_cast<std::size_t>(i)]->startSending(std::chrono::microseconds(1000000LL * i / settings.clients));
    const auto trafficStart = Clock::now();
    const auto trafficEnd = trafficStart + std::chrono::seconds(settings.seconds);
    while (Clock::now() < trafficEnd) {
        io.run_for(std::min<Clock::duration>(kProgressEvery, trafficEnd - Clock::now()));
        if (Clock::now() < trafficEnd)
            traffic.figure("%.0f s: %lld sent, %lld of %lld deliveries so far, %d client failures",
                           Bench::secondsSince(trafficStart), totals.sent, totals.deliveredInWindow,
                           totals.expectedDeliveries, totals.failed);
    }
    totals.sending = false;
    const long long sent = totals.sent;
    const long long expected = totals.expectedDeliveries;
    io.run_for(2s);  // late deliveries of the last second are still counted
    const double cpuSeconds = cpuSecondsOf(server.pid()) - cpuBefore;
    const std::string memoryAtEnd = memoryOf(server.pid());
    totals.stopping = true;
    for (auto& client : clients) client->stop();
    io.run_for(500ms);

    auto& latencies = totals.latenciesMicros;
    std::sort(latencies.begin(), latencies.end());
    traffic.figure("%d s of traffic: %lld room messages sent (%lld sends skipped), %lld deliveries of %lld expected"
                   " (%.3f%%), %d client failures",
                   settings.seconds, sent, totals.skippedSends, totals.deliveredInWindow, expected,
                   expected ? 100.0 * static_cast<double>(totals.deliveredInWindow) / static_cast<double>(expected) : 0.0,
                   totals.failed);
    traffic.figure("delivery latency ms: p50 %.2f  p90 %.2f  p99 %.2f  p99.9 %.2f  max %.2f", percentile(latencies, 50),
                   percentile(latencies, 90), percentile(latencies, 99), percentile(latencies, 99.9),
                   latencies.empty() ? 0.0 : latencies.back() / 1000.0);
    traffic.end("server: %s at the end; %.1f CPU seconds over the %d s of traffic (%.0f%% of one core)",
                memoryAtEnd.c_str(), cpuSeconds, settings.seconds, 100.0 * cpuSeconds / settings.seconds);
    return server.stop(SIGTERM) == 0 ? 0 : 1;
}
