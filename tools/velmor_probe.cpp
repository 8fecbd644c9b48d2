// velmor-probe: a console connection probe for diagnosing networks the client
// cannot get through. It opens the same WebSocketConnection the client uses,
// sends each line of standard input as one text message and prints every
// message it receives with its kind. On any failure, the receiving side's
// included, it prints the transport's error text and exits non-zero at once,
// whatever standard input is doing; a close from the server ends it with 0.
//
//   velmor-probe.exe [--compat] [--path TARGET] [--linger SECONDS] [host]
//
// --compat forces the compatibility transport (socket + Schannel + our own
// WebSocket framing) even where WinHTTP could be used. After standard input
// ends the probe keeps listening until nothing has arrived for --linger
// seconds (default 2), then disconnects.
//
// Text is UTF-8 on the wire. A console is read and written in UTF-16
// (ReadConsoleW, WriteConsoleW), whatever its code page; pipes and files are
// bytes, passed through unchanged.
#include "build_config.h"
#include "json/text_encoding.h"
#include "transport/transport_testing.h"
#include "transport/websocket_connection.h"

#include <windows.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <deque>
#include <fcntl.h>
#include <io.h>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace {

using VelmorTransport::ReceivedKind;
using VelmorTransport::WebSocketConnection;

constexpr wchar_t kDefaultPath[] = L"/websocket?user=velmor-probe";

bool isConsole(HANDLE handle)
{
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && handle != nullptr && ::GetConsoleMode(handle, &mode);
}

void printLine(std::FILE* stream, const std::string& line)
{
    static std::mutex outputLock;
    std::lock_guard lock(outputLock);
    const HANDLE handle = ::GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    if (isConsole(handle)) {
        // The console shows UTF-16 as it is; bytes would go through its code
        // page. Invalid UTF-8 shows as U+FFFD.
        const std::wstring text = Velmor::utf8ToUtf16(line) + L"\r\n";
        DWORD written = 0;
        ::WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
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

// What the receiving and the input threads saw, for the main thread's
// decisions.
struct ProbeState {
    std::mutex lock;
    std::condition_variable changed;
    std::chrono::steady_clock::time_point lastArrival = std::chrono::steady_clock::now();
    bool finished = false;  // the receiving side is done
    bool failed = false;
    std::wstring error;
    std::deque<std::string> lines;  // read, not yet sent
    bool inputEnded = false;
};

void receiveLoop(WebSocketConnection& connection, ProbeState& state, const std::atomic<bool>& stopping)
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

void addLine(ProbeState& state, std::string line)
{
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::lock_guard lock(state.lock);
    state.lines.push_back(std::move(line));
    state.changed.notify_all();
}

// Reads standard input line by line until it ends. A console line is typed
// text, taken as UTF-16 and sent as UTF-8; a line of Ctrl+Z alone ends
// console input, as it does for the C runtime.
void inputLoop(const std::shared_ptr<ProbeState>& state)
{
    const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    if (isConsole(input)) {
        std::wstring pending;
        wchar_t buffer[512];
        DWORD count = 0;
        bool ended = false;
        while (!ended && ::ReadConsoleW(input, buffer, static_cast<DWORD>(std::size(buffer)), &count, nullptr) &&
               count > 0) {
            pending.append(buffer, count);
            for (std::size_t end; !ended && (end = pending.find(L'\n')) != std::wstring::npos;) {
                std::wstring line = pending.substr(0, end);
                pending.erase(0, end + 1);
                if (!line.empty() && line.back() == L'\r') line.pop_back();
                ended = line == L"\x1A";
                if (!ended) addLine(*state, Velmor::utf16ToUtf8(line));
            }
        }
    } else {
        std::string line;
        while (std::getline(std::cin, line)) addLine(*state, std::move(line));
    }
    std::lock_guard lock(state->lock);
    state->inputEnded = true;
    state->changed.notify_all();
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

    // Shared with the input thread, which may stay blocked in a read of
    // standard input after the connection has ended: it is not waited for,
    // and ends with the process.
    const auto shared = std::make_shared<ProbeState>();
    ProbeState& state = *shared;
    std::atomic<bool> stopping{false};
    std::thread receiver(receiveLoop, std::ref(*connection), std::ref(state), std::cref(stopping));
    std::thread(inputLoop, shared).detach();

    int status = 0;
    for (;;) {
        std::unique_lock lock(state.lock);
        state.changed.wait(lock, [&] { return state.finished || state.inputEnded || !state.lines.empty(); });
        if (state.finished || state.lines.empty()) break;
        const std::string line = std::move(state.lines.front());
        state.lines.pop_front();
        lock.unlock();
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
    if (state.failed && status == 0) {
        fail(state.error);
        status = 1;
    }
    return status;
}
