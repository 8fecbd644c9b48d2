// One connection to the plain-HTTP control interface: reads GET requests,
// answers each through handleControlRequest, keeps the connection for the
// next one when the client asks for that.
#pragma once

#include "control_api.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <functional>
#include <memory>
#include <optional>

namespace VelmorServer {

class ControlSession : public std::enable_shared_from_this<ControlSession> {
public:
    using EndedCallback = std::function<void(ControlSession&)>;

    ControlSession(boost::asio::ip::tcp::socket socket, ControlTarget& target, EndedCallback ended);

    void start();
    void stop();

private:
    void readNext();
    void onRequest(boost::beast::error_code ec);
    void finish();

    boost::beast::tcp_stream stream_;
    ControlTarget& target_;
    EndedCallback ended_;
    boost::beast::flat_buffer buffer_;
    std::optional<boost::beast::http::request_parser<boost::beast::http::string_body>> parser_;
    bool finished_ = false;
};

}  // namespace VelmorServer
