// WebSocketConnection: choosing the back-end, and the operations common to
// both (locks, cancel, release).
#include "transport/websocket_connection.h"

#include "transport/connection_record.h"
#include "transport/transport_testing.h"
#include "transport/winhttp_entry_points.h"

namespace VelmorTransport {

namespace {

std::atomic<bool> compatibilityForced{false};

}  // namespace

void Testing::forceCompatibilityTransport(bool force)
{
    compatibilityForced = force;
}

std::wstring withWinHttpCode(const wchar_t* text, DWORD code)
{
    return std::wstring(text) + L" (" + std::to_wstring(code) + L")";
}

std::wstring withWinsockCode(const wchar_t* text, int code)
{
    return std::wstring(text) + L" (Winsock " + std::to_wstring(code) + L")";
}

std::wstring withTlsCode(const wchar_t* text, long code)
{
    return std::wstring(text) + L" (" + std::to_wstring(code) + L").";
}

SOCKET ConnectionRecord::currentSocket()
{
    std::lock_guard lock(stateLock);
    return socket.get();
}

WebSocketConnection::WebSocketConnection() : record_(std::make_unique<ConnectionRecord>()) {}

WebSocketConnection::~WebSocketConnection()
{
    cancel();
    record_->releaseWinHttpReader();
    record_->context.reset();
    record_->credentials.reset();
    record_->session.reset();
}

std::shared_ptr<WebSocketConnection> WebSocketConnection::open(const std::wstring& host, const std::wstring& path,
                                                               std::wstring& error)
{
    error.clear();
    std::shared_ptr<WebSocketConnection> connection(new WebSocketConnection());
    ConnectionRecord& record = *connection->record_;

    const bool useWinHttp = !compatibilityForced && winHttpEntryPoints().complete();
    // A WinHTTP back-end that is present but fails is final: falling back
    // would only repeat the failure more slowly, or hide a refusal.
    const bool connected =
        useWinHttp ? record.openWinHttp(host, path, error) : record.openCompatibility(host, path, error);
    if (!connected) return nullptr;
    return connection;
}

bool ConnectionRecord::usable(std::wstring& error) const
{
    if (cancelled) {
        error = L"Connection was closed.";
        return false;
    }
    if (kind == BackendKind::None) {
        error = L"WebSocket connection is not initialized.";
        return false;
    }
    return true;
}

bool WebSocketConnection::sendText(std::string_view message, std::wstring& error)
{
    ConnectionRecord& record = *record_;
    std::lock_guard lock(record.sendLock);
    error.clear();
    if (!record.usable(error)) return false;
    return record.kind == BackendKind::WinHttp ? record.sendWinHttp(message, error)
                                               : record.writeFrame(kOpcodeText, message, error);
}

bool WebSocketConnection::receive(std::string& message, ReceivedKind& kind, std::wstring& error)
{
    ConnectionRecord& record = *record_;
    std::lock_guard lock(record.receiveLock);
    message.clear();
    error.clear();
    if (!record.usable(error)) return false;
    return record.kind == BackendKind::WinHttp ? record.receiveWinHttp(message, kind, error)
                                               : record.readMessage(message, kind, error);
}

void WebSocketConnection::cancel()
{
    ConnectionRecord& record = *record_;
    if (record.cancelled.exchange(true)) return;
    UniqueInternet webSocket;
    UniqueSocket socket;
    std::shared_ptr<WinHttpReader> reader;
    {
        std::lock_guard lock(record.stateLock);
        webSocket = std::move(record.webSocket);
        reader = record.winHttpReader;
        socket = std::move(record.socket);
    }
    // The waiting receive returns before the handle goes, so a WinHTTP call
    // that the close makes fail is never taken for a network failure.
    if (ConnectionRecord::abandonWinHttpReader(reader) && webSocket) record.shutdownWinHttp(webSocket.get());
    // Closing outside the lock: a thread blocked in a receive or send on
    // these handles wakes with an error.
    webSocket.reset();
    if (socket) ::shutdown(socket.get(), SD_BOTH);
    socket.reset();
}

BackendKind WebSocketConnection::backend() const
{
    return record_->kind;
}

}  // namespace VelmorTransport
