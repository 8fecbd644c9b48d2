// Request composition and the connection path, on byte strings.
#include "session/request_text.h"

#include <gtest/gtest.h>

using namespace Velmor;

TEST(RequestText, RequestsWithoutMembersHaveNoWhiteSpace)
{
    EXPECT_EQ(composeRequest("list_users"), R"({"type":"list_users"})");
    EXPECT_EQ(composeRequest("leave_room", ""), R"({"type":"leave_room"})");
}

TEST(RequestText, MembersFollowTheTypeInOrder)
{
    EXPECT_EQ(composeRequest("join_room", stringMember("room", "Lobby 1")), R"({"type":"join_room","room":"Lobby 1"})");
    const std::string members = stringMember("to", "amy") + "," + stringMember("text", "hi") + "," +
                                stringMember("request_id", "dm-1");
    EXPECT_EQ(composeRequest("dm", members), R"({"type":"dm","to":"amy","text":"hi","request_id":"dm-1"})");
    EXPECT_EQ(composeRequest("create_room", stringMember("room_name", "r") + "," + stringMember("game", "g")),
              R"({"type":"create_room","room_name":"r","game":"g"})");
}

TEST(RequestText, TypesAndValuesAreEscaped)
{
    EXPECT_EQ(composeRequest("we\"ird\x01"), "{\"type\":\"we\\\"ird\\u0001\"}");
    EXPECT_EQ(stringMember("text", "say \"hi\" \\ \n\tbye"), R"("text":"say \"hi\" \\ \n\tbye")");
    EXPECT_EQ(stringMember("room", "Caf\xC3\xA9 / \xF0\x9F\x98\x80"), "\"room\":\"Caf\xC3\xA9 / \xF0\x9F\x98\x80\"");
}

TEST(RequestText, ConnectionPathPercentEncodesEveryReservedByte)
{
    EXPECT_EQ(connectionPathUtf8("Zo\xC3\xAB K"), "/websocket?user=Zo%C3%AB%20K");
    EXPECT_EQ(percentEncode("AZaz09-._~"), "AZaz09-._~");
    EXPECT_EQ(percentEncode("a&b=c?d/e+f%g#h"), "a%26b%3Dc%3Fd%2Fe%2Bf%25g%23h");
    EXPECT_EQ(percentEncode(std::string("\x00\xFF", 2)), "%00%FF");
    EXPECT_EQ(connectionPathUtf8(""), "/websocket?user=");
}
