// One client connection; see websocket_session.h.
#include "websocket_session.h"

#include "upgrade_request.h"

#include <boost/beast/websocket/ssl.hpp>
#include <openssl/evp.h>

#include <utility>

namespace VelmorServer {

namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;

namespace {

constexpr char kServerName[] = "velmor-server";
constexpr std::size_t kTrickleBytes = 3;  // a piece of the trickled upgrade answer

// A well-formed Sec-WebSocket-Accept that is wrong for `key`: the hash of the
// key without the RFC 6455 GUID.
std::string wrongAcceptFor(std::string_view key)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(key.data(), key.size(), digest, &length, EVP_sha1(), nullptr);
    unsigned char encoded[4 * ((EVP_MAX_MD_SIZE + 2) / 3) + 1];
    const int written = EVP_EncodeBlock(encoded, digest, static_cast<int>(length));
    return std::string(reinterpret_cast<const char*>(encoded), static_cast<std::size_t>(written));
}

// The first half of one unmasked text frame carrying `payload`: the header
// announces all of it (RFC 6455 section 5.2).
std::string halfFrame(const std::string& payload)
{
    std::string frame(1, '\x81');
    const std::uint64_t size = payload.size();
    if (size < 126) {
        frame += static_cast<char>(size);
    } else if (size <= 0xFFFF) {
        frame += static_cast<char>(126);
        for (int shift = 8; shift >= 0; shift -= 8) frame += static_cast<char>((size >> shift) & 0xFF);
    } else {
        frame += static_cast<char>(127);
        for (int shift = 56; shift >= 0; shift -= 8) frame += static_cast<char>((size >> shift) & 0xFF);
    }
    frame.append(payload, 0, payload.size() / 2);
    return frame;
}

}  // namespace

WebSocketSession::WebSocketSession(boost::asio::ip::tcp::socket socket, boost::asio::ssl::context& tls, SessionHost& host)
    : ws_(std::move(socket), tls), host_(host), upgradeDelay_(ws_.get_executor())
{
    parser_.header_limit(16 * 1024);
}

void WebSocketSession::start()
{
    // Until the upgrade, one deadline covers TLS and the HTTP request, so a
    // silent or slow peer cannot hold a connection open.
    beast::get_lowest_layer(ws_).expires_after(host_.timeLimits().handshake);
    tls().async_handshake(boost::asio::ssl::stream_base::server,
                          [self = shared_from_this()](beast::error_code ec) { self->onTlsHandshake(ec); });
}

void WebSocketSession::onTlsHandshake(beast::error_code ec)
{
    if (ec) return finish();
    http::async_read(tls(), buffer_, parser_,
                     [self = shared_from_this()](beast::error_code readError, std::size_t) { self->onRequest(readError); });
}

void WebSocketSession::onRequest(beast::error_code ec)
{
    if (ec) return finish();
    const auto& request = parser_.get();
    const UpgradeDecision decision =
        decideUpgrade(request.method() == http::verb::get, websocket::is_upgrade(request), request.target());
    if (decision.status != 0) {
        host_.log("refused an upgrade with " + std::to_string(decision.status) + ": " + decision.reason);
        return refuse(decision.status, decision.reason);
    }
    const Faults& faults = host_.activeFaults();
    if (faults.refuseUpgradeStatus != 0)
        return refuse(faults.refuseUpgradeStatus, "Upgrade refused by the refuse_upgrade test fault.");
    if (faults.wrongAccept) return answerWithWrongAccept();
    if (faults.delayUpgradeMs != 0) {
        // Nothing reads meanwhile; a drop (reset, shutdown) cancels the wait.
        upgradeDelay_.expires_after(std::chrono::milliseconds(faults.delayUpgradeMs));
        upgradeDelay_.async_wait([self = shared_from_this(), user = decision.user](beast::error_code waitError) {
            if (waitError || self->dropped_) return self->finish();
            self->acceptUpgrade(user);
        });
        return;
    }
    acceptUpgrade(decision.user);
}

void WebSocketSession::refuse(unsigned status, const std::string& body)
{
    auto response = std::make_shared<http::response<http::string_body>>(static_cast<http::status>(status),
                                                                       parser_.get().version());
    response->set(http::field::server, kServerName);
    response->set(http::field::content_type, "text/plain; charset=utf-8");
    if (status == 426) response->set(http::field::upgrade, "websocket");
    if (status == 405) response->set(http::field::allow, "GET");
    const bool bodyAllowed = status != 204 && status != 304;
    if (bodyAllowed) response->body() = body + "\n";
    response->keep_alive(false);
    response->prepare_payload();
    http::async_write(tls(), *response,
                      [self = shared_from_this(), response](beast::error_code, std::size_t) {
                          beast::get_lowest_layer(self->ws_).expires_after(std::chrono::seconds(5));
                          self->tls().async_shutdown([self](beast::error_code) { self->finish(); });
                      });
}

void WebSocketSession::answerWithWrongAccept()
{
    auto response = std::make_shared<http::response<http::empty_body>>(http::status::switching_protocols,
                                                                      parser_.get().version());
    response->set(http::field::server, kServerName);
    response->set(http::field::upgrade, "websocket");
    response->set(http::field::connection, "Upgrade");
    response->set(http::field::sec_websocket_accept, wrongAcceptFor(parser_.get()[http::field::sec_websocket_key]));
    http::async_write(tls(), *response,
                      [self = shared_from_this(), response](beast::error_code ec, std::size_t) {
                          if (ec) return self->finish();
                          // Leave closing to the client, which must refuse the
                          // answer; give up after a while.
                          beast::get_lowest_layer(self->ws_).expires_after(std::chrono::seconds(30));
                          self->discardUntilClosed();
                      });
}

void WebSocketSession::discardUntilClosed()
{
    discard_.resize(4096);
    tls().async_read_some(boost::asio::buffer(discard_), [self = shared_from_this()](beast::error_code ec, std::size_t) {
        if (ec) return self->finish();
        self->discardUntilClosed();
    });
}

void WebSocketSession::acceptUpgrade(const std::string& user)
{
    // The WebSocket layer has its own time-outs from here on; the TCP
    // deadline must be off for them to work.
    beast::get_lowest_layer(ws_).expires_never();
    ws_.set_option(websocket::stream_base::timeout{host_.timeLimits().handshake, host_.timeLimits().idle, true});
    ws_.set_option(websocket::stream_base::decorator(
        [](websocket::response_type& response) { response.set(http::field::server, kServerName); }));
    ws_.read_message_max(kMaxIncomingMessageBytes);
    // Every message goes out as one frame unless a test asks for fragments.
    ws_.auto_fragment(false);
    const unsigned trickleMs = host_.activeFaults().trickleUpgradeMs;
    if (trickleMs != 0) ws_.next_layer().trickle(kTrickleBytes, std::chrono::milliseconds(trickleMs));
    ws_.async_accept(parser_.get(), [self = shared_from_this(), user](beast::error_code ec) {
        self->ws_.next_layer().trickle(0, {});
        self->onAccepted(ec, user);
    });
}

void WebSocketSession::onAccepted(beast::error_code ec, const std::string& user)
{
    if (ec) return finish();  // the library has answered a bad handshake with an HTTP error
    upgraded_ = true;
    user_ = user;
    const Faults& faults = host_.activeFaults();
    if (faults.closeAfterHandshake) {
        close(faults.closeCode, faults.closeReason);
    } else {
        host_.sessionOpened(shared_from_this(), user_);
    }
    readNext();
}

void WebSocketSession::readNext()
{
    ws_.async_read(buffer_, [self = shared_from_this()](beast::error_code ec, std::size_t bytes) { self->onRead(ec, bytes); });
}

void WebSocketSession::onRead(beast::error_code ec, std::size_t bytes)
{
    if (ec) {
        if (ec == websocket::error::message_too_big) host_.log(user_ + " sent a message larger than 2 MiB; closed with 1009");
        return finish();
    }
    std::string text = beast::buffers_to_string(buffer_.data());
    buffer_.consume(bytes);
    if (buffer_.capacity() > 64 * 1024) buffer_.shrink_to_fit();  // after a large message, give the memory back
    if (ws_.got_text()) {
        host_.textReceived(*this, text);
    } else {
        host_.binaryReceived(*this);
    }
    if (!finished_) readNext();
}

void WebSocketSession::send(std::string text)
{
    QueueItem item;
    item.message.payload = std::move(text);
    enqueue(std::move(item));
}

void WebSocketSession::inject(InjectedMessage message)
{
    QueueItem item;
    item.message = std::move(message);
    enqueue(std::move(item));
}

void WebSocketSession::close(std::uint16_t code, std::string reason)
{
    QueueItem item;
    item.isClose = true;
    item.code = code;
    item.reason = std::move(reason);
    enqueue(std::move(item));
}

void WebSocketSession::enqueue(QueueItem item)
{
    if (!upgraded_ || closing_ || dropped_ || finished_) return;
    const std::size_t size = item.message.payload.size();
    // A client that stops reading must not make the server hold its messages
    // without end. One message alone is always accepted, whatever its size.
    if (!queue_.empty() && (queue_.size() >= kMaxQueuedMessages || queuedBytes_ + size > kMaxQueuedBytes)) {
        host_.log("dropping " + user_ + ": its send queue is full (" + std::to_string(queue_.size()) + " messages, " +
                  std::to_string(queuedBytes_) + " bytes)");
        return drop();
    }
    queuedBytes_ += size;
    queue_.push_back(std::move(item));
    pump();
}

void WebSocketSession::pump()
{
    if (writing_ || queue_.empty() || closing_ || dropped_) return;
    writing_ = true;
    QueueItem& item = queue_.front();
    if (item.isClose) {
        closing_ = true;
        ws_.async_close(websocket::close_reason(static_cast<websocket::close_code>(item.code), item.reason), [self = shared_from_this()](beast::error_code) {
            // The read loop ends when the peer answers (or the close times out).
            self->writing_ = false;
            self->discardQueue();
        });
        return;
    }
    if (item.message.dropHalfway) return writeHalfFrame(item.message.payload);
    ws_.binary(item.message.binary);
    if (item.message.fragments <= 1) {
        ws_.async_write(boost::asio::buffer(item.message.payload),
                        [self = shared_from_this()](beast::error_code ec, std::size_t) { self->onWritten(ec); });
    } else {
        writeFragment(0);
    }
}

void WebSocketSession::writeFragment(unsigned index)
{
    if (dropped_ || queue_.empty()) return onWritten({});
    const InjectedMessage& message = queue_.front().message;
    const std::size_t size = message.payload.size();
    const std::size_t begin = size * index / message.fragments;
    const std::size_t end = size * (index + 1) / message.fragments;
    const bool last = index + 1 == message.fragments;
    ws_.async_write_some(last, boost::asio::buffer(message.payload.data() + begin, end - begin),
                         [self = shared_from_this(), index, last](beast::error_code ec, std::size_t) {
                             if (ec || last || self->dropped_) return self->onWritten(ec);
                             if (!self->queue_.front().message.pingBetween) return self->writeFragment(index + 1);
                             const std::string payload = "p" + std::to_string(index + 1);
                             self->ws_.async_ping(websocket::ping_data(payload.c_str()), [self, index](beast::error_code pingError) {
                                 if (pingError) return self->onWritten(pingError);
                                 self->writeFragment(index + 1);
                             });
                         });
}

void WebSocketSession::writeHalfFrame(const std::string& payload)
{
    // Below the WebSocket layer, which sends only whole frames. Nothing else
    // writes meanwhile: the queue is held, and the client pings with text.
    auto frame = std::make_shared<std::string>(halfFrame(payload));
    boost::asio::async_write(ws_.next_layer(), boost::asio::buffer(*frame),
                             [self = shared_from_this(), frame](beast::error_code, std::size_t) {
                                 self->writing_ = false;
                                 self->drop();
                             });
}

void WebSocketSession::onWritten(beast::error_code ec)
{
    writing_ = false;
    if (ec) return drop();
    if (!queue_.empty()) {
        queuedBytes_ -= queue_.front().message.payload.size();
        queue_.pop_front();
    }
    pump();
}

void WebSocketSession::discardQueue()
{
    // The message being written stays until its write completes: the write
    // still reads from it.
    const bool inFlight = writing_ && !queue_.empty();
    queue_.erase(queue_.begin() + (inFlight ? 1 : 0), queue_.end());
    queuedBytes_ = inFlight ? queue_.front().message.payload.size() : 0;
}

void WebSocketSession::drop()
{
    if (dropped_) return;
    dropped_ = true;
    upgradeDelay_.cancel();
    ws_.next_layer().cancelPause();
    discardQueue();
    // Closing the socket cancels every pending operation; the read handler
    // then ends the session.
    beast::error_code ignored;
    beast::get_lowest_layer(ws_).socket().shutdown(boost::asio::ip::tcp::socket::shutdown_both, ignored);
    beast::get_lowest_layer(ws_).close();
}

void WebSocketSession::finish()
{
    if (finished_) return;
    finished_ = true;
    discardQueue();
    beast::get_lowest_layer(ws_).close();
    host_.sessionEnded(*this);
}

}  // namespace VelmorServer
