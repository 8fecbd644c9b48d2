// Control connection; see control_session.h.
#include "control_session.h"

#include <chrono>

namespace VelmorServer {

namespace beast = boost::beast;
namespace http = beast::http;

ControlSession::ControlSession(boost::asio::ip::tcp::socket socket, ControlTarget& target, EndedCallback ended)
    : stream_(std::move(socket)), target_(target), ended_(std::move(ended))
{
}

void ControlSession::start() { readNext(); }

void ControlSession::stop()
{
    beast::error_code ignored;
    stream_.socket().shutdown(boost::asio::ip::tcp::socket::shutdown_both, ignored);
    stream_.close();
}

void ControlSession::readNext()
{
    parser_.emplace();
    // Injected messages travel in the query, so the request line may be long.
    parser_->header_limit(16u * 1024 * 1024);
    parser_->body_limit(64 * 1024);
    stream_.expires_after(std::chrono::seconds(60));
    http::async_read(stream_, buffer_, *parser_,
                     [self = shared_from_this()](beast::error_code ec, std::size_t) { self->onRequest(ec); });
}

void ControlSession::onRequest(beast::error_code ec)
{
    if (ec) return finish();
    const auto& request = parser_->get();
    const ControlReply reply = handleControlRequest(request.method() == http::verb::get, request.target(), target_);
    auto response = std::make_shared<http::response<http::string_body>>(static_cast<http::status>(reply.status),
                                                                       request.version());
    response->set(http::field::server, "velmor-server control");
    // The user list is JSON; everything else is text (the request record is
    // JSON lines, readable as text).
    const bool json = !reply.body.empty() && reply.body.front() == '[';
    response->set(http::field::content_type, json ? "application/json" : "text/plain; charset=utf-8");
    response->body() = reply.body;
    response->keep_alive(request.keep_alive());
    response->prepare_payload();
    http::async_write(stream_, *response, [self = shared_from_this(), response](beast::error_code writeError, std::size_t) {
        if (writeError || !response->keep_alive()) {
            beast::error_code ignored;
            self->stream_.socket().shutdown(boost::asio::ip::tcp::socket::shutdown_send, ignored);
            return self->finish();
        }
        self->readNext();
    });
}

void ControlSession::finish()
{
    if (finished_) return;
    finished_ = true;
    stream_.close();
    if (ended_) ended_(*this);
}

}  // namespace VelmorServer
