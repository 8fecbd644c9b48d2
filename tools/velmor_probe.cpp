// velmor-probe: a console connection probe for diagnosing networks the client
// cannot get through. It opens the same WebSocketConnection the client uses,
// sends each line of standard input as one text message and prints every
// message it receives with its kind. On any failure it prints the transport's
// error text and exits non-zero.
//
//   velmor-probe.exe [--compat] [--path TARGET] [--linger SECONDS] [host]
//
// --compat forces the compatibility transport (socket + Schannel + our own
// WebSocket framing) even where WinHTTP could be used. After standard input
// ends the probe keeps listening until nothing has arrived for --linger
// seconds (default 2), then disconnects.
#include "build_config.h"
#include "json/text_encoding.h"
#include "transport/transport_testing.h"
#include "transport/websocket_connection.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <fcntl.h>
#include <io.h>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>

namespace {

using VelmorTransport::ReceivedKind;
using VelmorTransport::WebSocketConnection;

constexpr wchar_t kDefaultPath[] = L"/websocket?user=velmor-probe";

void printLine(std::FILE* stream, const std::string& line)
{
    static std::mutex outputLock;
    std::lock_guard lock(outputLock);
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

void fail(const std::wstring& error)
{
    printLine(stderr, "velmor-probe: " + Velmor::utf16ToUtf8(error.empty() ? L"failed without a reason" : error));
}

int usage()
{
    printLine(stderr, "usage: velmor-probe.exe [--compat] [--path TARGET] [--linger SECONDS] [host]");
    return 2;
}

const char* kindName(ReceivedKind kind)
{
    switch (kind) {
    case ReceivedKind::Text:
        return "text";
    case ReceivedKind::Binary:
        return "binary";
    case ReceivedKind::Close:
        return "close";
    }
    return "unknown";
}

// What the receiving thread saw, for the main thread's decisions.
struct ReceiverState {
    std::mutex lock;
    std::condition_variable changed;
    std::chrono::steady_clock::time_point lastArrival = std::chrono::steady_clock::now();
    bool finished = false;
    bool failed = false;
    std::wstring error;
};

void receiveLoop(WebSocketConnection& connection, ReceiverState& state, const std::atomic<bool>& stopping)
{
    for (;;) {
        std::string message;
        ReceivedKind kind = ReceivedKind::Text;
        std::wstring error;
        const bool ok = connection.receive(message, kind, error);
        if (ok) {
            printLine(stdout, std::string(kindName(kind)) + " " + std::to_string(message.size()) + ": " + message);
        }
        std::lock_guard lock(state.lock);
        state.lastArrival = std::chrono::steady_clock::now();
        if (!ok || kind == ReceivedKind::Close) {
            state.finished = true;
            // A receive that fails because we cancelled is the normal end.
            state.failed = !ok && !stopping;
            state.error = error;
            state.changed.notify_all();
            return;
        }
        state.changed.notify_all();
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    // Messages are printed byte for byte: no newline translation.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    std::wstring host = Velmor::kServiceHost;
    std::wstring path = kDefaultPath;
    double lingerSeconds = 2.0;
    bool compat = false;
    for (int i = 1; i < argc; ++i) {
        const std::wstring argument = argv[i];
        if (argument == L"--compat") {
            compat = true;
        } else if (argument == L"--path" && i + 1 < argc) {
            path = argv[++i];
        } else if (argument == L"--linger" && i + 1 < argc) {
            lingerSeconds = std::wcstod(argv[++i], nullptr);
            if (!(lingerSeconds >= 0)) return usage();
        } else if (!argument.empty() && argument[0] == L'-') {
            return usage();
        } else {
            host = argument;
        }
    }
    VelmorTransport::Testing::forceCompatibilityTransport(compat);

    std::wstring error;
    const auto connection = WebSocketConnection::open(host, path, error);
    if (!connection) {
        fail(error);
        return 1;
    }
    printLine(stderr, "velmor-probe: connected to " + Velmor::utf16ToUtf8(host) + " over " +
                          (connection->backend() == VelmorTransport::BackendKind::WinHttp ? "WinHTTP"
                                                                                          : "the compatibility transport"));

    ReceiverState state;
    std::atomic<bool> stopping{false};
    std::thread receiver(receiveLoop, std::ref(*connection), std::ref(state), std::cref(stopping));

    int status = 0;
    std::string line;
    while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        {
            std::lock_guard lock(state.lock);
            if (state.finished) break;
        }
        if (!connection->sendText(line, error)) {
            fail(error);
            status = 1;
            break;
        }
    }

    {
        // Listen on until the server has been quiet for the linger time.
        const auto linger = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            std::chrono::duration<double>(lingerSeconds));
        std::unique_lock lock(state.lock);
        while (status == 0 && !state.finished) {
            const auto deadline = state.lastArrival + linger;
            if (std::chrono::steady_clock::now() >= deadline) break;
            state.changed.wait_until(lock, deadline);
        }
    }
    stopping = true;
    connection->cancel();
    receiver.join();
    if (state.failed) {
        fail(state.error);
        status = 1;
    }
    return status;
}
