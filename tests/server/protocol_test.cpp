// The real velmor-server program over real TLS WebSocket connections: start
// and stop, the upgrade rules, the protocol end to end, the size and queue
// limits, and every control request and fault the other tests rely on.
#include "server_harness.h"

#include <gtest/gtest.h>

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/websocket/error.hpp>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

using namespace VelmorTest;
namespace websocket = boost::beast::websocket;
using Strings = std::vector<std::string>;

namespace {

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

TEST_F(ServerTest, PlainHttpRequestsGetAClearError)
{
    // Through TLS, but without the upgrade headers.
    namespace beast = boost::beast;
    boost::asio::io_context io;
    boost::asio::ssl::context tls(boost::asio::ssl::context::tls_client);
    beast::ssl_stream<beast::tcp_stream> stream(io, tls);
    beast::get_lowest_layer(stream).connect({boost::asio::ip::make_address("127.0.0.1"), server.port()});
    stream.handshake(boost::asio::ssl::stream_base::client);
    beast::http::request<beast::http::empty_body> request(beast::http::verb::get, "/websocket?user=amy", 11);
    request.set(beast::http::field::host, "localhost");
    beast::http::write(stream, request);
    beast::flat_buffer buffer;
    beast::http::response<beast::http::string_body> response;
    beast::http::read(stream, buffer, response);
    EXPECT_EQ(response.result_int(), 426);
    EXPECT_NE(response.body().find("WebSocket"), std::string::npos);
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

TEST_F(ServerTest, IncomingMessagesAreLimitedToTwoMebibytes)
{
    auto amy = join("amy");
    const std::size_t limit = 2u * 1024 * 1024;
    const std::string prefix = R"({"type":"message","text":")";
    std::string atLimit = prefix + std::string(limit - prefix.size() - 2, 'x') + "\"}";
    ASSERT_EQ(atLimit.size(), limit);
    ASSERT_TRUE(amy->send(atLimit));
    EXPECT_EQ(member(amy->receiveType("error"), "context"), "room");  // read whole, refused by the rules

    ASSERT_TRUE(amy->send(atLimit + " "));
    EXPECT_FALSE(amy->receive());
    EXPECT_EQ(amy->closeReason().code, 1009);  // message too big
    EXPECT_TRUE(control.waitForUser("amy", false));
}

TEST_F(ServerTest, SecondConnectionWithTheSameNameReplacesTheFirst)
{
    auto first = join("amy");
    auto second = join("amy");
    EXPECT_FALSE(first->receive());
    EXPECT_EQ(first->closeReason().code, 4000);
    EXPECT_EQ(control.users(), Strings{"amy"});
    second->send("ping");
    EXPECT_EQ(second->receive(), "pong");
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

}  // namespace
