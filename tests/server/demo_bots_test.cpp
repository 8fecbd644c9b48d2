// The demo bots in simulated time: the lobby stays alive, the bots chat, come
// and go, greet a newcomer and answer a direct message.
#include "demo_bots.h"

#include "json/json_value.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

using namespace VelmorServer;
using Clock = DemoBots::Clock;
using namespace std::chrono_literals;

namespace {

class DemoBotsTest : public ::testing::Test {
protected:
    // Delivers an outbox as the server does: bots get theirs, the person's
    // messages are kept for the test.
    void deliver(Outbox& out)
    {
        for (Outgoing& item : out) {
            if (bots.owns(item.to)) {
                bots.receive(item.to, item.text, now);
            } else if (item.to == person) {
                auto parsed = Velmor::parseJsonDocument(item.text);
                ASSERT_TRUE(parsed.has_value()) << item.text;
                received.push_back(std::move(*parsed));
            }
        }
        out.clear();
    }

    void runFor(Clock::duration span)
    {
        const Clock::time_point end = now + span;
        while (now < end) {
            now += 500ms;
            Outbox out;
            bots.tick(now, out);
            deliver(out);
        }
    }

    void personSays(const std::string& request)
    {
        Outbox out;
        community.handleText(person, request, out);
        deliver(out);
    }

    std::vector<Velmor::JsonValue> receivedOfType(const std::string& type) const
    {
        std::vector<Velmor::JsonValue> found;
        for (const auto& message : received)
            if (Velmor::memberText(message, "type") == type) found.push_back(message);
        return found;
    }

    Community community;
    DemoBots bots{community};
    Clock::time_point now{};
    ConnectionId person = 0;
    std::vector<Velmor::JsonValue> received;
};

TEST_F(DemoBotsTest, LobbyStaysAliveWhileBotsChatComeAndGo)
{
    runFor(1s);
    const Room* lobby = community.findRoom(DemoBots::kLobby);
    ASSERT_NE(lobby, nullptr);
    EXPECT_EQ(lobby->host, "Mira");
    EXPECT_NE(community.connectionOf("Quill"), 0u);
    EXPECT_EQ(community.roomOf(community.connectionOf("Quill")), "");

    Outbox out;
    person = community.connect("visitor", out).id;
    deliver(out);
    personSays(R"({"type":"join_room","room":"Demo Lobby"})");
    ASSERT_EQ(receivedOfType("room_joined").size(), 1u);

    std::set<std::string> speakers, arrivals, departures;
    for (int minute = 0; minute < 10; ++minute) {
        runFor(60s);
        ASSERT_NE(community.findRoom(DemoBots::kLobby), nullptr) << "minute " << minute;
    }
    for (const auto& message : receivedOfType("message")) speakers.insert(Velmor::memberText(message, "username"));
    for (const auto& delta : receivedOfType("presence_delta")) {
        for (const auto& name : delta.member("went_online")->arrayItems) arrivals.insert(name.asText(""));
        for (const auto& name : delta.member("went_offline")->arrayItems) departures.insert(name.asText(""));
    }
    EXPECT_TRUE(speakers.count("Mira"));
    EXPECT_GE(speakers.size(), 2u);
    for (const char* wanderer : {"Tobias", "Noor"}) {
        EXPECT_TRUE(arrivals.count(wanderer)) << wanderer;
        EXPECT_TRUE(departures.count(wanderer)) << wanderer;
    }
    EXPECT_FALSE(departures.count("Mira"));
    const auto lines = receivedOfType("message");
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const Velmor::JsonValue& line) {
        return Velmor::memberText(line, "username") == "Mira" &&
               Velmor::memberText(line, "text").find("visitor") != std::string::npos;
    })) << "nobody greeted the newcomer";
}

TEST_F(DemoBotsTest, BotAnswersADirectMessageAfterAShortPause)
{
    runFor(1s);
    Outbox out;
    person = community.connect("visitor", out).id;
    deliver(out);
    received.clear();
    personSays(R"({"type":"dm","to":"Quill","text":"hello there","request_id":"dm-1"})");
    ASSERT_EQ(receivedOfType("dm_sent").size(), 1u);
    EXPECT_TRUE(receivedOfType("dm").empty());

    runFor(500ms);
    EXPECT_TRUE(receivedOfType("dm").empty()) << "answered without any pause";
    runFor(2s);
    const auto answers = receivedOfType("dm");
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(Velmor::memberText(answers[0], "from"), "Quill");
    EXPECT_NE(Velmor::memberText(answers[0], "text").find("hello there"), std::string::npos);
}

TEST_F(DemoBotsTest, PersonKeepsABotsNameAndResetRestartsTheScript)
{
    Outbox out;
    person = community.connect("Quill", out).id;
    deliver(out);
    runFor(5s);
    EXPECT_EQ(community.connectionOf("Quill"), person);  // the bot did not replace the person
    EXPECT_NE(community.connectionOf("Mira"), 0u);

    community.reset();
    bots.reset();
    person = 0;
    EXPECT_EQ(community.findRoom(DemoBots::kLobby), nullptr);
    runFor(1s);
    EXPECT_NE(community.findRoom(DemoBots::kLobby), nullptr);
    EXPECT_NE(community.connectionOf("Quill"), 0u);
}

}  // namespace
