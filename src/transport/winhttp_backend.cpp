// The WinHTTP back-end: upgrade an HTTPS request to a WebSocket and move whole
// messages through WinHTTP's synchronous WebSocket functions.
#include "transport/connection_record.h"
#include "transport/platform_support.h"
#include "transport/websocket_handshake.h"
#include "transport/winhttp_entry_points.h"

#include <condition_variable>
#include <system_error>
#include <thread>

namespace VelmorTransport {

namespace {

constexpr DWORD kReceiveBufferBytes = 8192;

// A header of the request (flags WINHTTP_QUERY_FLAG_REQUEST_HEADERS) or of the
// response, by name; false when it is not there.
bool queryHeader(HINTERNET request, DWORD flags, const wchar_t* name, std::wstring& value)
{
    DWORD size = 0;
    ::WinHttpQueryHeaders(request, WINHTTP_QUERY_CUSTOM | flags, name, WINHTTP_NO_OUTPUT_BUFFER, &size,
                          WINHTTP_NO_HEADER_INDEX);
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return false;
    std::wstring buffer(size / sizeof(wchar_t) + 1, L'\0');
    DWORD bufferSize = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    if (!::WinHttpQueryHeaders(request, WINHTTP_QUERY_CUSTOM | flags, name, buffer.data(), &bufferSize,
                               WINHTTP_NO_HEADER_INDEX)) {
        return false;
    }
    buffer.resize(bufferSize / sizeof(wchar_t));
    value = std::move(buffer);
    return true;
}

// Not every WinHTTP checks Sec-WebSocket-Accept against the key it sent
// (Wine's does not), so the upgrade is checked here too whenever the key
// can be read back; otherwise WinHTTP's own check stands.
bool acceptMatchesKey(HINTERNET request)
{
    std::wstring key;
    if (!queryHeader(request, WINHTTP_QUERY_FLAG_REQUEST_HEADERS, L"Sec-WebSocket-Key", key)) return true;
    std::wstring accept;
    std::string expected;
    return queryHeader(request, 0, L"Sec-WebSocket-Accept", accept) &&
           computeAcceptValue(strictUtf8(key), sha1Hash, expected) && strictUtf8(accept) == expected;
}

}  // namespace

WinHttpEntryPoints WinHttpEntryPointCache::get()
{
    std::lock_guard guard(lock_);
    if (!lookedUp_) {
        // The module stays loaded for the life of the process, so its handle
        // is never released.
        if (const HMODULE module = library_.module()) {
            const auto find = [&](auto& slot, const char* name) {
                // Through the generic function pointer type, which the
                // compiler accepts as a stand-in for any other.
                slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(
                    reinterpret_cast<void (*)()>(library_.find(module, name)));
            };
            find(entryPoints_.completeUpgrade, "WinHttpWebSocketCompleteUpgrade");
            find(entryPoints_.send, "WinHttpWebSocketSend");
            find(entryPoints_.receive, "WinHttpWebSocketReceive");
            find(entryPoints_.close, "WinHttpWebSocketClose");
            find(entryPoints_.shutdown, "WinHttpWebSocketShutdown");
            lookedUp_ = true;
        }
    }
    return entryPoints_;
}

namespace {

WinHttpLibrary systemWinHttp()
{
    WinHttpLibrary library;
    library.module = [] {
        HMODULE module = ::GetModuleHandleW(L"winhttp.dll");
        return module ? module : ::LoadLibraryW(L"winhttp.dll");
    };
    library.find = [](HMODULE module, const char* name) { return ::GetProcAddress(module, name); };
    return library;
}

std::mutex cacheLock;
std::shared_ptr<WinHttpEntryPointCache> standInCache;  // a test's library, while set

}  // namespace

WinHttpEntryPoints winHttpEntryPoints()
{
    static WinHttpEntryPointCache systemCache(systemWinHttp());
    std::shared_ptr<WinHttpEntryPointCache> standIn;
    {
        std::lock_guard guard(cacheLock);
        standIn = standInCache;
    }
    return standIn ? standIn->get() : systemCache.get();
}

void Testing::useWinHttpLibrary(std::optional<WinHttpLibrary> library)
{
    std::lock_guard guard(cacheLock);
    standInCache = library ? std::make_shared<WinHttpEntryPointCache>(std::move(*library)) : nullptr;
}

bool ConnectionRecord::openWinHttp(const std::wstring& host, const std::wstring& path, std::wstring& error)
{
    UniqueInternet newSession(::WinHttpOpen(L"VelmorChatClient/1.0", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                            WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!newSession) {
        error = withWinHttpCode(L"Could not initialize WinHTTP", ::GetLastError());
        return false;
    }
    ::WinHttpSetTimeouts(newSession.get(), kNetworkTimeoutMs, kNetworkTimeoutMs, kNetworkTimeoutMs, kNetworkTimeoutMs);

    UniqueInternet connection(::WinHttpConnect(newSession.get(), host.c_str(), kServicePort, 0));
    if (!connection) {
        error = withWinHttpCode(L"Could not connect to the WebSocket server", ::GetLastError());
        return false;
    }
    UniqueInternet request(::WinHttpOpenRequest(connection.get(), L"GET", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                                WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE));
    if (!request) {
        error = withWinHttpCode(L"Could not create the WebSocket request", ::GetLastError());
        return false;
    }
    if (!::WinHttpSetOption(request.get(), WINHTTP_OPTION_UPGRADE_TO_WEB_SOCKET, nullptr, 0) ||
        !::WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !::WinHttpReceiveResponse(request.get(), nullptr)) {
        error = withWinHttpCode(L"WinHTTP WebSocket upgrade failed", ::GetLastError());
        return false;
    }

    DWORD status = 0;
    DWORD statusSize = sizeof status;
    if (!::WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                               WINHTTP_HEADER_NAME_BY_INDEX, &status, &statusSize, WINHTTP_NO_HEADER_INDEX)) {
        status = 0;
    }
    if (status != 101) {
        error = L"The server rejected the WebSocket upgrade (HTTP " + std::to_wstring(status) + L").";
        return false;
    }

    if (!acceptMatchesKey(request.get())) {
        error = L"The server returned an invalid WebSocket handshake signature.";
        return false;
    }

    UniqueInternet newWebSocket(winHttpEntryPoints().completeUpgrade(request.get(), 0));
    if (!newWebSocket) {
        error = withWinHttpCode(L"Could not complete the WebSocket upgrade", ::GetLastError());
        return false;
    }
    request.reset();
    connection.reset();

    {
        std::lock_guard lock(stateLock);
        session = std::move(newSession);
        webSocket = std::move(newWebSocket);
    }
    kind = BackendKind::WinHttp;
    return true;
}

bool ConnectionRecord::sendWinHttp(std::string_view message, std::wstring& error)
{
    if (message.size() > MAXDWORD) {
        error = L"WebSocket message is too large.";
        return false;
    }
    HINTERNET handle = nullptr;
    {
        std::lock_guard lock(stateLock);
        handle = webSocket.get();
    }
    if (!handle || cancelled) {
        error = L"Connection was closed.";
        return false;
    }
    const DWORD result = winHttpEntryPoints().send(handle, WINHTTP_WEB_SOCKET_UTF8_MESSAGE_BUFFER_TYPE,
                                                   const_cast<char*>(message.data()), static_cast<DWORD>(message.size()));
    if (result != NO_ERROR) {
        error = cancelled ? L"Connection was closed." : withWinHttpCode(L"WebSocket send failed", result);
        return false;
    }
    return true;
}

namespace {

using ReceivePieceFunction = decltype(&::WinHttpWebSocketReceive);

// Reads pieces until one whole message or the server's close has arrived.
bool readWinHttpMessage(HINTERNET handle, ReceivePieceFunction receivePiece, const std::atomic<bool>& cancelled,
                        std::string& message, ReceivedKind& receivedKind, std::wstring& error)
{
    FragmentCollector collector;
    char buffer[kReceiveBufferBytes];
    for (;;) {
        if (cancelled) {
            error = L"Connection was closed.";
            return false;
        }
        DWORD received = 0;
        WINHTTP_WEB_SOCKET_BUFFER_TYPE type{};
        const DWORD result = receivePiece(handle, buffer, sizeof buffer, &received, &type);
        if (result != NO_ERROR) {
            error = cancelled ? L"Connection was closed." : withWinHttpCode(L"WebSocket receive failed", result);
            return false;
        }
        ReceivedKind family = ReceivedKind::Text;
        bool last = false;
        switch (type) {
        case WINHTTP_WEB_SOCKET_CLOSE_BUFFER_TYPE:
            // The close status is not read; the caller only learns that the
            // server closed.
            receivedKind = ReceivedKind::Close;
            return true;
        case WINHTTP_WEB_SOCKET_UTF8_MESSAGE_BUFFER_TYPE:
            last = true;
            break;
        case WINHTTP_WEB_SOCKET_UTF8_FRAGMENT_BUFFER_TYPE:
            break;
        case WINHTTP_WEB_SOCKET_BINARY_MESSAGE_BUFFER_TYPE:
            family = ReceivedKind::Binary;
            last = true;
            break;
        case WINHTTP_WEB_SOCKET_BINARY_FRAGMENT_BUFFER_TYPE:
            family = ReceivedKind::Binary;
            break;
        default:
            continue;
        }
        switch (collector.add(family, buffer, received, last)) {
        case FragmentCollector::Result::TooLarge:
            error = L"The server sent a WebSocket message larger than 2 MiB.";
            return false;
        case FragmentCollector::Result::Complete:
            message = collector.takeMessage();
            receivedKind = collector.kind();
            return true;
        case FragmentCollector::Result::More:
            break;
        }
    }
}

}  // namespace

// Why the WinHTTP receive runs on a reader thread of the connection's own:
// closing the WebSocket handle is what ends a receive in progress (Windows
// fails it with ERROR_WINHTTP_OPERATION_CANCELLED), but not every WinHTTP
// honours that: Wine's synchronous receive keeps waiting for the next frame
// until the server sends one or drops the connection. So the connection's
// receive hands each call to the reader and waits for its result or for
// cancel, which then returns at once wherever WinHTTP is.
//
// The reader is one thread per connection, started by the first receive and
// joined when the connection is destroyed. Where the closed handle did end
// its call (Windows) that join is immediate. Where it did not (Wine), the
// thread is let go and "lingers" until the server sends or closes, holding
// WinHTTP's connection open meanwhile. Lingering readers are counted
// process-wide; past kMaxLingeringReaders, cancel first sends a close frame
// with WinHttpWebSocketShutdown, so that the server's answer ends the stuck
// receive, and reconnecting cannot pile up threads and sockets. On a WinHTTP
// that honours the closed handle that limit is never reached, and cancel
// sends nothing, as everywhere else.
struct WinHttpReader {
    std::mutex lock;
    std::condition_variable changed;
    // The reader's view of the cancel flag: cancel sets it before it closes
    // the handle, so a call that fails because of the close reads as
    // "Connection was closed.". Kept here because the thread may outlive
    // the connection record.
    std::atomic<bool> abandoned{false};
    bool requested = false;
    bool inCall = false;     // inside WinHTTP's receive
    bool finished = false;   // a result waits for the caller
    bool lingering = false;  // counted in lingeringReaders
    HINTERNET handle = nullptr;
    ReceivePieceFunction receivePiece = nullptr;

    bool ok = false;
    std::string message;
    ReceivedKind kind = ReceivedKind::Text;
    std::wstring error;

    static void run(const std::shared_ptr<WinHttpReader>& self);
    bool receive(HINTERNET webSocket, std::string& messageOut, ReceivedKind& kindOut, std::wstring& errorOut);
};

namespace {

constexpr int kMaxLingeringReaders = 2;
std::atomic<int> lingeringReaders{0};

// How long destruction waits for a reader to leave WinHTTP after cancel
// closed its handle; where closing ends the call this is a few milliseconds.
constexpr auto kReaderJoinWait = std::chrono::milliseconds(250);

}  // namespace

void WinHttpReader::run(const std::shared_ptr<WinHttpReader>& self)
{
    std::unique_lock guard(self->lock);
    for (;;) {
        self->changed.wait(guard, [&] { return self->requested || self->abandoned; });
        if (self->abandoned) return;
        self->requested = false;
        self->inCall = true;
        const HINTERNET handle = self->handle;
        guard.unlock();
        std::string message;
        ReceivedKind kind = ReceivedKind::Text;
        std::wstring error;
        const bool ok = readWinHttpMessage(handle, self->receivePiece, self->abandoned, message, kind, error);
        guard.lock();
        self->inCall = false;
        if (self->lingering) {
            self->lingering = false;
            --lingeringReaders;
        }
        self->ok = ok;
        self->message = std::move(message);
        self->kind = kind;
        self->error = std::move(error);
        self->finished = true;
        self->changed.notify_all();
    }
}

bool WinHttpReader::receive(HINTERNET webSocket, std::string& messageOut, ReceivedKind& kindOut, std::wstring& errorOut)
{
    std::unique_lock guard(lock);
    handle = webSocket;
    finished = false;
    requested = true;
    changed.notify_all();
    changed.wait(guard, [&] { return finished || abandoned; });
    if (abandoned) {
        errorOut = L"Connection was closed.";
        return false;
    }
    messageOut = std::move(message);
    kindOut = kind;
    errorOut = std::move(error);
    return ok;
}

bool ConnectionRecord::abandonWinHttpReader(const std::shared_ptr<WinHttpReader>& reader)
{
    if (!reader) return false;
    std::lock_guard guard(reader->lock);
    reader->abandoned = true;
    reader->changed.notify_all();
    if (!reader->inCall || reader->lingering) return false;
    // Counted until the call returns; where the closed handle ends it, that
    // is at once.
    reader->lingering = true;
    return lingeringReaders.fetch_add(1) >= kMaxLingeringReaders;
}

void ConnectionRecord::shutdownWinHttp(HINTERNET webSocketHandle)
{
    const auto shutdown = winHttpEntryPoints().shutdown;
    // Never while a message is going out: the close frame must not land in
    // the middle of it, and cancel must not wait for a blocked send.
    std::unique_lock sending(sendLock, std::try_to_lock);
    if (!shutdown || !sending.owns_lock()) return;
    shutdown(webSocketHandle, WINHTTP_WEB_SOCKET_ENDPOINT_TERMINATED_CLOSE_STATUS, nullptr, 0);
}

void ConnectionRecord::releaseWinHttpReader()
{
    if (!winHttpReaderThread.joinable()) return;
    bool idle = false;
    {
        std::unique_lock guard(winHttpReader->lock);
        idle = winHttpReader->changed.wait_for(guard, kReaderJoinWait, [&] { return !winHttpReader->inCall; });
    }
    // An idle reader has seen abandoned and ends; one still inside WinHTTP
    // is counted as lingering and ends when WinHTTP lets go.
    if (idle) {
        winHttpReaderThread.join();
    } else {
        winHttpReaderThread.detach();
    }
}

bool ConnectionRecord::receiveWinHttp(std::string& message, ReceivedKind& receivedKind, std::wstring& error)
{
    HINTERNET handle = nullptr;
    std::shared_ptr<WinHttpReader> reader;
    {
        std::lock_guard lock(stateLock);
        handle = webSocket.get();
        reader = winHttpReader;
    }
    if (!handle || cancelled) {
        error = L"Connection was closed.";
        return false;
    }
    if (!reader) {
        // Started with only the receive lock held, which keeps any other
        // receive out; then published under the state lock, where a cancel
        // that came in between is seen.
        auto started = std::make_shared<WinHttpReader>();
        started->receivePiece = winHttpEntryPoints().receive;
        std::thread thread;
        try {
            thread = std::thread(WinHttpReader::run, started);
        } catch (const std::system_error&) {
            // No thread to spare: receive on this one (cancel then relies
            // on closing the handle alone).
            return readWinHttpMessage(handle, winHttpEntryPoints().receive, cancelled, message, receivedKind, error);
        }
        bool published = false;
        {
            std::lock_guard lock(stateLock);
            if (!cancelled && webSocket) {
                winHttpReader = started;
                winHttpReaderThread = std::move(thread);
                published = true;
            }
        }
        if (!published) {
            abandonWinHttpReader(started);
            thread.join();
            error = L"Connection was closed.";
            return false;
        }
        reader = std::move(started);
    }
    return reader->receive(handle, message, receivedKind, error);
}

}  // namespace VelmorTransport
