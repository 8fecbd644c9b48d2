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
#include <utility>

namespace VelmorServer {

// The layer between the WebSocket and TLS. It passes everything through,
// except that while it trickles (the trickle_upgrade fault) every write sends
// at most a few bytes, each piece a TLS record of its own, and completes only
// after a pause: the peer reads the answer in pieces.
template <class NextLayer>
class TricklingStream {
public:
    using executor_type = typename NextLayer::executor_type;
    using next_layer_type = NextLayer;

    template <class... Args>
    explicit TricklingStream(Args&&... args) : next_(std::forward<Args>(args)...), pause_(next_.get_executor())
    {
    }

    executor_type get_executor() noexcept { return next_.get_executor(); }
    NextLayer& next_layer() noexcept { return next_; }
    const NextLayer& next_layer() const noexcept { return next_; }

    // 0 bytes: whole writes again.
    void trickle(std::size_t bytes, std::chrono::milliseconds pause)
    {
        bytes_ = bytes;
        every_ = pause;
    }
    void cancelPause() { pause_.cancel(); }

    template <class Buffers, class Handler>
    auto async_read_some(const Buffers& buffers, Handler&& handler)
    {
        return next_.async_read_some(buffers, std::forward<Handler>(handler));
    }

    template <class Buffers, class Handler>
    auto async_write_some(const Buffers& buffers, Handler&& handler)
    {
        return boost::asio::async_initiate<Handler, void(boost::beast::error_code, std::size_t)>(
            [this](auto done, const Buffers& data) {
                if (bytes_ == 0) return next_.async_write_some(data, std::move(done));
                next_.async_write_some(boost::beast::buffers_prefix(bytes_, data),
                                       [this, done = std::move(done)](boost::beast::error_code ec, std::size_t written) mutable {
                                           if (ec) return done(ec, written);
                                           pause_.expires_after(every_);
                                           pause_.async_wait([done = std::move(done), written](boost::beast::error_code waited) mutable {
                                               done(waited, written);
                                           });
                                       });
            },
            handler, buffers);
    }

private:
    NextLayer next_;
    boost::asio::steady_timer pause_;
    std::size_t bytes_ = 0;
    std::chrono::milliseconds every_{0};
};

// The WebSocket closing handshake ends with the layer below.
template <class NextLayer>
void teardown(boost::beast::role_type role, TricklingStream<NextLayer>& stream, boost::beast::error_code& ec)
{
    using boost::beast::websocket::teardown;
    teardown(role, stream.next_layer(), ec);
}

template <class NextLayer, class Handler>
void async_teardown(boost::beast::role_type role, TricklingStream<NextLayer>& stream, Handler&& handler)
{
    using boost::beast::websocket::async_teardown;
    async_teardown(role, stream.next_layer(), std::forward<Handler>(handler));
}

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

    using Tls = boost::beast::ssl_stream<boost::beast::tcp_stream>;
    using Stream = boost::beast::websocket::stream<TricklingStream<Tls>>;
    Tls& tls() { return ws_.next_layer().next_layer(); }
    void writeHalfFrame(const std::string& payload);

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
