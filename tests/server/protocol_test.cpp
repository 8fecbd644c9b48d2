// The real velmor-server program over real TLS WebSocket connections: start
// and stop, the upgrade rules, the protocol end to end, the size and queue
// limits, and every control request and fault the other tests rely on.
#include "server_harness.h"

#include <gtest/gtest.h>

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/websocket/error.hpp>

#include <boost/beast/http.hpp>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

using namespace VelmorTest;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = boost::asio::ip::tcp;
using Strings = std::vector<std::string>;

namespace {

// A TLS connection to the service on which a test writes what it likes.
struct RawTls {
    explicit RawTls(std::uint16_t port)
    {
        beast::get_lowest_layer(stream).connect({boost::asio::ip::make_address("127.0.0.1"), port});
        stream.handshake(boost::asio::ssl::stream_base::client);
    }
    int fd() { return beast::get_lowest_layer(stream).socket().native_handle(); }

    boost::asio::io_context io;
    boost::asio::ssl::context tls{boost::asio::ssl::context::tls_client};
    beast::ssl_stream<beast::tcp_stream> stream{io, tls};
};

http::response<http::string_body> requestOverTls(std::uint16_t port, const http::request<http::empty_body>& request)
{
    RawTls raw(port);
    http::write(raw.stream, request);
    beast::flat_buffer buffer;
    http::response<http::string_body> response;
    http::read(raw.stream, buffer, response);
    return response;
}

// Whether the server ends the TCP connection on `fd` within `limit`; bytes it
// sends before (a TLS alert, say) are read past.
bool closedByServerWithin(int fd, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd readable{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&readable, 1, static_cast<int>(left.count())) <= 0) return false;
        char chunk[512];
        if (::recv(fd, chunk, sizeof chunk, 0) <= 0) return true;
    }
}

// The soft and hard descriptor limits of a running process.
std::pair<std::string, std::string> descriptorLimitsOf(pid_t pid)
{
    std::ifstream limits("/proc/" + std::to_string(pid) + "/limits");
    std::string line;
    while (std::getline(limits, line)) {
        if (line.rfind("Max open files", 0) != 0) continue;
        std::istringstream fields(line.substr(std::string("Max open files").size()));
        std::string soft, hard;
        fields >> soft >> hard;
        return {soft, hard};
    }
    return {};
}

std::string typeOf(const std::string& text)
{
    const auto parsed = Velmor::parseJsonDocument(text);
    return parsed ? Velmor::memberText(*parsed, "type") : std::string("<not json>");
}

std::string member(const std::optional<Velmor::JsonValue>& message, const std::string& key)
{
    return message ? Velmor::memberText(*message, key) : std::string("<no message>");
}

class ServerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(server.startError(), "") << server.standardError(); }

    // Whatever the test did, the server must still be there and stop cleanly.
    void TearDown() override { EXPECT_EQ(server.stop(SIGTERM), 0) << server.standardError(); }

    // A client that is connected and has read its "connected" snapshot.
    std::unique_ptr<WsClient> join(const std::string& user)
    {
        auto client = std::make_unique<WsClient>();
        const auto error = client->connect(server.port(), user);
        EXPECT_FALSE(error) << user << ": " << error.message();
        EXPECT_TRUE(client->receiveType("connected")) << user;
        return client;
    }

    ServerProcess server;
    Control control{server.controlPort()};
};

// --- the program -------------------------------------------------------------

TEST(ServerProgram, ListensOnTheAddressItPrintsAndStopsCleanlyOnSignals)
{
    for (const int signal : {SIGTERM, SIGINT}) {
        ServerProcess server;
        ASSERT_EQ(server.startError(), "");
        EXPECT_EQ(server.listeningLine(), "velmor-server listening on 127.0.0.1:" + std::to_string(server.port()));
        WsClient client;
        ASSERT_FALSE(client.connect(server.port(), "amy"));
        ASSERT_TRUE(client.receiveType("connected"));

        int exitCode = -1;
        std::thread stopper([&] { exitCode = server.stop(signal, 5s); });
        // Connected clients are told, not just cut off.
        EXPECT_FALSE(client.receive(5s));
        stopper.join();
        EXPECT_EQ(exitCode, 0) << "signal " << signal;
        EXPECT_EQ(client.lastError(), websocket::error::closed) << client.lastError().message();
        EXPECT_EQ(client.closeReason().code, 1001);
    }
}

TEST(ServerProgram, RaisesItsDescriptorLimitToTheHardLimit)
{
    rlimit inherited{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &inherited), 0);
    ASSERT_GT(inherited.rlim_max, 256u) << "this test needs a hard descriptor limit above 256";
    // The server starts with a low soft limit, as from a login shell.
    rlimit low = inherited;
    low.rlim_cur = 256;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    ServerProcess server;
    ::setrlimit(RLIMIT_NOFILE, &inherited);
    ASSERT_EQ(server.startError(), "");
    const auto [soft, hard] = descriptorLimitsOf(server.pid());
    ASSERT_FALSE(hard.empty());
    EXPECT_EQ(soft, hard);
    EXPECT_EQ(server.stop(SIGTERM), 0);
}

TEST(ServerProgram, CutsOffPeersThatDoNotAnswerTheCloseAtShutdown)
{
    // The closing handshake is left at its 10 s; the shutdown grace is short.
    ServerProcess server({"--test-shutdown-grace-ms", "300"});
    ASSERT_EQ(server.startError(), "");
    WsClient deaf;
    ASSERT_FALSE(deaf.connect(server.port(), "deaf"));
    ASSERT_TRUE(deaf.receiveType("connected"));
    // It never reads again, so it never answers the close frame.
    EXPECT_EQ(server.stop(SIGTERM, 5s), 0) << "the server waited for a peer that does not answer";
}

TEST(ServerProgram, PeersThatNeverCompleteTheUpgradeAreCutAtTheHandshakeLimit)
{
    ServerProcess server({"--test-handshake-timeout-ms", "500"});
    ASSERT_EQ(server.startError(), "");

    // A TCP peer that never starts TLS.
    boost::asio::io_context io;
    tcp::socket silent(io);
    silent.connect({boost::asio::ip::make_address("127.0.0.1"), server.port()});
    EXPECT_TRUE(closedByServerWithin(silent.native_handle(), 5s));

    // A slow peer that completes TLS and then sends its request a little at
    // a time, never finishing it.
    RawTls slow(server.port());
    const std::string request = "GET /websocket?user=slow HTTP/1.1\r\nHost: localhost\r\nUpgrade: websocket\r\n";
    bool cut = false;
    for (const char c : request) {
        beast::error_code ec;
        boost::asio::write(slow.stream, boost::asio::buffer(&c, 1), ec);
        if (ec || closedByServerWithin(slow.fd(), 100ms)) {
            cut = true;
            break;
        }
    }
    EXPECT_TRUE(cut || closedByServerWithin(slow.fd(), 5s)) << "a request that never ends must not hold a connection";

    // A peer that keeps to the limit is served as usual.
    WsClient prompt;
    EXPECT_FALSE(prompt.connect(server.port(), "prompt"));
    EXPECT_TRUE(prompt.receiveType("connected"));
    EXPECT_EQ(server.stop(SIGTERM), 0);
}

TEST(ServerProgram, SilentPeersAreClosedAfterTheIdleLimitAndPingedBefore)
{
    ServerProcess server({"--test-idle-timeout-ms", "600"});
    ASSERT_EQ(server.startError(), "");
    Control control(server.controlPort());

    // A peer that reads (and so answers the server's pings) stays, silent as it is.
    WsClient listening;
    ASSERT_FALSE(listening.connect(server.port(), "listening"));
    ASSERT_TRUE(listening.receiveType("connected"));
    EXPECT_FALSE(listening.receive(2s));
    EXPECT_EQ(listening.lastError(), beast::error::timeout) << "the server closed a peer that answered its pings";
    EXPECT_GE(listening.pings().size(), 2u);

    // A peer that reads nothing, so answers nothing, is closed.
    WsClient deaf;
    ASSERT_FALSE(deaf.connect(server.port(), "deaf"));
    ASSERT_TRUE(deaf.receiveType("connected"));
    EXPECT_TRUE(control.waitForUser("deaf", false, 5s)) << "a silent peer outlived the idle limit";
    EXPECT_EQ(server.stop(SIGTERM), 0);
}

TEST(ServerProgram, ExitsAtOnceWithAReasonWhenItsPortIsTaken)
{
    const int holder = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(holder, 1), 0);
    ASSERT_EQ(::getsockname(holder, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const std::string taken = std::to_string(ntohs(address.sin_port));

    ServerProcess server({"--port", taken});
    EXPECT_NE(server.startError(), "");
    const int code = server.waitForExit(3s);
    EXPECT_GT(code, 0);
    EXPECT_NE(server.standardError().find("cannot listen on 127.0.0.1:" + taken), std::string::npos) << server.standardError();
    ::close(holder);
}

TEST(ServerProgram, RecordsEveryRequestInTheRecordFile)
{
    char path[] = "/tmp/velmor-record-test.XXXXXX";
    const int fd = ::mkstemp(path);
    ASSERT_GE(fd, 0);
    ::close(fd);
    {
        ServerProcess server({"--record", path});
        ASSERT_EQ(server.startError(), "");
        {
            WsClient client;
            ASSERT_FALSE(client.connect(server.port(), "amy"));
            ASSERT_TRUE(client.receiveType("connected"));
            client.send("ping");
            EXPECT_EQ(client.receive(), "pong");
            client.send(R"({"type":"list_rooms"})");
            EXPECT_TRUE(client.receiveType("rooms_list"));
        }
        EXPECT_EQ(server.stop(SIGTERM), 0);
    }
    std::ifstream file(path);
    const std::string record((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_EQ(record, "{\"user\":\"amy\",\"type\":\"ping\",\"text\":\"ping\"}\n"
                      "{\"user\":\"amy\",\"type\":\"list_rooms\",\"text\":\"{\\\"type\\\":\\\"list_rooms\\\"}\"}\n");
    ::unlink(path);
}

// --- upgrade -----------------------------------------------------------------

TEST_F(ServerTest, UpgradesOnlyTheServicePathWithOneAcceptableUser)
{
    struct Case {
        std::string target;
        unsigned status;  // 101 for an upgrade
    };
    const std::string astral64 = [] {
        std::string text;
        for (int i = 0; i < 64; ++i) text += "%F0%9F%98%80";  // 64 characters, 128 UTF-16 code units
        return text;
    }();
    const std::vector<Case> cases = {
        {"/websocket?user=amy", 101},
        {"/websocket?user=Zo%C3%AB%20K", 101},
        {"/websocket?user=" + std::string(64, 'n'), 101},
        {"/websocket?user=" + std::string(32, 'n') + "%F0%9F%98%80" + std::string(30, 'n'), 101},
        {"/websocket?user=" + std::string(65, 'n'), 400},
        {"/websocket?user=" + astral64, 400},
        {"/websocket", 400},
        {"/websocket?user=", 400},
        {"/websocket?name=amy", 400},
        {"/websocket?user=a&user=b", 400},
        {"/websocket?user=%zz", 400},
        {"/websocket?user=%C3", 400},            // broken UTF-8
        {"/websocket?user=%20amy", 400},         // white space at an edge
        {"/websocket?user=a%0Ab", 400},          // control character
        {"/websocket?user=a%00b", 400},          // NUL
        {"/websocket?user=a%1B%5B2Jb", 400},     // a terminal escape
        {"/websocket?user=tab%09inside", 101},   // inner characters the client's name box lets through
        {"/websocket?user=nel%C2%85inside", 101},
        {"/websocket?user=ls%E2%80%A8inside", 101},
        {"/other?user=amy", 404},
        {"/websocket/?user=amy", 404},
        {"/", 404},
    };
    std::vector<std::unique_ptr<WsClient>> clients;
    for (const Case& c : cases) {
        auto& client = *clients.emplace_back(std::make_unique<WsClient>());
        const auto error = client.open(server.port(), c.target);
        if (c.status == 101) {
            EXPECT_FALSE(error) << c.target << ": " << error.message();
        } else {
            EXPECT_EQ(error, websocket::error::upgrade_declined) << c.target << ": " << error.message();
            EXPECT_EQ(client.response().result_int(), c.status) << c.target;
            EXPECT_FALSE(client.response().body().empty()) << c.target;
        }
    }
    const Strings users = control.users();
    EXPECT_NE(std::find(users.begin(), users.end(), "Zo\xC3\xAB K"), users.end()) << "names are percent-decoded";
}

TEST_F(ServerTest, PlainHttpRequestsAndOtherMethodsGetAClearError)
{
    // Through TLS, but without the upgrade headers.
    http::request<http::empty_body> plain(http::verb::get, "/websocket?user=amy", 11);
    plain.set(http::field::host, "localhost");
    const auto response = requestOverTls(server.port(), plain);
    EXPECT_EQ(response.result_int(), 426);
    EXPECT_EQ(response[http::field::upgrade], "websocket");
    EXPECT_NE(response.body().find("WebSocket"), std::string::npos);

    // An upgrade request in every other respect, but not a GET.
    for (const http::verb method : {http::verb::post, http::verb::put, http::verb::head}) {
        http::request<http::empty_body> upgrade(method, "/websocket?user=amy", 11);
        upgrade.set(http::field::host, "localhost");
        upgrade.set(http::field::connection, "Upgrade");
        upgrade.set(http::field::upgrade, "websocket");
        upgrade.set(http::field::sec_websocket_version, "13");
        upgrade.set(http::field::sec_websocket_key, "dGhlIHNhbXBsZSBub25jZQ==");
        RawTls raw(server.port());
        http::write(raw.stream, upgrade);
        beast::flat_buffer buffer;
        http::response_parser<http::string_body> parser;
        parser.skip(method == http::verb::head);  // a HEAD answer has no body to read
        http::read(raw.stream, buffer, parser);
        EXPECT_EQ(parser.get().result_int(), 405) << method;
        EXPECT_EQ(parser.get()[http::field::allow], "GET") << method;
    }
    EXPECT_EQ(control.users(), Strings{});
}

// --- protocol ----------------------------------------------------------------

TEST_F(ServerTest, PingRoomChatAndDirectMessageEndToEnd)
{
    auto amy = join("amy");
    auto bob = join("bob");
    const auto delta = amy->receiveType("presence_delta");
    ASSERT_TRUE(delta);
    EXPECT_EQ(delta->member("went_online")->arrayItems.at(0).asText(""), "bob");

    ASSERT_TRUE(amy->send("ping"));
    EXPECT_EQ(amy->receive(), "pong");

    amy->send(R"({"type":"create_room","room_name":"Keep","game":"Stronghold Crusader"})");
    amy->send(R"({"type":"join_room","room":"Keep"})");
    EXPECT_EQ(member(amy->receiveType("room_joined"), "host"), "amy");
    bob->send(R"({"type":"join_room","room":"Keep"})");
    EXPECT_EQ(member(bob->receiveType("room_joined"), "room"), "Keep");
    EXPECT_EQ(member(amy->receiveType("user_joined_room"), "username"), "bob");

    bob->send(R"({"type":"message","text":"hello \"keep\""})");
    for (WsClient* client : {amy.get(), bob.get()}) {
        const auto line = client->receiveType("message");
        EXPECT_EQ(member(line, "username"), "bob");
        EXPECT_EQ(member(line, "text"), "hello \"keep\"");
    }

    bob->send(R"({"type":"dm","to":"amy","text":"psst","request_id":"dm-1"})");
    EXPECT_EQ(member(amy->receiveType("dm"), "from"), "bob");
    const auto ack = bob->receiveType("dm_sent");
    EXPECT_EQ(member(ack, "to"), "amy");
    EXPECT_EQ(member(ack, "text"), "psst");
    EXPECT_EQ(member(ack, "request_id"), "dm-1");

    // Every request is on record, with the connection's user.
    const std::string record = control.get("/requests").body;
    EXPECT_NE(record.find(R"({"user":"amy","type":"ping","text":"ping"})"), std::string::npos) << record;
    EXPECT_NE(record.find(R"({"user":"bob","type":"dm","text":"{\"type\":\"dm\",\"to\":\"amy\",\"text\":\"psst\",\"request_id\":\"dm-1\"}"})"),
              std::string::npos)
        << record;
    EXPECT_EQ(control.get("/pings?user=amy").body, "1");
    EXPECT_EQ(control.get("/pings?user=bob").body, "0");
}

TEST_F(ServerTest, MalformedInputIsAnsweredAndTheConnectionLives)
{
    auto amy = join("amy");
    for (const std::string& bad : {std::string("garbage"), std::string("{\"type\":"), std::string("[]"),
                                   std::string(R"({"type":"fly"})")}) {
        ASSERT_TRUE(amy->send(bad));
        const auto error = amy->receiveType("error");
        EXPECT_EQ(member(error, "context"), "request") << bad;
    }
    ASSERT_TRUE(amy->send("\x01\x02", true));
    EXPECT_EQ(member(amy->receiveType("error"), "context"), "request");
    amy->send("ping");
    EXPECT_EQ(amy->receive(), "pong");
    EXPECT_EQ(control.users(), Strings{"amy"});
}

TEST_F(ServerTest, DeepNestingAndHugeNumbersAreRefusedWithAnError)
{
    auto amy = join("amy");
    const std::vector<std::string> hostile = {
        std::string(100000, '['),
        R"({"type":"list_rooms","x":)" + std::string(5000, '[') + std::string(5000, ']') + "}",
        R"({"type":"list_rooms","x":)" + std::string(50000, '{') + "}",
        R"({"type":"create_room","room_name":"R","game":"","max_players":1e999999})",
        R"({"type":"create_room","room_name":"R","game":"","max_players":)" + std::string(100000, '9') + "}",
        R"({"type":"create_room","room_name":"R","game":"","max_players":-1e308})",
    };
    for (const std::string& text : hostile) {
        ASSERT_TRUE(amy->send(text)) << text.substr(0, 60);
        const auto error = amy->receiveType("error");
        ASSERT_TRUE(error) << text.substr(0, 60);
        EXPECT_NE(member(error, "message"), "") << text.substr(0, 60);
    }
    amy->send(R"({"type":"list_rooms"})");
    const auto rooms = amy->receiveType("rooms_list");
    ASSERT_TRUE(rooms);
    EXPECT_TRUE(rooms->member("rooms")->arrayItems.empty());
    amy->send("ping");
    EXPECT_EQ(amy->receive(), "pong");
}

TEST_F(ServerTest, IncomingMessagesAreLimitedToTwoMebibytes)
{
    auto amy = join("amy");
    const std::size_t limit = 2u * 1024 * 1024;
    const std::string prefix = R"({"type":"message","text":")";
    std::string atLimit = prefix + std::string(limit - prefix.size() - 2, 'x') + "\"}";
    ASSERT_EQ(atLimit.size(), limit);
    ASSERT_TRUE(amy->send(atLimit));
    EXPECT_EQ(member(amy->receiveType("error"), "context"), "message");  // read whole, refused by the rules

    ASSERT_TRUE(amy->send(atLimit + " "));
    EXPECT_FALSE(amy->receive());
    EXPECT_EQ(amy->closeReason().code, 1009);  // message too big
    EXPECT_TRUE(control.waitForUser("amy", false));
}

TEST_F(ServerTest, SecondConnectionWithTheSameNameReplacesTheFirstAndKeepsItsRoom)
{
    auto first = join("amy");
    first->send(R"({"type":"create_room","room_name":"Solo","game":""})");
    first->send(R"({"type":"join_room","room":"Solo"})");
    ASSERT_TRUE(first->receiveType("room_joined"));

    // What a client does when it reconnects before the server noticed its
    // old link die: the same name, then its automatic rejoin.
    auto second = join("amy");
    EXPECT_FALSE(first->receive());
    EXPECT_EQ(first->closeReason().code, 4000);
    EXPECT_EQ(control.users(), Strings{"amy"});
    second->send(R"({"type":"join_room","room":"Solo"})");
    const auto rejoined = second->receiveType("room_joined");
    EXPECT_EQ(member(rejoined, "room"), "Solo");
    EXPECT_EQ(member(rejoined, "host"), "amy");
    second->send("ping");
    EXPECT_EQ(second->receive(), "pong");
}

TEST_F(ServerTest, RoomMembersSeeARenameAndAHostThatDisconnects)
{
    auto amy = join("amy");
    auto bob = join("bob");
    auto carl = join("carl");
    amy->send(R"({"type":"create_room","room_name":"Keep","game":""})");
    amy->send(R"({"type":"join_room","room":"Keep"})");
    ASSERT_TRUE(amy->receiveType("room_joined"));
    for (WsClient* client : {bob.get(), carl.get()}) {
        client->send(R"({"type":"join_room","room":"Keep"})");
        ASSERT_TRUE(client->receiveType("room_joined"));
    }

    amy->send(R"({"type":"set_username","username":"amelia"})");
    EXPECT_EQ(member(amy->receiveType("username_updated"), "username"), "amelia");
    for (WsClient* client : {bob.get(), carl.get()}) {
        EXPECT_EQ(member(client->receiveType("user_left_room"), "username"), "amy");
        EXPECT_EQ(member(client->receiveType("user_joined_room"), "username"), "amelia");
        const auto synced = client->receiveType("host_changed");
        EXPECT_EQ(member(synced, "host"), "amelia");
        EXPECT_EQ(member(synced, "reason"), "sync");
    }

    // The host's link dies without a close: the longest-standing member takes over.
    ASSERT_EQ(control.get("/drop?user=amelia").status, 200u);
    for (WsClient* client : {bob.get(), carl.get()}) {
        EXPECT_EQ(member(client->receiveType("user_left_room"), "username"), "amelia");
        const auto handed = client->receiveType("host_changed");
        EXPECT_EQ(member(handed, "host"), "bob");
        EXPECT_EQ(member(handed, "reason"), "host_left");
    }
    carl->send(R"({"type":"list_rooms"})");
    const auto rooms = carl->receiveType("rooms_list");
    ASSERT_TRUE(rooms);
    ASSERT_EQ(rooms->member("rooms")->arrayItems.size(), 1u);
    EXPECT_EQ(Velmor::memberText(rooms->member("rooms")->arrayItems[0], "host"), "bob");
}

TEST_F(ServerTest, SlowReaderIsDroppedWhenItsSendQueueOverflows)
{
    auto watcher = join("watcher");
    auto slow = join("slow");  // never reads again
    for (int i = 0; i < 40; ++i) {
        if (control.get("/send_large?user=slow&bytes=1048576").status != 200) break;  // gone already
    }
    EXPECT_TRUE(control.waitForUser("slow", false)) << "a client that stops reading must not grow the server without end";
    std::vector<std::string> skipped;
    bool sawDeparture = false;
    while (auto delta = watcher->receiveType("presence_delta", &skipped)) {
        const auto* offline = delta->member("went_offline");
        if (offline && !offline->arrayItems.empty() && offline->arrayItems[0].asText("") == "slow") {
            sawDeparture = true;
            break;
        }
    }
    EXPECT_TRUE(sawDeparture) << watcher->lastError().message() << " after " << skipped.size() << " other messages";
}

// --- control interface and faults ---------------------------------------------

TEST_F(ServerTest, InjectedMessagesArriveAsAsked)
{
    auto amy = join("amy");
    const std::string text = "{\"type\":\"message\",\"username\":\"s\xC3\xA9rver\",\"text\":\"in five pieces\"}";
    ASSERT_EQ(control.get("/send?user=amy&text=" + percentEncode(text) + "&fragments=5&ping_between=1").status, 200u);
    EXPECT_EQ(amy->receive(), text);
    EXPECT_EQ(amy->pings(), (Strings{"p1", "p2", "p3", "p4"}));

    ASSERT_EQ(control.get("/send?user=amy&text=not%20json").status, 200u);
    EXPECT_EQ(amy->receive(), "not json");

    ASSERT_EQ(control.get("/send?user=amy&text=bin&binary=1").status, 200u);
    EXPECT_EQ(amy->receive(), "bin");

    const std::size_t large = 3u * 1024 * 1024 + 7;
    ASSERT_EQ(control.get("/send_large?user=amy&bytes=" + std::to_string(large)).status, 200u);
    const auto big = amy->receive();
    ASSERT_TRUE(big);
    EXPECT_EQ(big->size(), large);
    EXPECT_TRUE(Velmor::parseJsonDocument(*big).has_value());

    // Bad arguments are refused with a reason, and nothing is sent.
    for (const std::string& bad : Strings{"/send?user=amy", "/send?user=nobody&text=x", "/send?user=amy&text=x&fragments=0",
                                  "/send_large?user=amy&bytes=3", "/close?user=amy&code=1005",
                                  "/close?user=amy&code=abc", "/close?user=amy&code=1000&reason=" + std::string(124, 'r'),
                                  "/fault?name=refuse_upgrade&status=101", "/fault?name=delay_dm_sent", "/fault?name=nope",
                                  "/fault", "/drop", "/pings"}) {
        const HttpReply reply = control.get(bad);
        EXPECT_EQ(reply.status, 400u) << bad;
        EXPECT_FALSE(reply.body.empty()) << bad;
    }
    EXPECT_EQ(control.get("/nothing").status, 404u);
    amy->send("ping");
    EXPECT_EQ(amy->receive(), "pong");

    // Unchanged means unchanged: broken UTF-8 in a text message reaches the
    // client, which must fail the connection (1007).
    ASSERT_EQ(control.get("/send?user=amy&text=%FF").status, 200u);
    EXPECT_FALSE(amy->receive());
    EXPECT_NE(amy->lastError(), boost::beast::error::timeout);
    EXPECT_TRUE(control.waitForUser("amy", false));
}

TEST_F(ServerTest, CloseDropAndResetEndConnectionsAsAsked)
{
    auto amy = join("amy");
    ASSERT_EQ(control.get("/close?user=amy&code=4321&reason=" + percentEncode("see you")).status, 200u);
    EXPECT_EQ(control.get("/send?user=amy&text=late").status, 400u) << "a closing connection takes nothing more";
    EXPECT_FALSE(amy->receive());
    EXPECT_EQ(amy->lastError(), websocket::error::closed);
    EXPECT_EQ(amy->closeReason().code, 4321);
    EXPECT_EQ(amy->closeReason().reason, "see you");

    auto bob = join("bob");
    ASSERT_EQ(control.get("/drop?user=bob").status, 200u);
    EXPECT_FALSE(bob->receive());
    EXPECT_NE(bob->lastError(), websocket::error::closed) << "a drop sends no close frame";
    EXPECT_TRUE(control.waitForUser("bob", false));

    auto carl = join("carl");
    carl->send("ping");
    carl->receive();
    control.get("/fault?name=ignore_pings");
    ASSERT_EQ(control.get("/reset").body, "ok");
    EXPECT_FALSE(carl->receive());
    EXPECT_EQ(control.users(), Strings{});
    EXPECT_EQ(control.get("/requests").body, "");
    EXPECT_EQ(control.get("/pings?user=carl").body, "0");
    auto again = join("carl");  // the fault went with the reset
    again->send("ping");
    EXPECT_EQ(again->receive(), "pong");
}

TEST_F(ServerTest, UpgradeFaultsRefuseOrSpoilTheHandshakeUntilCleared)
{
    for (const unsigned status : {403u, 200u}) {
        ASSERT_EQ(control.get("/fault?name=refuse_upgrade&status=" + std::to_string(status)).status, 200u);
        WsClient refused;
        EXPECT_EQ(refused.connect(server.port(), "amy"), websocket::error::upgrade_declined);
        EXPECT_EQ(refused.response().result_int(), status);
    }
    control.get("/clear_faults");
    control.get("/fault?name=wrong_accept");
    WsClient spoiled;
    EXPECT_EQ(spoiled.connect(server.port(), "amy"), websocket::error::bad_sec_accept);

    control.get("/clear_faults");
    control.get("/fault?name=untrusted_cert");
    WsClient untrusted;
    const auto error = untrusted.connect(server.port(), "amy");
    EXPECT_TRUE(error);
    EXPECT_EQ(error.category(), boost::asio::error::get_ssl_category()) << error.message();

    control.get("/clear_faults");
    control.get("/fault?name=close_after_handshake&code=4001&reason=" + percentEncode("go away"));
    WsClient closed;
    ASSERT_FALSE(closed.connect(server.port(), "amy"));
    EXPECT_FALSE(closed.receive());
    EXPECT_EQ(closed.closeReason().code, 4001);
    EXPECT_EQ(closed.closeReason().reason, "go away");
    EXPECT_EQ(control.users(), Strings{});

    control.get("/clear_faults");
    auto amy = join("amy");
    EXPECT_EQ(control.users(), Strings{"amy"});
}

TEST_F(ServerTest, DelayedUpgradeAnswersLateUntilClearedAndNeverHoldsUpAResetOrAStop)
{
    for (const std::string& bad : Strings{"/fault?name=delay_upgrade", "/fault?name=delay_upgrade&ms=600001",
                                          "/fault?name=delay_upgrade&ms=soon"}) {
        EXPECT_EQ(control.get(bad).status, 400u) << bad;
    }

    ASSERT_EQ(control.get("/fault?name=delay_upgrade&ms=700").status, 200u);
    const auto asked = std::chrono::steady_clock::now();
    WsClient late;
    ASSERT_FALSE(late.connect(server.port(), "amy"));
    EXPECT_GE(std::chrono::steady_clock::now() - asked, 650ms);
    EXPECT_EQ(late.response().result_int(), 101);
    EXPECT_TRUE(late.receiveType("connected"));

    // The client's own limit is 10 s, so a connection that still waited for
    // its minute would fail; /clear_faults and /reset both end the delay.
    control.get("/fault?name=delay_upgrade&ms=60000");
    control.get("/clear_faults");
    auto bob = join("bob");
    control.get("/fault?name=delay_upgrade&ms=60000");
    std::thread waiting([&] {
        WsClient held;
        EXPECT_TRUE(held.connect(server.port(), "carl")) << "dropped by the reset, not answered";
    });
    std::this_thread::sleep_for(300ms);  // let the upgrade request arrive
    ASSERT_EQ(control.get("/reset").status, 200u);
    waiting.join();
    auto dee = join("dee");
    EXPECT_EQ(control.users(), Strings{"dee"});

    // A connection held in its delay does not keep the server from stopping.
    control.get("/fault?name=delay_upgrade&ms=60000");
    std::thread held([&] {
        WsClient client;
        EXPECT_TRUE(client.connect(server.port(), "eve"));
    });
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(server.stop(SIGTERM, 5s), 0) << server.standardError();
    held.join();
}

TEST_F(ServerTest, TrickledUpgradeArrivesInPiecesAndAFrameCutHalfwayEndsTheConnection)
{
    for (const std::string& bad : Strings{"/fault?name=trickle_upgrade", "/fault?name=trickle_upgrade&ms=101",
                                          "/drop_mid_frame?user=nobody&bytes=1000"}) {
        EXPECT_EQ(control.get(bad).status, 400u) << bad;
    }
    ASSERT_EQ(control.get("/fault?name=trickle_upgrade&ms=5").status, 200u);
    RawTls raw(server.port());
    http::request<http::empty_body> upgrade{http::verb::get, "/websocket?user=amy", 11};
    upgrade.set(http::field::host, "localhost");
    upgrade.set(http::field::upgrade, "websocket");
    upgrade.set(http::field::connection, "Upgrade");
    upgrade.set(http::field::sec_websocket_key, "dGhlIHNhbXBsZSBub25jZQ==");
    upgrade.set(http::field::sec_websocket_version, "13");
    http::write(raw.stream, upgrade);

    // One read returns one TLS record: the answer comes three bytes at a time.
    char chunk[65536];
    beast::error_code ec;
    std::string answer;
    while (answer.find("\r\n\r\n") == std::string::npos) {
        const std::size_t got = raw.stream.read_some(boost::asio::buffer(chunk), ec);
        ASSERT_FALSE(ec) << ec.message() << " after " << answer;
        ASSERT_LE(got, 3u) << answer;
        answer.append(chunk, got);
    }
    EXPECT_EQ(answer.rfind("HTTP/1.1 101", 0), 0u) << answer;
    EXPECT_NE(answer.find("s3pPLMBiTxaQ9kYGzzhZRbK+xOo="), std::string::npos) << answer;
    ASSERT_TRUE(control.waitForUser("amy"));

    // After "connected" (whole), a header announcing 100,000 bytes, half of
    // them, and the end of the connection without a close frame.
    ASSERT_EQ(control.get("/drop_mid_frame?user=amy&bytes=100000").status, 200u);
    std::string frames;
    while (!ec) frames.append(chunk, raw.stream.read_some(boost::asio::buffer(chunk), ec));
    ASSERT_GE(frames.size(), 2u);
    const auto byte = [&](std::size_t at) { return static_cast<std::size_t>(static_cast<unsigned char>(frames[at])); };
    const std::size_t headerSize = byte(1) < 126 ? 2 : 4;
    const std::size_t payloadSize = byte(1) < 126 ? byte(1) : byte(2) << 8 | byte(3);
    EXPECT_EQ(byte(0), 0x81u);
    EXPECT_EQ(typeOf(frames.substr(headerSize, payloadSize)), "connected");
    const std::string cut = std::string("\x81\x7f\0\0\0\0\0\x01\x86\xa0", 10) +
                            R"({"type":"large_message","padding":")" + std::string(50000 - 35, 'x');
    EXPECT_EQ(frames.substr(headerSize + payloadSize), cut) << frames.size() << " bytes in all";
    EXPECT_TRUE(control.waitForUser("amy", false));

    control.get("/clear_faults");
    auto bob = join("bob");  // whole answers again
    EXPECT_EQ(bob->response().result_int(), 101);
}

TEST_F(ServerTest, PingAndAcknowledgementFaults)
{
    auto amy = join("amy");
    auto bob = join("bob");

    // A reply that follows in order proves the earlier one was never sent.
    control.get("/fault?name=ignore_pings");
    amy->send("ping");
    amy->send(R"({"type":"list_blocked"})");
    Strings skipped;
    ASSERT_TRUE(amy->receiveType("blocked_users", &skipped));
    EXPECT_EQ(std::count(skipped.begin(), skipped.end(), "pong"), 0);
    EXPECT_EQ(control.get("/pings?user=amy").body, "1");

    control.get("/fault?name=withhold_dm_sent");
    bob->send(R"({"type":"dm","to":"amy","text":"one","request_id":"dm-1"})");
    EXPECT_EQ(member(amy->receiveType("dm"), "text"), "one");
    bob->send(R"({"type":"list_blocked"})");
    skipped.clear();
    ASSERT_TRUE(bob->receiveType("blocked_users", &skipped));
    for (const std::string& text : skipped) EXPECT_NE(typeOf(text), "dm_sent");

    control.get("/fault?name=delay_dm_sent&ms=800");
    const auto sent = std::chrono::steady_clock::now();
    bob->send(R"({"type":"dm","to":"amy","text":"two","request_id":"dm-2"})");
    bob->send(R"({"type":"list_blocked"})");
    skipped.clear();
    ASSERT_TRUE(bob->receiveType("blocked_users", &skipped));
    for (const std::string& text : skipped) EXPECT_NE(typeOf(text), "dm_sent");
    const auto ack = bob->receiveType("dm_sent");
    EXPECT_EQ(member(ack, "request_id"), "dm-2");
    EXPECT_GE(std::chrono::steady_clock::now() - sent, 700ms);

    control.get("/clear_faults");
    bob->send(R"({"type":"dm","to":"amy","text":"three","request_id":"dm-3"})");
    EXPECT_EQ(member(bob->receiveType("dm_sent"), "request_id"), "dm-3");
    amy->send("ping");
    bool answered = false;
    while (auto text = amy->receive()) {
        if ((answered = *text == "pong")) break;
    }
    EXPECT_TRUE(answered) << "pings are answered again once the faults are cleared";
}

TEST_F(ServerTest, WithheldModerationIsRecordedButNeitherDoneNorAnsweredUntilCleared)
{
    auto amy = join("amy");
    auto bob = join("bob");
    amy->send(R"({"type":"create_room","room_name":"Keep","game":""})");
    amy->send(R"({"type":"join_room","room":"Keep"})");
    ASSERT_TRUE(amy->receiveType("room_joined"));
    bob->send(R"({"type":"join_room","room":"Keep"})");
    ASSERT_TRUE(bob->receiveType("room_joined"));
    ASSERT_TRUE(amy->receiveType("user_joined_room"));

    const Strings requests = {R"({"type":"block_user","username":"bob"})", R"({"type":"unblock_user","username":"bob"})",
                              R"({"type":"transfer_host","to":"bob"})", R"({"type":"kick_user","username":"bob"})"};
    // A "blocked_users" that follows in order proves nothing came before it,
    // and shows the block list unchanged.
    const auto answersBefore = [](WsClient& client) {
        client.send(R"({"type":"list_blocked"})");
        Strings skipped;
        const auto blocked = client.receiveType("blocked_users", &skipped);
        EXPECT_TRUE(blocked && blocked->member("users") && blocked->member("users")->arrayItems.empty());
        return skipped;
    };
    ASSERT_EQ(control.get("/fault?name=withhold_moderation").body, "ok");
    for (const std::string& request : requests) {
        amy->send(request);
        EXPECT_EQ(answersBefore(*amy), Strings{}) << request;
    }
    EXPECT_EQ(answersBefore(*bob), Strings{}) << "bob was neither made host nor kicked";
    const std::string record = control.get("/requests").body;
    for (const char* type : {"block_user", "unblock_user", "transfer_host", "kick_user"})
        EXPECT_NE(record.find(R"({"user":"amy","type":")" + std::string(type)), std::string::npos) << record;

    ASSERT_EQ(control.get("/clear_faults").body, "ok");
    amy->send(requests[0]);
    EXPECT_EQ(member(amy->receiveType("block_updated"), "action"), "blocked");
    amy->send(requests[2]);
    EXPECT_EQ(member(amy->receiveType("host_action_result"), "host"), "bob");
    EXPECT_EQ(member(bob->receiveType("host_changed"), "host"), "bob");
}

}  // namespace
