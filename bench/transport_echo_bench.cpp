// Echo round-trip latency and throughput of WebSocketConnection over loopback
// TLS, on both back-ends, for 100-byte and 64 KiB text messages. Runs under
// Wine against the native tls_test_peer's echo scenario on 127.0.0.1:443;
// bench/transport_echo_bench.sh sets all of that up and prints the figures.
// Each of the eight measurements runs 2 s by default, 10 s with --long:
//   bench/transport_echo_bench.sh [--long]
//
// Under Wine the WinHTTP back-end's 64 KiB round trip is about 44 ms against
// about 1 ms on the compatibility transport. That is Wine's WinHTTP, not this
// code: its socket has Nagle's algorithm on (no TCP_NODELAY), a 64 KiB message
// leaves as four full TLS records and a 43-byte one carrying the frame's last
// 14 bytes, and that small segment waits for the peer's delayed ACK (~40 ms
// on Linux). WinHTTP offers no option to change it; the compatibility
// transport sets TCP_NODELAY on its own socket.
#include "bench_report.h"
#include "transport/transport_testing.h"
#include "transport/websocket_connection.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using VelmorTransport::BackendKind;
using VelmorTransport::ReceivedKind;
using VelmorTransport::WebSocketConnection;

// How long each measurement runs (--long: kLongPhaseTime).
std::chrono::seconds gPhaseTime{2};
constexpr std::chrono::seconds kLongPhaseTime{10};

std::shared_ptr<WebSocketConnection> connect(BackendKind backend)
{
    VelmorTransport::Testing::forceCompatibilityTransport(backend == BackendKind::Compatibility);
    std::wstring error;
    auto connection = WebSocketConnection::open(L"localhost", L"/echo", error);
    if (!connection) std::fwprintf(stderr, L"open failed: %ls\n", error.c_str());
    return connection;
}

bool receiveEcho(WebSocketConnection& connection, std::size_t expectedSize)
{
    std::string message;
    ReceivedKind kind{};
    std::wstring error;
    if (!connection.receive(message, kind, error)) {
        std::fwprintf(stderr, L"receive failed: %ls\n", error.c_str());
        return false;
    }
    if (kind != ReceivedKind::Text || message.size() != expectedSize) {
        std::fprintf(stderr, "unexpected echo of %zu bytes\n", message.size());
        return false;
    }
    return true;
}

// One message at a time: send, wait for its echo.
bool measureLatency(WebSocketConnection& connection, const std::string& message, Bench::Case& report)
{
    std::vector<double> microseconds;
    const auto end = Clock::now() + gPhaseTime;
    std::wstring error;
    while (Clock::now() < end) {
        const auto start = Clock::now();
        if (!connection.sendText(message, error)) {
            std::fwprintf(stderr, L"send failed: %ls\n", error.c_str());
            return false;
        }
        if (!receiveEcho(connection, message.size())) return false;
        microseconds.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    std::sort(microseconds.begin(), microseconds.end());
    double sum = 0;
    for (const double value : microseconds) sum += value;
    report.end("round trip: %zu echoes, mean %.0f us, median %.0f us, 99th percentile %.0f us",
               microseconds.size(), sum / static_cast<double>(microseconds.size()), microseconds[microseconds.size() / 2],
               microseconds[microseconds.size() * 99 / 100]);
    return true;
}

// A sender thread keeps sending while this thread takes the echoes back;
// TCP flow control bounds what is in flight.
bool measureThroughput(WebSocketConnection& connection, const std::string& message, Bench::Case& report)
{
    std::atomic<bool> stop{false};
    std::atomic<bool> senderDone{false};
    std::atomic<bool> sendFailed{false};
    std::atomic<std::size_t> sent{0};
    const auto start = Clock::now();
    std::thread sender([&] {
        std::wstring error;
        while (!stop) {
            if (!connection.sendText(message, error)) {
                sendFailed = true;
                break;
            }
            ++sent;
        }
        senderDone = true;
    });
    std::size_t received = 0;
    bool ok = true;
    while (ok && Clock::now() - start < gPhaseTime) {
        ok = receiveEcho(connection, message.size());
        ++received;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const std::size_t counted = received;
    stop = true;
    // Take back whatever is still on its way, so a send in progress can end.
    while (ok && (!senderDone || received < sent)) {
        if (received < sent) {
            ok = receiveEcho(connection, message.size());
            ++received;
        } else {
            std::this_thread::yield();
        }
    }
    if (!ok) connection.cancel();
    sender.join();
    if (!ok || sendFailed) return false;
    const double megabytes = static_cast<double>(counted) * static_cast<double>(message.size()) / 1e6;
    report.end("throughput: %.1f MB/s echoed (%.0f messages/s)", megabytes / seconds,
               static_cast<double>(counted) / seconds);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    const bool longRun = Bench::hasFlag(argc, argv, "--long");
    if (longRun) gPhaseTime = kLongPhaseTime;
    Bench::say("transport_echo_bench: %lld s per measurement (--long: %lld s)\n",
               static_cast<long long>(gPhaseTime.count()), static_cast<long long>(kLongPhaseTime.count()));
    int status = 0;
    for (const BackendKind backend : {BackendKind::WinHttp, BackendKind::Compatibility}) {
        const char* backendName = backend == BackendKind::WinHttp ? "WinHTTP back-end" : "compatibility transport";
        for (const std::size_t size : {std::size_t{100}, std::size_t{65536}}) {
            const std::string message(size, 'e');
            bool ok = false;
            {
                Bench::Case latency("%s, %zu-byte messages: one at a time, each waiting for its echo", backendName, size);
                if (auto connection = connect(backend)) ok = measureLatency(*connection, message, latency);
            }
            if (ok) {
                Bench::Case throughput("%s, %zu-byte messages: sending and receiving at once", backendName, size);
                auto connection = connect(backend);
                ok = connection && measureThroughput(*connection, message, throughput);
            }
            if (!ok) status = 1;
        }
    }
    return status;
}
