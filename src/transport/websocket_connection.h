// The one WebSocket connection over TLS through which the client talks to the
// service, on port 443. It moves whole messages of bytes (UTF-8 text) and
// reports failures as English texts; it knows nothing of the chat protocol.
//
// Behind it sit two back-ends: WinHTTP's WebSocket functions whenever the
// platform has them, otherwise the compatibility transport (a socket, TLS 1.2
// through Schannel, and the client's own handshake and framing).
//
// Threads: one thread receives, any thread sends (whole messages are
// serialised), any thread cancels. Inside, the receive lock comes before the
// send lock and the state lock is innermost; none is held across a call
// that blocks, except the receive and send locks around their own calls.
#pragma once

#include "transport/received_kind.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace VelmorTransport {

enum class BackendKind : std::int32_t {
    None = 0,
    WinHttp = 1,
    Compatibility = 2,
};

struct ConnectionRecord;

class WebSocketConnection {
public:
    // Connects and completes the WebSocket handshake. host: the host name;
    // path: the request target with its query. Returns an empty pointer on
    // failure, with error saying why (error is emptied first).
    static std::shared_ptr<WebSocketConnection> open(const std::wstring& host, const std::wstring& path,
                                                     std::wstring& error);

    // Sends one whole text message; true once all of it was handed to the
    // network. Any thread.
    bool sendText(std::string_view message, std::wstring& error);

    // Blocks until one whole message arrives. A close from the server is
    // ReceivedKind::Close with an empty message; it does not cancel the
    // connection. One caller at a time.
    bool receive(std::string& message, ReceivedKind& kind, std::wstring& error);

    // Makes the connection unusable at once and wakes a blocked send or
    // receive. No close frame is sent. Any thread, any number of times.
    void cancel();

    BackendKind backend() const;

    ~WebSocketConnection();
    WebSocketConnection(const WebSocketConnection&) = delete;
    WebSocketConnection& operator=(const WebSocketConnection&) = delete;

private:
    WebSocketConnection();

    std::unique_ptr<ConnectionRecord> record_;
};

}  // namespace VelmorTransport
