// One client connection on the service port: TLS, the HTTP upgrade with its
// checks and faults, then WebSocket messages in both directions through a
// bounded send queue. What the messages mean is the SessionHost's business.
#pragma once

#include "community.h"
#include "control_api.h"
#include "server_options.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/beast/websocket.hpp>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

namespace VelmorServer {

class WebSocketSession;

// What a session needs from the server around it. All calls happen on the
// server's single I/O thread.
class SessionHost {
public:
    virtual ~SessionHost() = default;
    virtual const Faults& activeFaults() const = 0;
    virtual const TimeLimits& timeLimits() const = 0;
    // The upgrade succeeded for `user` (and no fault closes it at once).
    virtual void sessionOpened(const std::shared_ptr<WebSocketSession>& session, const std::string& user) = 0;
    virtual void textReceived(WebSocketSession& session, const std::string& text) = 0;
    virtual void binaryReceived(WebSocketSession& session) = 0;
    // Called exactly once, whatever way the session ends.
    virtual void sessionEnded(WebSocketSession& session) = 0;
    virtual void log(const std::string& line) = 0;
};

inline constexpr std::size_t kMaxIncomingMessageBytes = 2u * 1024 * 1024;  // 2 MiB, as the client's limit
inline constexpr std::size_t kMaxQueuedMessages = 1024;
inline constexpr std::size_t kMaxQueuedBytes = 8u * 1024 * 1024;

class WebSocketSession : public std::enable_shared_from_this<WebSocketSession> {
public:
    WebSocketSession(boost::asio::ip::tcp::socket socket, boost::asio::ssl::context& tls, SessionHost& host);

    void start();

    // Queues one whole text message.
    void send(std::string text);
    void inject(InjectedMessage message);
    // Queues a close frame; nothing queued after it is sent.
    void close(std::uint16_t code, std::string reason);
    // Ends the TCP connection at once, without a close frame.
    void drop();

    bool upgraded() const { return upgraded_; }
    // Open for more messages: upgraded, and not closing or gone.
    bool accepting() const { return upgraded_ && !closing_ && !dropped_ && !finished_; }
    const std::string& user() const { return user_; }  // the name it connected with
    ConnectionId id() const { return id_; }
    void setId(ConnectionId id) { id_ = id; }
    // The community no longer knows this connection (replaced, reset).
    void detach() { id_ = 0; }

private:
    struct QueueItem {
        bool isClose = false;
        InjectedMessage message;
        std::uint16_t code = 0;
        std::string reason;
    };

    void onTlsHandshake(boost::beast::error_code ec);
    void onRequest(boost::beast::error_code ec);
    void refuse(unsigned status, const std::string& body);
    void answerWithWrongAccept();
    void discardUntilClosed();
    void acceptUpgrade(const std::string& user);
    void onAccepted(boost::beast::error_code ec, const std::string& user);
    void readNext();
    void onRead(boost::beast::error_code ec, std::size_t bytes);
    void enqueue(QueueItem item);
    void pump();
    void writeFragment(unsigned index);
    void onWritten(boost::beast::error_code ec);
    void discardQueue();
    void finish();

    using Stream = boost::beast::websocket::stream<boost::beast::ssl_stream<boost::beast::tcp_stream>>;
    Stream ws_;
    SessionHost& host_;
    boost::beast::flat_buffer buffer_;
    boost::beast::http::request_parser<boost::beast::http::empty_body> parser_;
    std::string user_;
    ConnectionId id_ = 0;
    bool upgraded_ = false;
    bool closing_ = false;
    bool dropped_ = false;
    bool finished_ = false;
    bool writing_ = false;
    std::deque<QueueItem> queue_;
    std::size_t queuedBytes_ = 0;
    std::string discard_;
    boost::asio::steady_timer upgradeDelay_;  // the delay_upgrade fault
};

}  // namespace VelmorServer
