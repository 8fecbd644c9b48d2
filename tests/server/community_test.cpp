// The community rules without sockets: presence, rooms, host moderation,
// blocks, direct messages and malformed requests.
#include "community.h"
#include "name_counts.h"

#include "json/json_value.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace VelmorServer;
using Velmor::JsonValue;

namespace {

class CommunityTest : public ::testing::Test {
protected:
    ConnectionId arrive(const std::string& name)
    {
        out.clear();
        return community.connect(name, out).id;
    }

    void request(ConnectionId id, const std::string& text)
    {
        out.clear();
        community.handleText(id, text, out);
    }

    // Every message the last step sent to `id`, parsed, in order.
    std::vector<JsonValue> to(ConnectionId id) const
    {
        std::vector<JsonValue> messages;
        for (const Outgoing& item : out) {
            if (item.to != id) continue;
            auto parsed = Velmor::parseJsonDocument(item.text);
            EXPECT_TRUE(parsed.has_value()) << item.text;
            if (parsed) messages.push_back(std::move(*parsed));
        }
        return messages;
    }

    std::vector<std::string> typesTo(ConnectionId id) const
    {
        std::vector<std::string> types;
        for (const JsonValue& message : to(id)) types.push_back(Velmor::memberText(message, "type"));
        return types;
    }

    // The only message of `type` sent to `id`; fails the test otherwise.
    JsonValue only(ConnectionId id, const std::string& type) const
    {
        std::vector<JsonValue> found;
        for (JsonValue& message : to(id))
            if (Velmor::memberText(message, "type") == type) found.push_back(std::move(message));
        EXPECT_EQ(found.size(), 1u) << "messages of type " << type;
        return found.empty() ? JsonValue() : found.front();
    }

    static std::vector<std::string> names(const JsonValue& message, const std::string& key)
    {
        std::vector<std::string> result;
        const JsonValue* array = message.member(key);
        if (array) for (const JsonValue& item : array->arrayItems) result.push_back(item.asText("?"));
        return result;
    }

    static std::string text(const JsonValue& message, const std::string& key) { return Velmor::memberText(message, key); }

    // Creates a room as the client does: create, then join.
    void openRoom(ConnectionId id, const std::string& room)
    {
        request(id, R"({"type":"create_room","room_name":")" + room + R"(","game":"Stronghold Crusader"})");
        request(id, R"({"type":"join_room","room":")" + room + R"("})");
    }

    struct Members {
        ConnectionId amy, bob, carl;
    };
    // amy, bob and carl online and in the room "Keep", amy its host.
    Members keepOfThree()
    {
        const Members members{arrive("amy"), arrive("bob"), arrive("carl")};
        openRoom(members.amy, "Keep");
        request(members.bob, R"({"type":"join_room","room":"Keep"})");
        request(members.carl, R"({"type":"join_room","room":"Keep"})");
        return members;
    }

    Community community;
    Outbox out;
};

using Strings = std::vector<std::string>;

// --- presence ----------------------------------------------------------------

TEST_F(CommunityTest, ArrivalSendsSnapshotToNewcomerAndDeltaToOthers)
{
    const ConnectionId amy = arrive("amy");
    const ConnectionId bob = arrive("bob");
    ASSERT_NE(amy, bob);

    EXPECT_EQ(typesTo(bob), Strings{"connected"});
    const JsonValue snapshot = only(bob, "connected");
    EXPECT_EQ(names(snapshot, "users"), (Strings{"amy", "bob"}));
    EXPECT_EQ(names(snapshot, "recent_users"), Strings{"amy"});  // never the recipient's own name
    EXPECT_EQ(snapshot.member("online_count")->asInteger(-1), 2);
    EXPECT_EQ(names(snapshot, "capabilities"), Strings{"moderation_v2"});
    ASSERT_NE(snapshot.member("rooms"), nullptr);
    EXPECT_EQ(snapshot.member("rooms")->kind, Velmor::JsonKind::Array);

    const JsonValue delta = only(amy, "presence_delta");
    EXPECT_EQ(names(delta, "went_online"), Strings{"bob"});
    EXPECT_EQ(names(delta, "went_offline"), Strings{});
    EXPECT_EQ(names(delta, "recent_users"), Strings{"bob"});

    out.clear();
    community.disconnect(bob, out);
    const JsonValue gone = only(amy, "presence_delta");
    EXPECT_EQ(names(gone, "went_offline"), Strings{"bob"});
    EXPECT_EQ(names(gone, "recent_users"), Strings{"bob"});  // recently active, though offline now
    EXPECT_EQ(community.onlineUsers(), Strings{"amy"});

    request(amy, R"({"type":"list_users"})");
    const JsonValue list = only(amy, "users_list");
    EXPECT_EQ(names(list, "users"), Strings{"amy"});
    EXPECT_EQ(list.member("online_count")->asInteger(-1), 1);
}

TEST_F(CommunityTest, RecentUsersKeepTwentyMostRecentWithoutTheRecipient)
{
    std::vector<ConnectionId> ids;
    for (int i = 0; i < 25; ++i) ids.push_back(arrive("user" + std::to_string(i)));
    const JsonValue last = only(ids.back(), "connected");
    Strings expected;
    for (int i = 23; i >= 4; --i) expected.push_back("user" + std::to_string(i));
    EXPECT_EQ(names(last, "recent_users"), expected);

    // user5 is on the list: its own copy leaves itself out and shows one more.
    request(ids[5], R"({"type":"list_users"})");
    Strings forFive;
    for (int i = 24; i >= 4; --i)
        if (i != 5) forFive.push_back("user" + std::to_string(i));
    EXPECT_EQ(names(only(ids[5], "users_list"), "recent_users"), forFive);
}

TEST_F(CommunityTest, SecondConnectionWithSameNameTakesOverRoomAndHostQuietly)
{
    const ConnectionId amy = arrive("amy");
    const ConnectionId bob = arrive("bob");
    openRoom(bob, "Keep");
    request(amy, R"({"type":"join_room","room":"Keep"})");

    out.clear();
    const Admission again = community.connect("bob", out);
    EXPECT_EQ(again.replaced, bob);
    // The name never left its room nor went offline: only the newcomer hears.
    EXPECT_EQ(typesTo(again.id), Strings{"connected"});
    EXPECT_EQ(out.size(), 1u);
    EXPECT_EQ(community.onlineUsers(), (Strings{"amy", "bob"}));
    EXPECT_EQ(community.connectionOf("bob"), again.id);
    EXPECT_EQ(community.roomOf(again.id), "Keep");
    EXPECT_EQ(community.findRoom("Keep")->host, "bob");
    EXPECT_EQ(community.findRoom("Keep")->members, (Strings{"bob", "amy"}));

    // The client's automatic rejoin is confirmed by the already-a-member rule.
    request(again.id, R"({"type":"join_room","room":"Keep"})");
    EXPECT_EQ(typesTo(again.id), Strings{"room_joined"});
    EXPECT_EQ(text(only(again.id, "room_joined"), "host"), "bob");
    EXPECT_TRUE(to(amy).empty());
    request(amy, R"({"type":"message","text":"welcome back"})");
    EXPECT_EQ(typesTo(again.id), Strings{"message"});
    EXPECT_TRUE(to(bob).empty());
    request(again.id, R"({"type":"transfer_host","to":"amy"})");  // still the host
    EXPECT_EQ(text(only(again.id, "host_action_result"), "host"), "amy");

    // The replaced connection is detached: what it still does counts for nothing.
    request(bob, R"({"type":"list_users"})");
    EXPECT_TRUE(out.empty());
    out.clear();
    community.disconnect(bob, out);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(community.connectionOf("bob"), again.id);
    EXPECT_EQ(community.roomOf(again.id), "Keep");
}

TEST_F(CommunityTest, HostAloneInItsRoomKeepsTheRoomAcrossAReplacement)
{
    const ConnectionId solo = arrive("solo");
    openRoom(solo, "Alone");
    out.clear();
    const ConnectionId again = community.connect("solo", out).id;
    ASSERT_NE(community.findRoom("Alone"), nullptr);
    request(again, R"({"type":"join_room","room":"Alone"})");
    const JsonValue joined = only(again, "room_joined");
    EXPECT_EQ(text(joined, "host"), "solo");
    EXPECT_EQ(names(joined, "users"), Strings{"solo"});
}

TEST_F(CommunityTest, HostDisconnectingHandsOverToTheLongestStandingMember)
{
    const auto [amy, bob, carl] = keepOfThree();
    out.clear();
    community.disconnect(amy, out);
    for (const ConnectionId member : {bob, carl}) {
        EXPECT_EQ(typesTo(member), (Strings{"user_left_room", "host_changed", "presence_delta"}));
        EXPECT_EQ(text(only(member, "user_left_room"), "username"), "amy");
        const JsonValue changed = only(member, "host_changed");
        EXPECT_EQ(text(changed, "host"), "bob");
        EXPECT_EQ(text(changed, "reason"), "host_left");
    }
}

TEST_F(CommunityTest, RenameUpdatesPresenceRoomHostAndOwnBlockList)
{
    const ConnectionId amy = arrive("amy");
    const ConnectionId bob = arrive("bob");
    openRoom(amy, "Den");
    request(bob, R"({"type":"join_room","room":"Den"})");
    request(amy, R"({"type":"block_user","username":"carl"})");

    request(amy, R"({"type":"set_username","username":"amelia"})");
    EXPECT_EQ(typesTo(amy), (Strings{"username_updated", "presence_delta", "user_left_room", "user_joined_room", "host_changed"}));
    EXPECT_EQ(text(only(amy, "username_updated"), "username"), "amelia");
    const JsonValue delta = only(bob, "presence_delta");
    EXPECT_EQ(names(delta, "went_offline"), Strings{"amy"});
    EXPECT_EQ(names(delta, "went_online"), Strings{"amelia"});
    const JsonValue host = only(bob, "host_changed");
    EXPECT_EQ(text(host, "host"), "amelia");
    EXPECT_EQ(text(host, "reason"), "sync");
    EXPECT_EQ(community.findRoom("Den")->host, "amelia");
    EXPECT_EQ(community.blockedBy("amelia"), Strings{"carl"});
    EXPECT_TRUE(community.blockedBy("amy").empty());
    EXPECT_EQ(community.connectionOf("amy"), 0u);

    request(bob, R"({"type":"set_username","username":"amelia"})");
    EXPECT_EQ(text(only(bob, "error"), "context"), "username");
    request(bob, R"({"type":"set_username","username":" bob2"})");
    EXPECT_EQ(text(only(bob, "error"), "context"), "username");
    request(bob, R"({"type":"set_username","username":"bob"})");
    EXPECT_EQ(typesTo(bob), Strings{"username_updated"});  // unchanged name: confirmed, nobody else told
    EXPECT_EQ(out.size(), 1u);
}

TEST_F(CommunityTest, RenamingIntoANameKeepsTheBlockListThatNameHad)
{
    // carl's list outlives carl's connection, as block lists do.
    const ConnectionId carl = arrive("carl");
    request(carl, R"({"type":"block_user","username":"dave"})");
    out.clear();
    community.disconnect(carl, out);

    // bob has no list of his own: taking the name "carl" does not wipe carl's,
    // and bob's client is told the list that is now his.
    const ConnectionId bob = arrive("bob");
    request(bob, R"({"type":"set_username","username":"carl"})");
    EXPECT_EQ(typesTo(bob), (Strings{"username_updated", "blocked_users", "presence_delta"}));
    EXPECT_EQ(names(only(bob, "blocked_users"), "users"), Strings{"dave"});
    EXPECT_EQ(community.blockedBy("carl"), Strings{"dave"});

    // amy's own names come first, the new name's others after them.
    const ConnectionId erin = arrive("erin");
    request(erin, R"({"type":"block_user","username":"x"})");
    request(erin, R"({"type":"block_user","username":"y"})");
    request(erin, R"({"type":"block_user","username":"amy"})");
    out.clear();
    community.disconnect(erin, out);
    const ConnectionId amy = arrive("amy");
    request(amy, R"({"type":"block_user","username":"y"})");
    request(amy, R"({"type":"block_user","username":"z"})");
    request(amy, R"({"type":"set_username","username":"erin"})");
    EXPECT_EQ(community.blockedBy("erin"), (Strings{"y", "z", "x", "amy"}));
    EXPECT_TRUE(community.blockedBy("amy").empty());
    EXPECT_EQ(names(only(amy, "blocked_users"), "users"), (Strings{"y", "z", "x", "amy"}));

    // Nothing to merge: the person's own list moves and nothing more is sent.
    request(amy, R"({"type":"set_username","username":"fay"})");
    EXPECT_EQ(typesTo(amy), (Strings{"username_updated", "presence_delta"}));
    EXPECT_EQ(community.blockedBy("fay"), (Strings{"y", "z", "x", "amy"}));
}

// --- bounds on what is kept per name -----------------------------------------

TEST_F(CommunityTest, BlockListsOfOfflineNamesAreForgottenOldestFirstBeyondTheLimit)
{
    const ConnectionId keeper = arrive("keeper");  // online all along: never forgotten
    request(keeper, R"({"type":"block_user","username":"x"})");
    for (std::size_t i = 0; i <= kMaxOfflineBlockLists; ++i) {
        const ConnectionId id = arrive("gone" + std::to_string(i));
        request(id, R"({"type":"block_user","username":"x"})");
        out.clear();
        community.disconnect(id, out);
    }
    EXPECT_TRUE(community.blockedBy("gone0").empty()) << "the list offline longest is forgotten";
    EXPECT_EQ(community.blockedBy("gone1"), Strings{"x"});
    EXPECT_EQ(community.blockedBy("keeper"), Strings{"x"});

    // A name that comes back takes its list out of the offline ones: another
    // full round of departures does not forget it while it is online.
    const ConnectionId back = arrive("gone1");
    for (std::size_t i = 0; i < kMaxOfflineBlockLists; ++i) {
        const ConnectionId id = arrive("later" + std::to_string(i));
        request(id, R"({"type":"block_user","username":"x"})");
        out.clear();
        community.disconnect(id, out);
    }
    request(back, R"({"type":"list_blocked"})");
    EXPECT_EQ(names(only(back, "blocked_users"), "users"), Strings{"x"});
    EXPECT_TRUE(community.blockedBy("gone2").empty());
    EXPECT_EQ(community.blockedBy("later0"), Strings{"x"});
}

TEST(NameCounts, CountPerNameForABoundedNumberOfNames)
{
    NameCounts counts(3);
    counts.add("amy");
    counts.add("amy");
    counts.add("bob");
    counts.add("carl");
    EXPECT_EQ(counts.count("amy"), 2u);
    EXPECT_EQ(counts.count("nobody"), 0u);
    counts.add("dave");  // a fourth name: the first counted goes
    EXPECT_EQ(counts.size(), 3u);
    EXPECT_EQ(counts.count("amy"), 0u);
    EXPECT_EQ(counts.count("bob"), 1u);
    EXPECT_EQ(counts.count("dave"), 1u);
    counts.add("bob");  // known names do not push anyone out
    EXPECT_EQ(counts.count("carl"), 1u);
    EXPECT_EQ(counts.count("bob"), 2u);
    counts.clear();
    EXPECT_EQ(counts.size(), 0u);
    EXPECT_EQ(counts.count("bob"), 0u);
}

// --- rooms -------------------------------------------------------------------

TEST_F(CommunityTest, CreateThenJoinConfirmsOnceAndMakesTheCreatorHost)
{
    const ConnectionId amy = arrive("amy");
    request(amy, R"({"type":"create_room","room_name":"Castle","game":"Siege"})");
    EXPECT_TRUE(out.empty());
    request(amy, R"({"type":"join_room","room":"Castle"})");
    const JsonValue joined = only(amy, "room_joined");
    EXPECT_EQ(text(joined, "room"), "Castle");
    EXPECT_EQ(text(joined, "host"), "amy");
    EXPECT_EQ(names(joined, "users"), Strings{"amy"});
    EXPECT_EQ(joined.member("max_players")->asInteger(0), kDefaultMaxPlayers);

    request(amy, R"({"type":"list_rooms"})");
    const JsonValue list = only(amy, "rooms_list");
    ASSERT_EQ(list.member("rooms")->arrayItems.size(), 1u);
    const JsonValue& row = list.member("rooms")->arrayItems[0];
    EXPECT_EQ(text(row, "name"), "Castle");
    EXPECT_EQ(text(row, "game"), "Siege");
    EXPECT_EQ(text(row, "host"), "amy");
    EXPECT_EQ(row.member("players")->asInteger(0), 1);
    EXPECT_EQ(row.member("users"), nullptr);  // the client would read a "users" array as 0 players

    request(amy, R"({"type":"create_room","room_name":"Castle","game":""})");
    EXPECT_EQ(text(only(amy, "error"), "context"), "create_room");
}

TEST_F(CommunityTest, ChatReachesTheWholeRoomIncludingTheSenderAndNobodyElse)
{
    const ConnectionId amy = arrive("amy");
    const ConnectionId bob = arrive("bob");
    const ConnectionId carl = arrive("carl");
    openRoom(amy, "Keep");
    request(bob, R"({"type":"join_room","room":"Keep"})");
    EXPECT_EQ(names(only(bob, "room_joined"), "users"), (Strings{"amy", "bob"}));
    EXPECT_EQ(text(only(amy, "user_joined_room"), "username"), "bob");

    request(bob, R"({"type":"message","text":"hello \"all\""})");
    for (const ConnectionId member : {amy, bob}) {
        const JsonValue line = only(member, "message");
        EXPECT_EQ(text(line, "username"), "bob");
        EXPECT_EQ(text(line, "text"), "hello \"all\"");
        EXPECT_EQ(text(line, "room"), "Keep");
    }
    EXPECT_TRUE(to(carl).empty());

    request(carl, R"({"type":"message","text":"anyone?"})");
    EXPECT_EQ(text(only(carl, "error"), "context"), "message");
    EXPECT_EQ(out.size(), 1u);
    // Refused lines have a context of their own: the client cancels a pending
    // host action on a "room" error, and a refused line must not do that.
    for (const std::string& bad : {std::string("   "), std::string(10001, 'x'), std::string("a\\u2028b")}) {
        request(bob, R"({"type":"message","text":")" + bad + "\"}");
        EXPECT_EQ(text(only(bob, "error"), "context"), "message") << bad.substr(0, 10);
        EXPECT_TRUE(to(amy).empty());
    }
}

TEST_F(CommunityTest, HostLeavingHandsOverAndLastMemberLeavingRemovesTheRoom)
{
    const auto [amy, bob, carl] = keepOfThree();

    request(amy, R"({"type":"leave_room"})");
    EXPECT_EQ(text(only(amy, "left_room"), "room"), "Keep");
    for (const ConnectionId member : {bob, carl}) {
        EXPECT_EQ(typesTo(member), (Strings{"user_left_room", "host_changed"}));
        EXPECT_EQ(text(only(member, "host_changed"), "host"), "bob");  // the longest-standing member
    }

    // Moving to another room leaves this one without a "left_room" (the client
    // would reset the room it is joining).
    openRoom(amy, "Tower");
    request(bob, R"({"type":"join_room","room":"Tower"})");
    EXPECT_EQ(typesTo(bob), Strings{"room_joined"});
    EXPECT_EQ(text(only(carl, "host_changed"), "host"), "carl");

    out.clear();
    community.disconnect(carl, out);
    EXPECT_EQ(community.findRoom("Keep"), nullptr);
    request(amy, R"({"type":"list_rooms"})");
    const JsonValue list = only(amy, "rooms_list");
    ASSERT_EQ(list.member("rooms")->arrayItems.size(), 1u);
    EXPECT_EQ(text(list.member("rooms")->arrayItems[0], "name"), "Tower");

    request(carl, R"({"type":"leave_room"})");  // gone: ignored
    EXPECT_TRUE(out.empty());
    const ConnectionId dave = arrive("dave");
    request(dave, R"({"type":"leave_room"})");  // in no room: nothing to confirm
    EXPECT_TRUE(out.empty());
    request(dave, R"({"type":"join_room","room":"Keep"})");
    EXPECT_EQ(text(only(dave, "error"), "context"), "join");
}

TEST_F(CommunityTest, FullRoomRefusesAndRejoiningConfirmsWithoutNoise)
{
    const ConnectionId host = arrive("host");
    request(host, R"({"type":"create_room","room_name":"Duel","game":"","max_players":2})");
    request(host, R"({"type":"join_room","room":"Duel"})");
    const ConnectionId second = arrive("second");
    const ConnectionId third = arrive("third");
    request(second, R"({"type":"join_room","room":"Duel"})");
    EXPECT_EQ(typesTo(second), Strings{"room_joined"});
    request(third, R"({"type":"join_room","room":"Duel"})");
    EXPECT_EQ(text(only(third, "error"), "context"), "join");
    request(second, R"({"type":"join_room","room":"Duel"})");
    EXPECT_EQ(typesTo(second), Strings{"room_joined"});
    EXPECT_TRUE(to(host).empty());

    // "max_players" is a JSON number with a whole value from 2 to 64.
    for (const char* bad : {"65", "1", "\"5\"", "5.5", "1e300", "-1e300", "true"}) {
        request(host, R"({"type":"create_room","room_name":"Huge","game":"","max_players":)" + std::string(bad) + "}");
        EXPECT_EQ(text(only(host, "error"), "context"), "create_room") << bad;
    }
    EXPECT_EQ(community.findRoom("Huge"), nullptr);
    request(host, R"({"type":"create_room","room_name":"Pair","game":"","max_players":2.0})");
    ASSERT_NE(community.findRoom("Pair"), nullptr);
    EXPECT_EQ(community.findRoom("Pair")->maxPlayers, 2);
}

// --- host moderation ---------------------------------------------------------

TEST_F(CommunityTest, OnlyTheHostTransfersAndTheWholeRoomHears)
{
    const ConnectionId amy = arrive("amy");
    const ConnectionId bob = arrive("bob");
    const ConnectionId carl = arrive("carl");
    openRoom(amy, "Keep");
    request(bob, R"({"type":"join_room","room":"Keep"})");

    request(bob, R"({"type":"transfer_host","to":"bob"})");
    EXPECT_EQ(text(only(bob, "error"), "context"), "room");
    request(amy, R"({"type":"transfer_host","to":"carl"})");  // not a member
    EXPECT_EQ(text(only(amy, "error"), "context"), "room");
    request(carl, R"({"type":"transfer_host","to":"amy"})");  // in no room
    EXPECT_EQ(text(only(carl, "error"), "context"), "room");

    request(amy, R"({"type":"transfer_host","to":"bob"})");
    const JsonValue result = only(amy, "host_action_result");
    EXPECT_EQ(text(result, "action"), "transfer_host");
    EXPECT_EQ(text(result, "host"), "bob");
    for (const ConnectionId member : {amy, bob}) {
        const JsonValue changed = only(member, "host_changed");
        EXPECT_EQ(text(changed, "host"), "bob");
        EXPECT_NE(text(changed, "reason"), "sync");  // announced, not silent
    }
    request(amy, R"({"type":"kick_user","username":"bob"})");  // no longer host
    EXPECT_EQ(text(only(amy, "error"), "context"), "room");
}

TEST_F(CommunityTest, KickRemovesTheMemberWhoMayRejoin)
{
    const auto [amy, bob, carl] = keepOfThree();

    request(amy, R"({"type":"kick_user","username":"amy"})");
    EXPECT_EQ(text(only(amy, "error"), "context"), "room");
    request(bob, R"({"type":"kick_user","username":"carl"})");
    EXPECT_EQ(text(only(bob, "error"), "context"), "room");

    request(amy, R"({"type":"kick_user","username":"bob"})");
    const JsonValue kicked = only(bob, "kicked_from_room");
    EXPECT_EQ(text(kicked, "room"), "Keep");
    EXPECT_EQ(text(kicked, "by"), "amy");
    EXPECT_EQ(text(only(carl, "user_left_room"), "username"), "bob");
    const JsonValue result = only(amy, "host_action_result");
    EXPECT_EQ(text(result, "action"), "kick_user");
    EXPECT_EQ(text(result, "username"), "bob");
    EXPECT_EQ(community.roomOf(bob), "");
    EXPECT_EQ(community.findRoom("Keep")->members, (Strings{"amy", "carl"}));

    request(bob, R"({"type":"message","text":"still here?"})");
    EXPECT_EQ(typesTo(bob), Strings{"error"});
    request(bob, R"({"type":"join_room","room":"Keep"})");
    EXPECT_EQ(typesTo(bob), Strings{"room_joined"});
}

// --- blocks ------------------------------------------------------------------

TEST_F(CommunityTest, BlockListIsPerUserConfirmedAndHidesRoomLines)
{
    const ConnectionId amy = arrive("amy");
    const ConnectionId bob = arrive("bob");
    openRoom(amy, "Keep");
    request(bob, R"({"type":"join_room","room":"Keep"})");

    request(amy, R"({"type":"block_user","username":"bob"})");
    EXPECT_EQ(typesTo(amy), (Strings{"block_updated", "blocked_users"}));
    const JsonValue updated = only(amy, "block_updated");
    EXPECT_EQ(text(updated, "username"), "bob");
    EXPECT_EQ(text(updated, "action"), "blocked");
    EXPECT_EQ(names(only(amy, "blocked_users"), "users"), Strings{"bob"});
    EXPECT_TRUE(to(bob).empty());  // the blocked user is not told

    request(bob, R"({"type":"message","text":"hi"})");
    EXPECT_TRUE(to(amy).empty());
    EXPECT_EQ(typesTo(bob), Strings{"message"});
    request(amy, R"({"type":"message","text":"hi bob"})");
    EXPECT_EQ(typesTo(bob), Strings{"message"});  // blocking is one-way

    request(bob, R"({"type":"list_blocked"})");
    EXPECT_EQ(names(only(bob, "blocked_users"), "users"), Strings{});

    // Names, not connections: the list survives a reconnect under the same name.
    out.clear();
    community.disconnect(amy, out);
    const ConnectionId amyAgain = arrive("amy");
    request(amyAgain, R"({"type":"list_blocked"})");
    EXPECT_EQ(names(only(amyAgain, "blocked_users"), "users"), Strings{"bob"});

    request(amyAgain, R"({"type":"unblock_user","username":"bob"})");
    EXPECT_EQ(text(only(amyAgain, "block_updated"), "action"), "unblocked");
    EXPECT_EQ(names(only(amyAgain, "blocked_users"), "users"), Strings{});

    request(amyAgain, R"({"type":"block_user","username":"amy"})");
    EXPECT_EQ(text(only(amyAgain, "error"), "context"), "block");
    request(amyAgain, R"({"type":"block_user","username":""})");
    EXPECT_EQ(text(only(amyAgain, "error"), "context"), "block");
}

TEST_F(CommunityTest, BlockListHoldsAtMostFiveHundredDistinctNames)
{
    const ConnectionId amy = arrive("amy");
    for (int i = 0; i < 500; ++i) request(amy, R"({"type":"block_user","username":"u)" + std::to_string(i) + "\"}");
    EXPECT_EQ(community.blockedBy("amy").size(), 500u);
    request(amy, R"({"type":"block_user","username":"u7"})");  // already there: still confirmed
    EXPECT_EQ(typesTo(amy), (Strings{"block_updated", "blocked_users"}));
    request(amy, R"({"type":"block_user","username":"one-too-many"})");
    EXPECT_EQ(text(only(amy, "error"), "context"), "block");
    EXPECT_EQ(community.blockedBy("amy").size(), 500u);
}

// --- direct messages ---------------------------------------------------------

TEST_F(CommunityTest, DirectMessageIsDeliveredAndAcknowledged)
{
    const ConnectionId amy = arrive("amy");
    const ConnectionId bob = arrive("bob");
    request(amy, R"({"type":"dm","to":"bob","text":"psst \u00e9","request_id":"dm-7"})");

    const JsonValue dm = only(bob, "dm");
    EXPECT_EQ(text(dm, "from"), "amy");
    EXPECT_EQ(text(dm, "text"), "psst \xC3\xA9");
    const JsonValue ack = only(amy, "dm_sent");
    EXPECT_EQ(text(ack, "to"), "bob");
    EXPECT_EQ(text(ack, "text"), "psst \xC3\xA9");
    EXPECT_EQ(text(ack, "request_id"), "dm-7");
    for (const Outgoing& item : out)
        EXPECT_EQ(item.delivery, item.to == amy ? Delivery::DmAcknowledgement : Delivery::Normal);
}

TEST_F(CommunityTest, DirectMessageRefusalsNameRecipientAndRequest)
{
    const ConnectionId amy = arrive("amy");
    const ConnectionId bob = arrive("bob");
    const auto expectRefused = [&](const std::string& dm, const std::string& recipient, const std::string& requestId) {
        request(amy, dm);
        ASSERT_EQ(typesTo(amy), Strings{"error"}) << dm;
        const JsonValue error = only(amy, "error");
        EXPECT_EQ(text(error, "context"), "dm");
        EXPECT_EQ(text(error, "to"), recipient);
        EXPECT_EQ(text(error, "request_id"), requestId);
        EXPECT_FALSE(text(error, "message").empty());
        EXPECT_TRUE(to(bob).empty()) << dm;
    };

    expectRefused(R"({"type":"dm","to":"zed","text":"hi","request_id":"dm-1"})", "zed", "dm-1");   // offline
    expectRefused(R"({"type":"dm","to":"amy","text":"hi","request_id":"dm-2"})", "amy", "dm-2");   // oneself
    expectRefused(R"({"type":"dm","to":"bob","text":"","request_id":"dm-3"})", "bob", "dm-3");     // empty
    expectRefused(R"({"type":"dm","to":"bob","text":"a\u0000b","request_id":"dm-4"})", "bob", "dm-4");
    expectRefused(R"({"type":"dm","to":"zed","text":"hi"})", "zed", "");                          // no id: refused all the same

    request(bob, R"({"type":"block_user","username":"amy"})");
    expectRefused(R"({"type":"dm","to":"bob","text":"hi","request_id":"dm-5"})", "bob", "dm-5");
    request(bob, R"({"type":"unblock_user","username":"amy"})");
    request(amy, R"({"type":"block_user","username":"bob"})");
    expectRefused(R"({"type":"dm","to":"bob","text":"hi","request_id":"dm-6"})", "bob", "dm-6");
    request(amy, R"({"type":"unblock_user","username":"bob"})");
    request(amy, R"({"type":"dm","to":"bob","text":"hi","request_id":"dm-8"})");
    EXPECT_EQ(typesTo(bob), Strings{"dm"});
}

// --- malformed input ---------------------------------------------------------

TEST_F(CommunityTest, MalformedRequestsAreAnsweredWithAnErrorAndChangeNothing)
{
    const ConnectionId amy = arrive("amy");
    const ConnectionId bob = arrive("bob");
    const std::vector<std::string> bad = {
        "", "not json", "[1,2]", "\"text\"", "{}", R"({"type":5})", R"({"type":""})", R"({"type":"teleport"})",
        "{\"type\":\"message\",\"text\":\"a\"", "\xFF\xFE", R"({"type":"join_room","room":5})",
        R"({"type":"create_room","room_name":{"a":1}})", R"({"type":"create_room","room_name":"   "})",
        R"({"type":"create_room","room_name":")" + std::string(65, 'r') + "\"}",
        R"({"type":"kick_user"})", R"({"type":"dm","to":["bob"],"text":"x"})",
        R"({"type":"dm","to":"bob","text":"x","request_id":")" + std::string(200, 'i') + "\"}",
    };
    for (const std::string& text : bad) {
        request(amy, text);
        ASSERT_EQ(out.size(), 1u) << text;
        EXPECT_EQ(typesTo(amy), Strings{"error"}) << text;
    }
    request(amy, R"({"type":"list_rooms"})");
    EXPECT_TRUE(only(amy, "rooms_list").member("rooms")->arrayItems.empty());
    out.clear();
    community.handleBinary(amy, out);
    EXPECT_EQ(typesTo(amy), Strings{"error"});
    EXPECT_EQ(community.onlineUsers(), (Strings{"amy", "bob"}));
    EXPECT_TRUE(to(bob).empty());
}

TEST(ParsedRequest, OneParseServesTheRecordAndTheRules)
{
    const ParsedRequest join = parseRequest(R"({"type":"join_room","room":"Keep"})");
    EXPECT_TRUE(join.validUtf8);
    ASSERT_TRUE(join.document);
    EXPECT_EQ(join.type, "join_room");
    EXPECT_EQ(Velmor::memberText(*join.document, "room"), "Keep");
    EXPECT_EQ(parseRequest(R"({"type":5})").type, "5");  // as the record has always written it
    EXPECT_EQ(parseRequest("[1]").type, "");
    EXPECT_FALSE(parseRequest("not json").document);
    const ParsedRequest broken = parseRequest("{\"type\":\"list_rooms\",\"x\":\"\xFF\"}");
    EXPECT_FALSE(broken.validUtf8);
    EXPECT_EQ(broken.type, "list_rooms");

    // The rules refuse what the parse found wanting, without parsing again.
    Community community;
    Outbox out;
    const ConnectionId amy = community.connect("amy", out).id;
    out.clear();
    community.handleRequest(amy, broken, out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_NE(out[0].text.find("\"context\":\"request\""), std::string::npos) << out[0].text;
}

TEST_F(CommunityTest, RandomAndTruncatedInputNeverBreaksTheRules)
{
    const ConnectionId amy = arrive("amy");
    arrive("bob");
    openRoom(amy, "Keep");
    const std::vector<std::string> valid = {
        R"({"type":"dm","to":"bob","text":"hi","request_id":"dm-1"})", R"({"type":"join_room","room":"Keep"})",
        R"({"type":"kick_user","username":"bob"})", R"({"type":"set_username","username":"x"})",
        R"({"type":"block_user","username":"bob"})", R"({"type":"create_room","room_name":"R","game":"G"})",
    };
    std::mt19937 random(12345);
    for (int round = 0; round < 3000; ++round) {
        std::string text = valid[random() % valid.size()];
        text.resize(random() % (text.size() + 1));
        if (round % 3 == 0 && !text.empty()) text[random() % text.size()] = static_cast<char>(random() % 256);
        const ConnectionId sender = community.connectionOf(round % 2 ? "bob" : community.nameOf(amy));
        request(sender ? sender : amy, text);
        for (const Outgoing& item : out) ASSERT_TRUE(Velmor::parseJsonDocument(item.text).has_value()) << item.text;
    }
    // Whatever happened, the community is still consistent.
    for (const std::string& name : community.onlineUsers()) EXPECT_NE(community.connectionOf(name), 0u) << name;
}

}  // namespace
