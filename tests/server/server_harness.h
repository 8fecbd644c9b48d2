// Native helpers for testing and measuring the real velmor-server program:
// start it on free ports, talk to its control interface, and connect
// WebSocket clients over verified TLS (Boost.Beast).
#pragma once

#include "json/json_value.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/beast/websocket.hpp>

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace VelmorTest {

using namespace std::chrono_literals;

// The repository's development certificates (scripts/setup makes them).
std::string certsDir();

// A port nobody listens on right now, found by binding port 0.
std::uint16_t freePort();

std::string percentEncode(const std::string& text);

// The velmor-server program, started with --port 0, a free --control-port and
// --quiet plus `extra`, and stopped with SIGTERM when destroyed.
class ServerProcess {
public:
    explicit ServerProcess(std::vector<std::string> extra = {}, bool quiet = true);
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // Empty when the server printed its listening line; the reason otherwise.
    const std::string& startError() const { return startError_; }
    const std::string& listeningLine() const { return listeningLine_; }
    std::uint16_t port() const { return port_; }
    std::uint16_t controlPort() const { return controlPort_; }
    pid_t pid() const { return pid_; }

    // Sends `signal` and waits for the exit. The exit code, or -1 when the
    // program had to be killed after `timeout`.
    int stop(int signal, std::chrono::milliseconds timeout = 10s);

    // Waits for the program to end on its own; the exit code or -1.
    int waitForExit(std::chrono::milliseconds timeout);

    std::string standardError() const;

private:
    pid_t pid_ = -1;
    int exitCode_ = -1;
    std::uint16_t port_ = 0;
    std::uint16_t controlPort_ = 0;
    std::string listeningLine_;
    std::string startError_;
    std::string stderrPath_;
};

struct HttpReply {
    unsigned status = 0;  // 0: no answer
    std::string body;
};

// Plain-HTTP GET on 127.0.0.1.
HttpReply httpGet(std::uint16_t port, const std::string& target);

// The control interface of one server.
class Control {
public:
    explicit Control(std::uint16_t port) : port_(port) {}
    HttpReply get(const std::string& target) const { return httpGet(port_, target); }
    std::vector<std::string> users() const;
    // Polls /users until `user` is (or is no longer) listed.
    bool waitForUser(const std::string& user, bool present = true, std::chrono::milliseconds timeout = 10s) const;

private:
    std::uint16_t port_;
};

// One WebSocket client over TLS that verifies the server against the test
// authority and the name "localhost". Every wait has a time limit.
class WsClient {
public:
    WsClient();
    ~WsClient();

    // TLS, then the upgrade of `target`. The error (empty on success); the
    // HTTP answer is kept in response().
    boost::beast::error_code open(std::uint16_t port, const std::string& target);
    boost::beast::error_code connect(std::uint16_t port, const std::string& user)
    {
        return open(port, "/websocket?user=" + percentEncode(user));
    }
    const boost::beast::websocket::response_type& response() const { return response_; }

    bool send(const std::string& text, bool binary = false);
    // The next whole message, or nullopt when the connection failed or closed
    // (see lastError and closeReason).
    std::optional<std::string> receive(std::chrono::milliseconds timeout = 10s);
    // Reads until a JSON message of `type` arrives; everything before it is
    // appended to `skipped` when given. nullopt when none comes.
    std::optional<Velmor::JsonValue> receiveType(const std::string& type, std::vector<std::string>* skipped = nullptr);
    boost::beast::error_code lastError() const { return lastError_; }
    boost::beast::websocket::close_reason closeReason() const;
    // Payloads of the ping frames seen while reading.
    const std::vector<std::string>& pings() const { return pings_; }
    void readLimit(std::size_t bytes);

private:
    using Stream = boost::beast::websocket::stream<boost::beast::ssl_stream<boost::beast::tcp_stream>>;
    template <typename Start>
    boost::beast::error_code run(std::chrono::milliseconds timeout, Start start);

    boost::asio::io_context io_;
    boost::asio::ssl::context tls_;
    std::unique_ptr<Stream> ws_;
    boost::beast::websocket::response_type response_;
    boost::beast::flat_buffer buffer_;
    boost::beast::error_code lastError_;
    std::vector<std::string> pings_;
};

}  // namespace VelmorTest
