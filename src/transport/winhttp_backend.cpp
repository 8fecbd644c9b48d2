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

template <typename Function>
Function entryPoint(HMODULE module, const char* name)
{
    // Through the generic function pointer type, which the compiler accepts
    // as a stand-in for any other.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

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

WinHttpEntryPoints winHttpEntryPoints()
{
    static std::mutex lock;
    static WinHttpEntryPoints entryPoints;
    static bool lookedUp = false;

    std::lock_guard guard(lock);
    if (!lookedUp) {
        // The module stays loaded for the life of the process, so its handle
        // is never released.
        HMODULE module = ::GetModuleHandleW(L"winhttp.dll");
        if (!module) module = ::LoadLibraryW(L"winhttp.dll");
        if (module) {
            using Points = WinHttpEntryPoints;
            entryPoints.completeUpgrade =
                entryPoint<decltype(Points::completeUpgrade)>(module, "WinHttpWebSocketCompleteUpgrade");
            entryPoints.send = entryPoint<decltype(Points::send)>(module, "WinHttpWebSocketSend");
            entryPoints.receive = entryPoint<decltype(Points::receive)>(module, "WinHttpWebSocketReceive");
            entryPoints.close = entryPoint<decltype(Points::close)>(module, "WinHttpWebSocketClose");
            lookedUp = true;
        }
    }
    return entryPoints;
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

// WinHTTP's receive blocks on a thread of its own, one whole message per
// request from the connection's receive. Closing the WebSocket handle is
// meant to abort a receive in progress, but not every WinHTTP does so (Wine
// keeps waiting for the next frame), so cancel also abandons the request and
// the caller returns at once. The thread and this record are shared, so they
// may outlive the connection until WinHTTP lets go.
struct WinHttpReceiver {
    std::mutex lock;
    std::condition_variable changed;
    std::atomic<bool> abandoned{false};
    bool requested = false;
    bool finished = false;
    HINTERNET handle = nullptr;
    ReceivePieceFunction receivePiece = nullptr;

    bool ok = false;
    std::string message;
    ReceivedKind kind = ReceivedKind::Text;
    std::wstring error;

    static void run(const std::shared_ptr<WinHttpReceiver>& self)
    {
        std::unique_lock guard(self->lock);
        for (;;) {
            self->changed.wait(guard, [&] { return self->requested || self->abandoned; });
            if (self->abandoned) return;
            self->requested = false;
            const HINTERNET handle = self->handle;
            guard.unlock();
            std::string message;
            ReceivedKind kind = ReceivedKind::Text;
            std::wstring error;
            const bool ok = readWinHttpMessage(handle, self->receivePiece, self->abandoned, message, kind, error);
            guard.lock();
            self->ok = ok;
            self->message = std::move(message);
            self->kind = kind;
            self->error = std::move(error);
            self->finished = true;
            self->changed.notify_all();
        }
    }

    bool receive(HINTERNET webSocket, std::string& messageOut, ReceivedKind& kindOut, std::wstring& errorOut)
    {
        std::unique_lock guard(lock);
        handle = webSocket;
        finished = false;
        requested = true;
        changed.notify_all();
        changed.wait(guard, [&] { return finished || abandoned; });
        if (!finished) {
            errorOut = L"Connection was closed.";
            return false;
        }
        messageOut = std::move(message);
        kindOut = kind;
        errorOut = std::move(error);
        return ok;
    }
};

void ConnectionRecord::abandonWinHttpReceive(const std::shared_ptr<WinHttpReceiver>& receiver)
{
    if (!receiver) return;
    std::lock_guard guard(receiver->lock);
    receiver->abandoned = true;
    receiver->changed.notify_all();
}

bool ConnectionRecord::receiveWinHttp(std::string& message, ReceivedKind& receivedKind, std::wstring& error)
{
    HINTERNET handle = nullptr;
    std::shared_ptr<WinHttpReceiver> receiver;
    {
        std::lock_guard lock(stateLock);
        handle = webSocket.get();
        if (handle && !winHttpReceiver) {
            auto started = std::make_shared<WinHttpReceiver>();
            started->receivePiece = winHttpEntryPoints().receive;
            try {
                std::thread(WinHttpReceiver::run, started).detach();
                winHttpReceiver = std::move(started);
            } catch (const std::system_error&) {
                // No thread to spare: receive on this one (cancel then
                // relies on closing the handle alone).
            }
        }
        receiver = winHttpReceiver;
    }
    if (!handle || cancelled) {
        error = L"Connection was closed.";
        return false;
    }
    if (!receiver) return readWinHttpMessage(handle, winHttpEntryPoints().receive, cancelled, message, receivedKind, error);
    return receiver->receive(handle, message, receivedKind, error);
}

}  // namespace VelmorTransport
