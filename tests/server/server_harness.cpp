// Native test helpers around the velmor-server program; see server_harness.h.
#include "server_harness.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/host_name_verification.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket/ssl.hpp>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace VelmorTest {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;

namespace {

// Runs one asynchronous operation on `io` until it completes or `lowest`
// times out (which fails the operation).
template <typename Start>
beast::error_code runOne(asio::io_context& io, beast::tcp_stream& lowest, std::chrono::milliseconds timeout, Start start)
{
    lowest.expires_after(timeout);
    beast::error_code result;
    bool done = false;
    start([&](beast::error_code ec, auto&&...) {
        result = ec;
        done = true;
    });
    io.restart();
    while (!done && io.run_one() != 0) {
    }
    if (!done) result = asio::error::operation_aborted;
    lowest.expires_never();
    return result;
}

int exitCodeOf(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status); }

}  // namespace

std::string certsDir() { return VELMOR_TEST_CERTS_DIR; }

std::uint16_t freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    std::uint16_t port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    if (fd >= 0) ::close(fd);
    return port;
}

std::string percentEncode(const std::string& text)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

// --- the program -----------------------------------------------------------------

ServerProcess::ServerProcess(std::vector<std::string> extra, bool quiet)
{
    const std::string program = VELMOR_SERVER_PROGRAM;
    if (::access(program.c_str(), X_OK) != 0) {
        startError_ = "the server program is missing: " + program;
        return;
    }
    if (::access((certsDir() + "/server.crt").c_str(), R_OK) != 0) {
        startError_ = "the development certificates are missing in " + certsDir() + " (run scripts/setup)";
        return;
    }
    controlPort_ = freePort();
    std::vector<std::string> arguments = {program, "--port", "0", "--control-port", std::to_string(controlPort_)};
    if (quiet) arguments.push_back("--quiet");
    arguments.insert(arguments.end(), extra.begin(), extra.end());

    char stderrTemplate[] = "/tmp/velmor-server-test-stderr.XXXXXX";
    const int stderrFd = ::mkstemp(stderrTemplate);
    stderrPath_ = stderrTemplate;
    int out[2];
    if (stderrFd < 0 || ::pipe2(out, O_CLOEXEC) != 0) {
        startError_ = "cannot create the pipes for the server";
        return;
    }
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(stderrFd, STDERR_FILENO);
        std::vector<char*> argv;
        for (std::string& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(stderrFd);

    // The listening line, within ten seconds.
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (line.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd readable{out[0], POLLIN, 0};
        if (left.count() <= 0 || ::poll(&readable, 1, static_cast<int>(left.count())) <= 0) break;
        char chunk[256];
        const ssize_t got = ::read(out[0], chunk, sizeof chunk);
        if (got <= 0) break;
        line.append(chunk, static_cast<std::size_t>(got));
    }
    ::close(out[0]);  // nothing else is ever printed to standard output
    if (line.find('\n') == std::string::npos) {
        startError_ = "the server printed no listening line; standard error: " + standardError();
        return;
    }
    listeningLine_ = line.substr(0, line.find('\n'));
    const std::size_t colon = listeningLine_.rfind(':');
    port_ = static_cast<std::uint16_t>(std::atoi(listeningLine_.c_str() + colon + 1));
    if (listeningLine_.rfind("velmor-server listening on ", 0) != 0 || port_ == 0)
        startError_ = "unexpected listening line: " + listeningLine_;
}

ServerProcess::~ServerProcess()
{
    if (pid_ > 0 && exitCode_ < 0) stop(SIGTERM);
    if (!stderrPath_.empty()) std::remove(stderrPath_.c_str());
}

int ServerProcess::waitForExit(std::chrono::milliseconds timeout)
{
    if (pid_ <= 0) return -1;
    if (exitCode_ >= 0) return exitCode_;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) return exitCode_ = exitCodeOf(status);
        std::this_thread::sleep_for(10ms);
    }
    return -1;
}

int ServerProcess::stop(int signal, std::chrono::milliseconds timeout)
{
    if (pid_ <= 0) return -1;
    if (exitCode_ >= 0) return exitCode_;
    ::kill(pid_, signal);
    const int code = waitForExit(timeout);
    if (code >= 0) return code;
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    exitCode_ = exitCodeOf(status);
    return -1;
}

std::string ServerProcess::standardError() const
{
    std::ifstream file(stderrPath_);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// --- control interface ---------------------------------------------------------

HttpReply httpGet(std::uint16_t port, const std::string& target)
{
    asio::io_context io;
    beast::tcp_stream stream(io);
    HttpReply reply;
    const tcp::endpoint endpoint(asio::ip::make_address("127.0.0.1"), port);
    if (runOne(io, stream, 10s, [&](auto handler) { stream.async_connect(endpoint, handler); })) return reply;
    http::request<http::empty_body> request(http::verb::get, target, 11);
    request.set(http::field::host, "127.0.0.1");
    if (runOne(io, stream, 10s, [&](auto handler) { http::async_write(stream, request, handler); })) return reply;
    beast::flat_buffer buffer;
    http::response_parser<http::string_body> parser;
    parser.body_limit(256u * 1024 * 1024);
    if (runOne(io, stream, 30s, [&](auto handler) { http::async_read(stream, buffer, parser, handler); })) return reply;
    reply.status = parser.get().result_int();
    reply.body = parser.get().body();
    return reply;
}

std::vector<std::string> Control::users() const
{
    std::vector<std::string> names;
    const auto parsed = Velmor::parseJsonDocument(get("/users").body);
    if (parsed)
        for (const auto& item : parsed->arrayItems) names.push_back(item.asText(""));
    return names;
}

bool Control::waitForUser(const std::string& user, bool present, std::chrono::milliseconds timeout) const
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    do {
        const auto names = users();
        if ((std::find(names.begin(), names.end(), user) != names.end()) == present) return true;
        std::this_thread::sleep_for(20ms);
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

// --- WebSocket client ----------------------------------------------------------

WsClient::WsClient() : tls_(asio::ssl::context::tls_client)
{
    beast::error_code ignored;
    tls_.load_verify_file(certsDir() + "/ca.crt", ignored);
    tls_.set_verify_mode(asio::ssl::verify_peer);
}

WsClient::~WsClient() = default;

template <typename Start>
beast::error_code WsClient::run(std::chrono::milliseconds timeout, Start start)
{
    return runOne(io_, beast::get_lowest_layer(*ws_), timeout, start);
}

beast::error_code WsClient::open(std::uint16_t port, const std::string& target)
{
    ws_ = std::make_unique<Stream>(io_, tls_);
    buffer_.clear();
    pings_.clear();
    response_ = {};
    ::SSL_set_tlsext_host_name(ws_->next_layer().native_handle(), "localhost");
    ws_->next_layer().set_verify_callback(asio::ssl::host_name_verification("localhost"));
    ws_->read_message_max(64u * 1024 * 1024);
    ws_->control_callback([this](websocket::frame_type kind, beast::string_view payload) {
        if (kind == websocket::frame_type::ping) pings_.emplace_back(payload);
    });
    const tcp::endpoint endpoint(asio::ip::make_address("127.0.0.1"), port);
    auto& lowest = beast::get_lowest_layer(*ws_);
    if ((lastError_ = run(10s, [&](auto handler) { lowest.async_connect(endpoint, handler); }))) return lastError_;
    if ((lastError_ = run(10s, [&](auto handler) { ws_->next_layer().async_handshake(asio::ssl::stream_base::client, handler); })))
        return lastError_;
    lastError_ = run(10s, [&](auto handler) {
        ws_->async_handshake(response_, "localhost:" + std::to_string(port), target, handler);
    });
    return lastError_;
}

void WsClient::readLimit(std::size_t bytes) { ws_->read_message_max(bytes); }

bool WsClient::send(const std::string& text, bool binary)
{
    ws_->binary(binary);
    lastError_ = run(30s, [&](auto handler) { ws_->async_write(asio::buffer(text), handler); });
    return !lastError_;
}

std::optional<std::string> WsClient::receive(std::chrono::milliseconds timeout)
{
    if ((lastError_ = run(timeout, [&](auto handler) { ws_->async_read(buffer_, handler); }))) return std::nullopt;
    std::string text = beast::buffers_to_string(buffer_.data());
    buffer_.consume(buffer_.size());
    return text;
}

std::optional<Velmor::JsonValue> WsClient::receiveType(const std::string& type, std::vector<std::string>* skipped)
{
    while (auto text = receive()) {
        auto parsed = Velmor::parseJsonDocument(*text);
        if (parsed && Velmor::memberText(*parsed, "type") == type) return parsed;
        if (skipped) skipped->push_back(*text);
    }
    return std::nullopt;
}

websocket::close_reason WsClient::closeReason() const { return ws_->reason(); }

}  // namespace VelmorTest
