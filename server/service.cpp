// The running server; see service.h.
#include "service.h"

#include "community.h"
#include "control_api.h"
#include "control_session.h"
#include "demo_bots.h"
#include "name_counts.h"
#include "request_record.h"
#include "text_rules.h"
#include "websocket_session.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/steady_timer.hpp>

#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <ctime>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <unordered_map>

namespace VelmorServer {

namespace asio = boost::asio;
namespace ssl = asio::ssl;
using tcp = asio::ip::tcp;
using boost::system::error_code;

namespace {

constexpr std::chrono::milliseconds kDemoTick{500};
constexpr std::uint16_t kReplacedCloseCode = 4000;

bool loadCertificate(ssl::context& context, const std::string& certFile, const std::string& keyFile, std::string& error)
{
    context.set_options(ssl::context::default_workarounds | ssl::context::no_sslv2 | ssl::context::no_sslv3 |
                        ssl::context::no_tlsv1 | ssl::context::no_tlsv1_1 | ssl::context::single_dh_use);
    error_code ec;
    context.use_certificate_chain_file(certFile, ec);
    if (ec) {
        error = "cannot load the certificate " + certFile + ": " + ec.message();
        return false;
    }
    context.use_private_key_file(keyFile, ssl::context::pem, ec);
    if (ec) {
        error = "cannot load the private key " + keyFile + ": " + ec.message();
        return false;
    }
    return true;
}

bool listenOn(tcp::acceptor& acceptor, const std::string& address, std::uint16_t port, std::string& error)
{
    error_code ec;
    const auto ip = asio::ip::make_address(address, ec);
    if (ec) {
        error = "not an IP address: " + address;
        return false;
    }
    const tcp::endpoint endpoint(ip, port);
    const std::string where = address + ":" + std::to_string(port);
    acceptor.open(endpoint.protocol(), ec);
    if (!ec) acceptor.set_option(tcp::acceptor::reuse_address(true), ec);
    if (!ec) acceptor.bind(endpoint, ec);
    if (!ec) acceptor.listen(asio::socket_base::max_listen_connections, ec);
    if (ec) {
        error = "cannot listen on " + where + ": " + ec.message() +
                (ec == asio::error::address_in_use ? " (another program has the port)" : "");
        return false;
    }
    return true;
}

// Every connection is a descriptor, and the usual soft limit (1,024) would
// refuse clients long before the hard limit does.
void raiseDescriptorLimit()
{
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) != 0 || files.rlim_cur >= files.rlim_max) return;
    files.rlim_cur = files.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &files);
}

class Service final : public ControlTarget, public SessionHost {
public:
    Service(asio::io_context& io, ServerOptions options)
        : io_(io), options_(std::move(options)), acceptor_(io), controlAcceptor_(io), signals_(io, SIGINT, SIGTERM),
          demoTimer_(io), shutdownTimer_(io)
    {
    }

    bool start(std::string& error)
    {
        if (!loadCertificate(tls_, options_.certFile, options_.keyFile, error)) return false;
        std::string untrustedError;
        untrustedLoaded_ = loadCertificate(untrustedTls_, options_.untrustedCertFile, options_.untrustedKeyFile, untrustedError);
        if (!untrustedLoaded_) log("the untrusted_cert fault is unavailable: " + untrustedError);
        if (!options_.recordFile.empty() && !record_.openFile(options_.recordFile, error)) return false;
        recording_ = !options_.recordFile.empty() || options_.controlPort != 0;
        record_.keepInMemory(options_.controlPort != 0);

        if (!listenOn(acceptor_, options_.address, options_.port, error)) return false;
        if (options_.controlPort != 0 && !listenOn(controlAcceptor_, "127.0.0.1", options_.controlPort, error)) return false;

        waitForSignal();
        acceptNext();
        if (controlAcceptor_.is_open()) acceptControl();
        if (options_.demo) {
            demo_.emplace(community_);
            tickDemo();
        }
        return true;
    }

    std::string listeningOn() const
    {
        error_code ec;
        return options_.address + ":" + std::to_string(acceptor_.local_endpoint(ec).port());
    }

    // --- SessionHost ------------------------------------------------------------

    const Faults& activeFaults() const override { return faults_; }
    const TimeLimits& timeLimits() const override { return options_.timeLimits; }

    void sessionOpened(const std::shared_ptr<WebSocketSession>& session, const std::string& user) override
    {
        Outbox out;
        const Admission admission = community_.connect(user, out);
        session->setId(admission.id);
        admitted_[admission.id] = session;
        if (admission.replaced != 0) {
            if (const auto old = admitted_.find(admission.replaced); old != admitted_.end()) {
                old->second->detach();
                old->second->close(kReplacedCloseCode, "Replaced by a newer connection for this user");
                admitted_.erase(old);
            }
            log(user + " connected again; the older connection is replaced");
        } else {
            log(user + " connected");
        }
        deliver(out);
    }

    void textReceived(WebSocketSession& session, const std::string& text) override
    {
        const std::string user = session.id() != 0 ? community_.nameOf(session.id()) : session.user();
        if (text == "ping") {
            if (recording_) record_.add(user, "ping", text);
            pings_.add(user);
            if (!faults_.ignorePings) session.send("pong");
            return;
        }
        const ParsedRequest request = parseRequest(text);
        if (recording_) record_.add(user, request.type, text);
        if (session.id() == 0) return;  // closing, or replaced by a newer connection
        // Recorded, then neither carried out nor answered, so the client's
        // request stays pending.
        if (faults_.withholdModeration && isModerationRequest(request.type)) return;
        Outbox out;
        community_.handleRequest(session.id(), request, out);
        deliver(out);
    }

    void binaryReceived(WebSocketSession& session) override
    {
        Outbox out;
        community_.handleBinary(session.id(), out);
        deliver(out);
    }

    void sessionEnded(WebSocketSession& session) override
    {
        if (const ConnectionId id = session.id(); id != 0) {
            session.detach();
            admitted_.erase(id);
            log(community_.nameOf(id) + " disconnected");
            Outbox out;
            community_.disconnect(id, out);
            deliver(out);
        }
        live_.erase(std::remove_if(live_.begin(), live_.end(), [&](const auto& held) { return held.get() == &session; }),
                    live_.end());
        stopWhenDrained();
    }

    void log(const std::string& line) override
    {
        if (options_.quiet) return;
        const std::time_t now = std::time(nullptr);
        char stamp[16] = {};
        std::strftime(stamp, sizeof stamp, "%H:%M:%S", std::localtime(&now));
        std::cerr << stamp << " velmor-server: " << logSafe(line) << std::endl;
    }

    // --- ControlTarget ----------------------------------------------------------

    Faults& faults() override { return faults_; }
    bool untrustedCertificateLoaded() const override { return untrustedLoaded_; }
    std::string requestRecord() const override { return record_.lines(); }

    void reset() override
    {
        community_.reset();
        if (demo_) demo_->reset();
        record_.clear();
        faults_ = Faults{};
        pings_.clear();
        cancelDelayedSends();
        admitted_.clear();
        for (const auto& session : live_) {
            session->detach();
            session->drop();
        }
        log("reset: every connection dropped, all state cleared");
    }

    std::vector<std::string> connectedUsers() const override
    {
        std::vector<std::string> users;
        for (const std::string& name : community_.onlineUsers())
            if (admitted_.count(community_.connectionOf(name))) users.push_back(name);
        return users;
    }

    // A session that is closing takes nothing more; saying "ok" then would
    // report a message that never leaves as sent.
    bool sendTo(std::string_view user, InjectedMessage message) override
    {
        WebSocketSession* session = sessionOf(user);
        if (!session || !session->accepting()) return false;
        session->inject(std::move(message));
        return true;
    }

    bool closeUser(std::string_view user, std::uint16_t code, std::string reason) override
    {
        WebSocketSession* session = sessionOf(user);
        if (!session || !session->accepting()) return false;
        session->close(code, std::move(reason));
        return true;
    }

    bool dropUser(std::string_view user) override
    {
        WebSocketSession* session = sessionOf(user);
        if (session) session->drop();
        return session != nullptr;
    }

    std::uint64_t pingsFrom(std::string_view user) const override { return pings_.count(user); }

private:
    WebSocketSession* sessionOf(std::string_view user) const
    {
        const auto found = admitted_.find(community_.connectionOf(user));
        return found == admitted_.end() ? nullptr : found->second.get();
    }

    void acceptNext()
    {
        acceptor_.async_accept([this](const error_code& ec, tcp::socket socket) {
            if (stopping_) return;
            if (ec) {
                // Out of descriptors or similar: wait a moment instead of spinning.
                log("accept failed: " + ec.message());
                auto pause = std::make_shared<asio::steady_timer>(io_, std::chrono::milliseconds(100));
                pause->async_wait([this, pause](const error_code&) {
                    if (!stopping_) acceptNext();
                });
                return;
            }
            error_code ignored;
            socket.set_option(tcp::no_delay(true), ignored);
            auto session = std::make_shared<WebSocketSession>(std::move(socket), faults_.untrustedCert ? untrustedTls_ : tls_, *this);
            live_.push_back(session);
            session->start();
            acceptNext();
        });
    }

    void acceptControl()
    {
        controlAcceptor_.async_accept([this](const error_code& ec, tcp::socket socket) {
            if (stopping_ || !controlAcceptor_.is_open()) return;
            if (!ec) {
                auto session = std::make_shared<ControlSession>(std::move(socket), *this, [this](ControlSession& ended) {
                    controlSessions_.erase(&ended);
                    stopWhenDrained();
                });
                controlSessions_[session.get()] = session;
                session->start();
            }
            acceptControl();
        });
    }

    void tickDemo()
    {
        demoTimer_.expires_after(kDemoTick);
        demoTimer_.async_wait([this](const error_code& ec) {
            if (ec || stopping_) return;
            Outbox out;
            demo_->tick(DemoBots::Clock::now(), out);
            deliver(out);
            tickDemo();
        });
    }

    void deliver(Outbox& out)
    {
        for (Outgoing& item : out) {
            if (demo_ && demo_->owns(item.to)) {
                demo_->receive(item.to, item.text, DemoBots::Clock::now());
                continue;
            }
            const auto target = admitted_.find(item.to);
            if (target == admitted_.end()) continue;
            if (item.delivery == Delivery::DmAcknowledgement) {
                if (faults_.withholdDmSent) continue;
                if (faults_.delayDmSentMs != 0) {
                    sendLater(item.to, std::move(item.text), std::chrono::milliseconds(faults_.delayDmSentMs));
                    continue;
                }
            }
            target->second->send(std::move(item.text));
        }
        out.clear();
    }

    void sendLater(ConnectionId to, std::string text, std::chrono::milliseconds delay)
    {
        auto timer = std::make_shared<asio::steady_timer>(io_, delay);
        delayed_.insert(timer);
        timer->async_wait([this, timer, to, text = std::move(text)](const error_code& ec) mutable {
            // A timer no longer in the set was cancelled by a reset or the
            // shutdown, even if it had already expired.
            if (delayed_.erase(timer) == 0 || ec) return;
            if (const auto target = admitted_.find(to); target != admitted_.end()) target->second->send(std::move(text));
        });
    }

    void waitForSignal()
    {
        signals_.async_wait([this](const error_code& ec, int) {
            if (ec) return;
            if (stopping_) {
                io_.stop();  // a second signal: stop without waiting for the peers
                return;
            }
            waitForSignal();  // armed first, so a drained stop() can cancel it
            stop();
        });
    }

    void stop()
    {
        if (stopping_) return;
        stopping_ = true;
        log("shutting down");
        error_code ignored;
        acceptor_.close(ignored);
        controlAcceptor_.close(ignored);
        demoTimer_.cancel();
        cancelDelayedSends();
        for (const auto& [raw, control] : std::map(controlSessions_)) control->stop();
        for (const auto& session : live_) {
            if (session->upgraded()) {
                session->close(1001, "Server shutting down");
            } else {
                session->drop();
            }
        }
        // Peers that do not answer the close frame in time are cut off.
        shutdownTimer_.expires_after(options_.timeLimits.shutdownGrace);
        shutdownTimer_.async_wait([this](const error_code& ec) {
            if (ec) return;
            for (const auto& session : live_) session->drop();
        });
        stopWhenDrained();
    }

    void stopWhenDrained()
    {
        if (!stopping_ || !live_.empty() || !controlSessions_.empty()) return;
        shutdownTimer_.cancel();
        signals_.cancel();
    }

    void cancelDelayedSends()
    {
        for (const auto& timer : delayed_) timer->cancel();
        delayed_.clear();
    }

    asio::io_context& io_;
    ServerOptions options_;
    ssl::context tls_{ssl::context::tls_server};
    ssl::context untrustedTls_{ssl::context::tls_server};
    bool untrustedLoaded_ = false;
    tcp::acceptor acceptor_;
    tcp::acceptor controlAcceptor_;
    asio::signal_set signals_;
    asio::steady_timer demoTimer_;
    asio::steady_timer shutdownTimer_;
    Community community_;
    std::optional<DemoBots> demo_;
    RequestRecord record_;
    bool recording_ = false;
    Faults faults_;
    std::unordered_map<ConnectionId, std::shared_ptr<WebSocketSession>> admitted_;
    std::vector<std::shared_ptr<WebSocketSession>> live_;
    std::map<ControlSession*, std::shared_ptr<ControlSession>> controlSessions_;
    NameCounts pings_;
    std::set<std::shared_ptr<asio::steady_timer>> delayed_;
    bool stopping_ = false;
};

}  // namespace

int runServer(const ServerOptions& options)
{
    // Writes to a vanished peer must fail, not end the process.
    std::signal(SIGPIPE, SIG_IGN);
    raiseDescriptorLimit();
    asio::io_context io(1);
    Service service(io, options);
    std::string error;
    if (!service.start(error)) {
        std::cerr << "velmor-server: " << error << std::endl;
        return 1;
    }
    std::cout << "velmor-server listening on " << service.listeningOn() << std::endl;
    io.run();
    return 0;
}

}  // namespace VelmorServer
