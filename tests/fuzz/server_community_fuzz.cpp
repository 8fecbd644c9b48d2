// Fuzzes the local server's community rules, without sockets, with arbitrary
// text from up to four connected users, arrivals through the upgrade check
// (decideUpgrade on an arbitrary request target), departures, binary messages
// and resets, as the service drives them. After every step:
// - each outgoing message goes to a connection that is online and is valid
//   UTF-8 holding a JSON object with a "type";
// - the presence and room state is consistent: online names are unique and
//   acceptable, each room's members are online and in that room, its host is
//   a member, it is not over its size, and the room list names no other room;
// - block lists stay within their limit, without duplicates or the owner;
// - the text rules agree with each other on every text and string member
//   (strict UTF-8 decoding re-encodes to the same bytes, lengths, log-safe
//   texts, shortening, name and line checks);
// - an accepted upgrade names an acceptable user, and that name, fully
//   percent-encoded, is accepted again.
//
// Input: lines. Each line is a slot digit 0-3 (any byte, taken modulo 4), an
// operation and its argument: "u<target>" arrives through the upgrade check,
// "U<flags><target>" too with bit 0 of flags for GET and bit 1 for Upgrade,
// "-" leaves, "b" sends a binary message, "!" resets the community, ">" sends
// the rest as text; any other operation sends everything after the slot as
// text. Slots 0 and 1 start as the online users Alpha and Bravo.
#include "community.h"
#include "fuzz_check.h"
#include "text_rules.h"
#include "upgrade_request.h"

#include "json/json_value.h"

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

using namespace VelmorServer;
using Velmor::JsonKind;
using Velmor::JsonValue;

namespace {

constexpr std::size_t kSlots = 4;
constexpr std::size_t kMaxSteps = 64;

std::string encodeUtf8(const std::u32string& codePoints)
{
    std::string out;
    for (const char32_t c : codePoints) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | c >> 18);
            out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::size_t unitsOf(const std::u32string& codePoints)
{
    std::size_t units = 0;
    for (const char32_t c : codePoints) units += c > 0xFFFF ? 2 : 1;
    return units;
}

bool isControl(char32_t c, bool lineRules)
{
    if ((c < 0x20 && c != '\t') || c == 0x7F) return true;
    return lineRules && ((c >= 0x80 && c <= 0x9F) || c == 0x2028 || c == 0x2029);
}

void checkTextRules(std::string_view text)
{
    const std::optional<std::u32string> decoded = decodeUtf8(text);
    const std::optional<std::size_t> units = utf16Length(text);
    FUZZ_CHECK(isValidUtf8(text) == decoded.has_value());
    FUZZ_CHECK(units.has_value() == decoded.has_value());

    const std::string safe = logSafe(text);
    for (std::size_t i = 0; i < safe.size(); ++i) {
        const auto byte = static_cast<unsigned char>(safe[i]);
        const auto next = i + 1 < safe.size() ? static_cast<unsigned char>(safe[i + 1]) : 0;
        const auto third = i + 2 < safe.size() ? static_cast<unsigned char>(safe[i + 2]) : 0;
        FUZZ_CHECK(byte >= 0x20 && byte != 0x7F);
        FUZZ_CHECK(!(byte == 0xC2 && next >= 0x80 && next <= 0x9F));
        FUZZ_CHECK(!(byte == 0xE2 && next == 0x80 && (third == 0xA8 || third == 0xA9)));
    }

    const std::string name = nameProblem(text, "name");
    const std::string line = textProblem(text);
    if (!decoded) {
        FUZZ_CHECK(!line.empty());
        FUZZ_CHECK(!name.empty());
        return;
    }
    FUZZ_CHECK(encodeUtf8(*decoded) == text);  // nothing overlong, nothing lost
    FUZZ_CHECK(*units == unitsOf(*decoded));

    const std::string shortText = shortened(text, kMaxNameLength);
    if (*units <= kMaxNameLength) {
        FUZZ_CHECK(shortText == text);
    } else {
        FUZZ_CHECK(shortText.size() >= 3 && shortText.compare(shortText.size() - 3, 3, "...") == 0);
        const std::string_view kept = std::string_view(shortText).substr(0, shortText.size() - 3);
        FUZZ_CHECK(text.substr(0, kept.size()) == kept);
        const std::optional<std::size_t> keptUnits = utf16Length(kept);
        FUZZ_CHECK(keptUnits && *keptUnits <= kMaxNameLength && *keptUnits + 1 >= kMaxNameLength);
    }

    const bool anyControl = std::any_of(decoded->begin(), decoded->end(), [](char32_t c) { return isControl(c, false); });
    if (name.empty()) {
        FUZZ_CHECK(!decoded->empty() && *units <= kMaxNameLength && !anyControl);
        FUZZ_CHECK(!isSpaceLike(decoded->front()) && !isSpaceLike(decoded->back()));
    } else if (!decoded->empty() && *units <= kMaxNameLength && !anyControl) {
        FUZZ_CHECK(isSpaceLike(decoded->front()) || isSpaceLike(decoded->back()));
    }
    if (line.empty()) {
        FUZZ_CHECK(*units <= kMaxTextLength);
        FUZZ_CHECK(!std::all_of(decoded->begin(), decoded->end(), isSpaceLike));
        FUZZ_CHECK(std::none_of(decoded->begin(), decoded->end(), [](char32_t c) { return isControl(c, true); }));
    }
}

std::string percentEncodeAll(std::string_view bytes)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        out += '%';
        out += kHex[byte >> 4];
        out += kHex[byte & 0x0F];
    }
    return out;
}

void checkUpgrade(bool isGet, bool isUpgrade, std::string_view target, const UpgradeDecision& decision)
{
    const unsigned status = decision.status;
    FUZZ_CHECK(status == 0 || status == 400 || status == 404 || status == 405 || status == 426);
    if (status != 0) {
        FUZZ_CHECK(!decision.reason.empty() && decision.user.empty());
    } else {
        FUZZ_CHECK(isGet && isUpgrade);
        FUZZ_CHECK(target.substr(0, target.find('?')) == kServicePath);
        FUZZ_CHECK(!decision.user.empty() && nameProblem(decision.user, "user name").empty());
        const UpgradeDecision again =
            decideUpgrade(true, true, std::string(kServicePath) + "?v=1&&user=" + percentEncodeAll(decision.user) + "&x");
        FUZZ_CHECK(again.status == 0 && again.user == decision.user);
    }

    const std::size_t question = target.find('?');
    if (question == std::string_view::npos) return;
    const auto parameters = parseQuery(target.substr(question + 1));
    if (!parameters) return;
    std::string encoded;
    for (const QueryParameter& parameter : *parameters) {
        if (!encoded.empty()) encoded += '&';
        encoded += percentEncodeAll(parameter.name) + "=" + percentEncodeAll(parameter.value);
    }
    const auto reparsed = parseQuery(encoded);
    FUZZ_CHECK(reparsed && reparsed->size() == parameters->size());
    for (std::size_t i = 0; i < parameters->size(); ++i)
        FUZZ_CHECK((*reparsed)[i].name == (*parameters)[i].name && (*reparsed)[i].value == (*parameters)[i].value);
}

void checkOutbox(const Community& community, const Outbox& out)
{
    for (const Outgoing& item : out) {
        FUZZ_CHECK(item.to != 0 && !community.nameOf(item.to).empty());
        FUZZ_CHECK(isValidUtf8(item.text));
        const std::optional<JsonValue> message = Velmor::parseJsonDocument(item.text);
        FUZZ_CHECK(message && message->kind == JsonKind::Object);
        const JsonValue* type = message->member("type");
        FUZZ_CHECK(type && type->kind == JsonKind::String && !type->stringValue.empty());
        FUZZ_CHECK((item.delivery == Delivery::DmAcknowledgement) == (type->stringValue == "dm_sent"));
    }
}

void checkState(Community& community)
{
    const std::vector<std::string> online = community.onlineUsers();
    FUZZ_CHECK(std::set<std::string>(online.begin(), online.end()).size() == online.size());
    std::set<std::string> rooms;
    for (const std::string& name : online) {
        FUZZ_CHECK(nameProblem(name, "user name").empty());
        const ConnectionId id = community.connectionOf(name);
        FUZZ_CHECK(id != 0 && community.nameOf(id) == name);
        const std::string roomName = community.roomOf(id);
        if (!roomName.empty()) {
            const Room* room = community.findRoom(roomName);
            FUZZ_CHECK(room && room->name == roomName);
            FUZZ_CHECK(std::count(room->members.begin(), room->members.end(), name) == 1);
            rooms.insert(roomName);
        }
        const std::vector<std::string> blocked = community.blockedBy(name);
        FUZZ_CHECK(blocked.size() <= kMaxBlockedUsers);
        FUZZ_CHECK(std::set<std::string>(blocked.begin(), blocked.end()).size() == blocked.size());
        FUZZ_CHECK(std::find(blocked.begin(), blocked.end(), name) == blocked.end());
    }
    for (const std::string& roomName : rooms) {
        const Room& room = *community.findRoom(roomName);
        FUZZ_CHECK(nameProblem(room.name, "room name").empty() && gameProblem(room.game).empty());
        FUZZ_CHECK(room.maxPlayers >= 2 && room.maxPlayers <= kMaxMaxPlayers);
        FUZZ_CHECK(!room.members.empty() && room.members.size() <= static_cast<std::size_t>(room.maxPlayers));
        FUZZ_CHECK(std::find(room.members.begin(), room.members.end(), room.host) != room.members.end());
        for (const std::string& member : room.members)
            FUZZ_CHECK(community.roomOf(community.connectionOf(member)) == roomName);
    }

    // The room list as a client sees it names exactly these rooms.
    if (online.empty()) return;
    Outbox out;
    community.handleText(community.connectionOf(online.front()), R"({"type":"list_rooms"})", out);
    FUZZ_CHECK(out.size() == 1);
    const std::optional<JsonValue> list = Velmor::parseJsonDocument(out.front().text);
    const JsonValue* listed = list ? list->member("rooms") : nullptr;
    FUZZ_CHECK(listed && listed->kind == JsonKind::Array && listed->arrayItems.size() == rooms.size());
    for (const JsonValue& entry : listed->arrayItems) {
        FUZZ_CHECK(rooms.count(Velmor::memberText(entry, "name")) == 1);
        FUZZ_CHECK(entry.member("players") && entry.member("players")->asInteger(0) >= 1);
    }
}

void checkRequestStrings(const ParsedRequest& request)
{
    if (!request.document || request.document->kind != JsonKind::Object) return;
    for (const auto& [key, value] : request.document->objectMembers) {
        checkTextRules(key);
        if (value.kind == JsonKind::String) checkTextRules(value.stringValue);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Community community;
    ConnectionId slots[kSlots] = {};
    Outbox out;
    slots[0] = community.connect("Alpha", out).id;
    slots[1] = community.connect("Bravo", out).id;

    std::string_view input(reinterpret_cast<const char*>(data), size);
    for (std::size_t step = 0; step < kMaxSteps && !input.empty(); ++step) {
        const std::size_t end = std::min(input.find('\n'), input.size());
        const std::string_view line = input.substr(0, end);
        input.remove_prefix(std::min(end + 1, input.size()));
        if (line.empty()) continue;

        ConnectionId& slot = slots[static_cast<unsigned char>(line[0]) % kSlots];
        const char operation = line.size() > 1 ? line[1] : '>';
        const std::string_view argument = line.size() > 2 ? line.substr(2) : std::string_view();
        out.clear();
        if (operation == 'u' || operation == 'U') {
            const unsigned flags = operation == 'U' && !argument.empty() ? static_cast<unsigned char>(argument[0]) : 3;
            const std::string_view target = operation == 'U' && !argument.empty() ? argument.substr(1) : argument;
            const bool isGet = (flags & 1) != 0;
            const bool isUpgrade = (flags & 2) != 0;
            const UpgradeDecision decision = decideUpgrade(isGet, isUpgrade, target);
            checkUpgrade(isGet, isUpgrade, target, decision);
            if (decision.status == 0) {
                const Admission admission = community.connect(decision.user, out);
                FUZZ_CHECK(community.nameOf(admission.id) == decision.user);
                if (admission.replaced != 0) FUZZ_CHECK(community.nameOf(admission.replaced).empty());
                FUZZ_CHECK(!out.empty() && out.front().to == admission.id);
                const std::optional<JsonValue> snapshot = Velmor::parseJsonDocument(out.front().text);
                FUZZ_CHECK(snapshot && Velmor::memberText(*snapshot, "type") == "connected" &&
                           Velmor::memberText(*snapshot, "username") == decision.user);
                slot = admission.id;
            }
        } else if (operation == '-') {
            community.disconnect(slot, out);
            FUZZ_CHECK(community.nameOf(slot).empty());
        } else if (operation == 'b') {
            community.handleBinary(slot, out);
        } else if (operation == '!') {
            community.reset();
            for (ConnectionId& each : slots) each = 0;
            FUZZ_CHECK(community.onlineUsers().empty());
        } else {
            const std::string_view text = operation == '>' ? argument : line.substr(1);
            checkTextRules(text);
            // The bare "ping" is the transport's business.
            if (text != "ping") {
                const ParsedRequest request = parseRequest(text);
                checkRequestStrings(request);
                community.handleRequest(slot, request, out);
            }
        }
        checkOutbox(community, out);
        checkState(community);
    }
    return 0;
}
