// Community rules; see community.h and the decisions in server/README.md.
#include "community.h"

#include "json/json_value.h"
#include "json_writer.h"
#include "text_rules.h"

#include <algorithm>
#include <cmath>

namespace VelmorServer {

using Velmor::JsonKind;
using Velmor::JsonValue;

namespace {

constexpr std::string_view kCapabilities = R"(["moderation_v2"])";

// Requests carry strings; anything else in a member the server needs is
// refused rather than guessed at.
const std::string* stringMember(const JsonValue& message, std::string_view key)
{
    const JsonValue* value = message.member(key);
    return value && value->kind == JsonKind::String ? &value->stringValue : nullptr;
}

std::string quoted(std::string_view name) { return "\"" + std::string(name) + "\""; }

void send(Outbox& out, ConnectionId to, std::string text, Delivery delivery = Delivery::Normal)
{
    out.push_back({to, std::move(text), delivery});
}

void refuse(Outbox& out, ConnectionId to, std::string_view context, std::string_view message)
{
    send(out, to, errorMessage(context, message));
}

template <typename List>
bool contains(const List& list, std::string_view name)
{
    return std::find(list.begin(), list.end(), name) != list.end();
}

template <typename List>
void eraseName(List& list, std::string_view name)
{
    list.erase(std::remove(list.begin(), list.end(), name), list.end());
}

}  // namespace

std::string errorMessage(std::string_view context, std::string_view message)
{
    return JsonObjectWriter("error").text("context", context).text("message", message).finish();
}

std::string dmErrorMessage(std::string_view message, std::string_view to, std::string_view requestId)
{
    return JsonObjectWriter("error")
        .text("context", "dm")
        .text("message", message)
        .text("to", to)
        .text("request_id", requestId)
        .finish();
}

ParsedRequest parseRequest(std::string_view text)
{
    ParsedRequest request;
    request.validUtf8 = isValidUtf8(text);
    request.document = Velmor::parseJsonDocument(text);
    if (request.document && request.document->kind == JsonKind::Object)
        request.type = Velmor::memberText(*request.document, "type");
    return request;
}

bool isModerationRequest(std::string_view type)
{
    return type == "block_user" || type == "unblock_user" || type == "transfer_host" || type == "kick_user";
}

const std::map<std::string, Community::Handler, std::less<>>& Community::handlers()
{
    static const std::map<std::string, Handler, std::less<>> table = {
        {"list_users", &Community::listUsers},
        {"list_rooms", &Community::listRooms},
        {"list_blocked", &Community::listBlocked},
        {"create_room", &Community::createRoom},
        {"join_room", &Community::joinRoom},
        {"leave_room", &Community::leaveRoom},
        {"message", &Community::roomMessage},
        {"set_username", &Community::setUsername},
        {"block_user", &Community::blockUser},
        {"unblock_user", &Community::unblockUser},
        {"transfer_host", &Community::transferHost},
        {"kick_user", &Community::kickUser},
        {"dm", &Community::directMessage},
    };
    return table;
}

// --- arrival and departure -------------------------------------------------

Admission Community::connect(std::string_view name, Outbox& out)
{
    Admission admission;
    admission.id = nextId_++;
    const std::string user(name);

    if (const auto existing = byName_.find(name); existing != byName_.end()) {
        // Same name again: the newer connection wins and takes over the
        // name's room membership and host role, so nobody hears of it. A
        // client that reconnects before the server noticed its old link die
        // rejoins its room, and that "join_room" finds it already a member.
        admission.replaced = existing->second;
        const auto old = connections_.find(admission.replaced);
        std::string keptRoom = std::move(old->second.room);
        connections_.erase(old);
        existing->second = admission.id;
        connections_[admission.id] = Connection{user, std::move(keptRoom)};
        noteActive(user);
    } else {
        connections_[admission.id] = Connection{user, {}};
        byName_.emplace(user, admission.id);
        online_.push_back(user);
        claimOfflineBlocks(user);
        noteActive(user);
        sendPresenceDelta({user}, {}, out, admission.id);
    }

    std::string snapshot = JsonObjectWriter("connected")
                               .text("username", user)
                               .textArray("users", online_)
                               .textArray("recent_users", recentFor(user))
                               .integer("online_count", static_cast<std::int64_t>(online_.size()))
                               .raw("rooms", roomsJson())
                               .raw("capabilities", kCapabilities)
                               .finish();
    // The snapshot goes first, before anything the arrival caused for others.
    out.insert(out.begin(), Outgoing{admission.id, std::move(snapshot), Delivery::Normal});
    return admission;
}

void Community::disconnect(ConnectionId id, Outbox& out)
{
    const auto found = connections_.find(id);
    if (found == connections_.end()) return;
    const std::string name = found->second.name;
    removeFromRoom(found->second, out);
    connections_.erase(found);
    byName_.erase(name);
    eraseName(online_, name);
    rememberOfflineBlocks(name);
    sendPresenceDelta({}, {name}, out);
}

void Community::reset()
{
    connections_.clear();
    byName_.clear();
    online_.clear();
    recent_.clear();
    rooms_.clear();
    blocks_.clear();
    offlineBlockLists_.clear();
}

// --- dispatch ----------------------------------------------------------------

void Community::handleRequest(ConnectionId id, const ParsedRequest& request, Outbox& out)
{
    const auto found = connections_.find(id);
    if (found == connections_.end()) return;
    if (!request.validUtf8) return refuse(out, id, "request", "The message is not valid UTF-8.");
    const std::optional<JsonValue>& message = request.document;
    if (!message || message->kind != JsonKind::Object)
        return refuse(out, id, "request", "The message is not a JSON object.");
    const std::string* type = stringMember(*message, "type");
    if (!type || type->empty()) return refuse(out, id, "request", "The message has no \"type\".");
    const auto handler = handlers().find(*type);
    if (handler == handlers().end())
        return refuse(out, id, "request", "Unknown message type " + quoted(shortened(*type, 64)) + ".");
    (this->*handler->second)(id, found->second, *message, out);
}

void Community::handleBinary(ConnectionId id, Outbox& out)
{
    if (connections_.count(id)) refuse(out, id, "request", "Binary messages are not part of this protocol.");
}

// --- presence ----------------------------------------------------------------

void Community::noteActive(const std::string& name)
{
    eraseName(recent_, name);
    recent_.push_front(name);
    while (recent_.size() > kRecentUsersShown + 1) recent_.pop_back();
}

std::vector<std::string> Community::recentFor(std::string_view recipient) const
{
    std::vector<std::string> names;
    for (const std::string& name : recent_) {
        if (name == recipient) continue;
        if (names.size() == kRecentUsersShown) break;
        names.push_back(name);
    }
    return names;
}

std::string Community::usersListMessage(std::string_view type, std::string_view recipient) const
{
    return JsonObjectWriter(type)
        .textArray("users", online_)
        .textArray("recent_users", recentFor(recipient))
        .integer("online_count", static_cast<std::int64_t>(online_.size()))
        .finish();
}

void Community::sendPresenceDelta(const std::vector<std::string>& wentOnline,
                                  const std::vector<std::string>& wentOffline, Outbox& out, ConnectionId except)
{
    const auto compose = [&](std::string_view recipient) {
        return JsonObjectWriter("presence_delta")
            .textArray("went_online", wentOnline)
            .textArray("went_offline", wentOffline)
            .textArray("recent_users", recentFor(recipient))
            .finish();
    };
    // One shared text; only the few recipients on the recent list itself get
    // their own, without their name.
    const std::string common = compose({});
    for (const auto& [id, connection] : connections_) {
        if (id == except) continue;
        send(out, id, contains(recent_, connection.name) ? compose(connection.name) : common);
    }
}

void Community::listUsers(ConnectionId id, Connection& self, const JsonValue&, Outbox& out)
{
    send(out, id, usersListMessage("users_list", self.name));
}

void Community::setUsername(ConnectionId id, Connection& self, const JsonValue& message, Outbox& out)
{
    const std::string* requested = stringMember(message, "username");
    if (!requested) return refuse(out, id, "username", "The request has no \"username\".");
    if (std::string problem = nameProblem(*requested, "user name"); !problem.empty())
        return refuse(out, id, "username", problem);
    const std::string newName = *requested;
    const std::string oldName = self.name;
    if (newName == oldName) {
        send(out, id, JsonObjectWriter("username_updated").text("username", newName).finish());
        return;
    }
    if (byName_.count(newName)) return refuse(out, id, "username", "The name " + quoted(newName) + " is already in use.");

    byName_.erase(oldName);
    byName_.emplace(newName, id);
    eraseName(online_, oldName);
    online_.push_back(newName);
    self.name = newName;
    // The block list is the person's setting and follows them; blocks that
    // others hold name names, and stay with the old one. A list the new name
    // already had (from whoever used it before) is not thrown away: the
    // person's own names come first, then the new name's others, within the
    // limit; the client hears of the merged list, which it would otherwise
    // only learn on its next connection.
    std::vector<std::string> ownBlocks = blockedBy(oldName);
    const std::size_t ownCount = ownBlocks.size();
    for (const std::string& inherited : blockedBy(newName))
        if (ownBlocks.size() < kMaxBlockedUsers && !contains(ownBlocks, inherited)) ownBlocks.push_back(inherited);
    const bool gained = ownBlocks.size() > ownCount;
    eraseName(ownBlocks, newName);
    claimOfflineBlocks(newName);
    blocks_.erase(oldName);
    blocks_.erase(newName);
    if (!ownBlocks.empty()) blocks_.emplace(newName, std::move(ownBlocks));
    noteActive(newName);

    send(out, id, JsonObjectWriter("username_updated").text("username", newName).finish());
    if (gained) sendBlockedUsers(id, self, out);
    sendPresenceDelta({newName}, {oldName}, out);
    if (Room* current = room(self.room)) {
        std::replace(current->members.begin(), current->members.end(), oldName, newName);
        sendToRoom(*current, JsonObjectWriter("user_left_room").text("room", current->name).text("username", oldName).finish(), out);
        sendToRoom(*current, JsonObjectWriter("user_joined_room").text("room", current->name).text("username", newName).finish(), out);
        if (current->host == oldName) {
            current->host = newName;
            sendToRoom(*current,
                       JsonObjectWriter("host_changed").text("room", current->name).text("host", newName).text("reason", "sync").finish(),
                       out);
        }
    }
}

// --- rooms -------------------------------------------------------------------

Room* Community::room(std::string_view name)
{
    if (name.empty()) return nullptr;
    const auto found = rooms_.find(name);
    return found == rooms_.end() ? nullptr : &found->second;
}

const Room* Community::findRoom(std::string_view name) const
{
    const auto found = rooms_.find(name);
    return found == rooms_.end() ? nullptr : &found->second;
}

std::string Community::roomsJson() const
{
    std::vector<const Room*> ordered;
    for (const auto& entry : rooms_) ordered.push_back(&entry.second);
    std::sort(ordered.begin(), ordered.end(),
              [](const Room* a, const Room* b) { return a->createdSequence < b->createdSequence; });
    std::string json = "[";
    for (const Room* entry : ordered) {
        if (json.size() > 1) json += ',';
        // "players" is a count; the client reads a "users" member as a count
        // too, so member names are not sent here.
        json += JsonObjectWriter()
                    .text("name", entry->name)
                    .text("game", entry->game)
                    .text("host", entry->host)
                    .integer("players", static_cast<std::int64_t>(entry->members.size()))
                    .integer("max_players", entry->maxPlayers)
                    .finish();
    }
    return json + "]";
}

std::string Community::roomJoinedMessage(const Room& joined) const
{
    return JsonObjectWriter("room_joined")
        .text("room", joined.name)
        .text("host", joined.host)
        .textArray("users", joined.members)
        .text("game", joined.game)
        .integer("max_players", joined.maxPlayers)
        .finish();
}

void Community::sendToRoom(const Room& target, const std::string& text, Outbox& out, std::string_view except)
{
    for (const std::string& member : target.members) {
        if (member == except) continue;
        if (const ConnectionId to = connectionOf(member)) send(out, to, text);
    }
}

void Community::removeFromRoom(Connection& connection, Outbox& out)
{
    Room* current = room(connection.room);
    connection.room.clear();
    if (!current) return;
    eraseName(current->members, connection.name);
    if (current->members.empty()) {
        const std::string emptied = current->name;
        rooms_.erase(emptied);
        return;
    }
    sendToRoom(*current,
               JsonObjectWriter("user_left_room").text("room", current->name).text("username", connection.name).finish(), out);
    if (current->host == connection.name) {
        current->host = current->members.front();
        sendToRoom(*current,
                   JsonObjectWriter("host_changed").text("room", current->name).text("host", current->host).text("reason", "host_left").finish(),
                   out);
    }
}

void Community::listRooms(ConnectionId id, Connection&, const JsonValue&, Outbox& out)
{
    send(out, id, JsonObjectWriter("rooms_list").raw("rooms", roomsJson()).finish());
}

void Community::createRoom(ConnectionId id, Connection& self, const JsonValue& message, Outbox& out)
{
    constexpr std::string_view context = "create_room";
    const std::string* name = stringMember(message, "room_name");
    if (!name) return refuse(out, id, context, "The request has no \"room_name\".");
    if (std::string problem = nameProblem(*name, "room name"); !problem.empty()) return refuse(out, id, context, problem);
    const std::string* gameMember = stringMember(message, "game");
    const std::string game = gameMember ? *gameMember : std::string();
    if (std::string problem = gameProblem(game); !problem.empty()) return refuse(out, id, context, problem);
    int maxPlayers = kDefaultMaxPlayers;
    if (const JsonValue* requested = message.member("max_players")) {
        // A JSON number with an integer value; "5" or 5.5 is not guessed at.
        const double value = requested->kind == JsonKind::Number ? requested->numberValue : 0.0;
        if (value < 2 || value > kMaxMaxPlayers || value != std::floor(value))
            return refuse(out, id, context, "The maximum number of players must be a whole number from 2 to 64.");
        maxPlayers = static_cast<int>(value);
    }
    if (rooms_.count(*name)) return refuse(out, id, context, "A room named " + quoted(*name) + " already exists.");

    // The creator becomes the host and only member at once. Creation itself
    // is not answered: the client follows it with "join_room", whose
    // "room_joined" confirms the membership once.
    removeFromRoom(self, out);
    Room created{*name, game, maxPlayers, self.name, {self.name}, nextRoomSequence_++};
    rooms_.emplace(*name, std::move(created));
    self.room = *name;
    noteActive(self.name);
}

void Community::joinRoom(ConnectionId id, Connection& self, const JsonValue& message, Outbox& out)
{
    constexpr std::string_view context = "join";
    const std::string* name = stringMember(message, "room");
    if (!name || name->empty()) return refuse(out, id, context, "The request has no \"room\".");
    Room* target = room(*name);
    if (!target) return refuse(out, id, context, "There is no room named " + quoted(shortened(*name, 64)) + ".");
    if (self.room == *name) return send(out, id, roomJoinedMessage(*target));
    if (static_cast<int>(target->members.size()) >= target->maxPlayers)
        return refuse(out, id, context, "The room " + quoted(*name) + " is full.");

    removeFromRoom(self, out);
    target = room(*name);  // still there: it has members other than this user
    sendToRoom(*target, JsonObjectWriter("user_joined_room").text("room", target->name).text("username", self.name).finish(), out);
    target->members.push_back(self.name);
    self.room = *name;
    send(out, id, roomJoinedMessage(*target));
    noteActive(self.name);
}

void Community::leaveRoom(ConnectionId id, Connection& self, const JsonValue&, Outbox& out)
{
    if (self.room.empty()) return;  // nothing to confirm: the client already left locally
    const std::string left = self.room;
    removeFromRoom(self, out);
    send(out, id, JsonObjectWriter("left_room").text("room", left).finish());
}

void Community::roomMessage(ConnectionId id, Connection& self, const JsonValue& message, Outbox& out)
{
    Room* current = room(self.room);
    constexpr std::string_view context = "message";
    if (!current) return refuse(out, id, context, "Join a room before sending messages.");
    const std::string* text = stringMember(message, "text");
    if (!text) return refuse(out, id, context, "The request has no \"text\".");
    if (std::string problem = textProblem(*text); !problem.empty()) return refuse(out, id, context, problem);
    const std::string line =
        JsonObjectWriter("message").text("room", current->name).text("username", self.name).text("text", *text).finish();
    // Members who blocked the sender do not get the line at all; the sender
    // always gets its own echo, which is how the client shows what it said.
    for (const std::string& member : current->members) {
        if (member != self.name && hasBlocked(member, self.name)) continue;
        if (const ConnectionId to = connectionOf(member)) send(out, to, line);
    }
    noteActive(self.name);
}

// --- host moderation ---------------------------------------------------------

void Community::transferHost(ConnectionId id, Connection& self, const JsonValue& message, Outbox& out)
{
    Room* current = room(self.room);
    if (!current) return refuse(out, id, "room", "You are not in a room.");
    if (current->host != self.name) return refuse(out, id, "room", "Only the room host can transfer the host role.");
    const std::string* target = stringMember(message, "to");
    if (!target || target->empty()) return refuse(out, id, "room", "The request has no \"to\".");
    if (*target == self.name) return refuse(out, id, "room", "You are already the room host.");
    if (!contains(current->members, *target))
        return refuse(out, id, "room", quoted(shortened(*target, 64)) + " is not in this room.");

    current->host = *target;
    send(out, id,
         JsonObjectWriter("host_action_result").text("action", "transfer_host").text("room", current->name).text("host", *target).finish());
    sendToRoom(*current,
               JsonObjectWriter("host_changed").text("room", current->name).text("host", *target).text("reason", "transfer").finish(), out);
}

void Community::kickUser(ConnectionId id, Connection& self, const JsonValue& message, Outbox& out)
{
    Room* current = room(self.room);
    if (!current) return refuse(out, id, "room", "You are not in a room.");
    if (current->host != self.name) return refuse(out, id, "room", "Only the room host can kick room members.");
    const std::string* target = stringMember(message, "username");
    if (!target || target->empty()) return refuse(out, id, "room", "The request has no \"username\".");
    if (*target == self.name) return refuse(out, id, "room", "You cannot kick yourself.");
    if (!contains(current->members, *target))
        return refuse(out, id, "room", quoted(shortened(*target, 64)) + " is not in this room.");

    const std::string roomName = current->name;
    const ConnectionId kickedId = connectionOf(*target);
    Connection& kicked = connections_.at(kickedId);
    send(out, kickedId, JsonObjectWriter("kicked_from_room").text("room", roomName).text("by", self.name).finish());
    removeFromRoom(kicked, out);  // the host stays, so the room does too
    send(out, id,
         JsonObjectWriter("host_action_result").text("action", "kick_user").text("room", roomName).text("username", *target).finish());
}

// --- blocks ------------------------------------------------------------------

bool Community::hasBlocked(std::string_view blocker, std::string_view target) const
{
    const auto list = blocks_.find(blocker);
    return list != blocks_.end() && contains(list->second, target);
}

std::vector<std::string> Community::blockedBy(std::string_view user) const
{
    const auto list = blocks_.find(user);
    return list == blocks_.end() ? std::vector<std::string>() : list->second;
}

void Community::rememberOfflineBlocks(const std::string& name)
{
    if (!blocks_.count(name)) return;
    offlineBlockLists_.push_back(name);
    while (offlineBlockLists_.size() > kMaxOfflineBlockLists) {
        blocks_.erase(offlineBlockLists_.front());
        offlineBlockLists_.pop_front();
    }
}

void Community::claimOfflineBlocks(std::string_view name)
{
    eraseName(offlineBlockLists_, name);
}

void Community::sendBlockedUsers(ConnectionId id, const Connection& connection, Outbox& out) const
{
    send(out, id, JsonObjectWriter("blocked_users").textArray("users", blockedBy(connection.name)).finish());
}

void Community::listBlocked(ConnectionId id, Connection& self, const JsonValue&, Outbox& out)
{
    sendBlockedUsers(id, self, out);
}

void Community::blockUser(ConnectionId id, Connection& self, const JsonValue& message, Outbox& out)
{
    const std::string* target = stringMember(message, "username");
    if (!target) return refuse(out, id, "block", "The request has no \"username\".");
    if (std::string problem = nameProblem(*target, "user name"); !problem.empty()) return refuse(out, id, "block", problem);
    if (*target == self.name) return refuse(out, id, "block", "You cannot block yourself.");
    std::vector<std::string>& list = blocks_[self.name];
    if (!contains(list, *target)) {
        if (list.size() >= kMaxBlockedUsers) return refuse(out, id, "block", "Your block list is full (500 names).");
        list.push_back(*target);
    }
    send(out, id, JsonObjectWriter("block_updated").text("username", *target).text("action", "blocked").finish());
    sendBlockedUsers(id, self, out);
}

void Community::unblockUser(ConnectionId id, Connection& self, const JsonValue& message, Outbox& out)
{
    const std::string* target = stringMember(message, "username");
    if (!target || target->empty()) return refuse(out, id, "block", "The request has no \"username\".");
    if (const auto list = blocks_.find(self.name); list != blocks_.end()) {
        eraseName(list->second, *target);
        if (list->second.empty()) blocks_.erase(list);
    }
    send(out, id, JsonObjectWriter("block_updated").text("username", *target).text("action", "unblocked").finish());
    sendBlockedUsers(id, self, out);
}

// --- direct messages ---------------------------------------------------------

void Community::directMessage(ConnectionId id, Connection& self, const JsonValue& message, Outbox& out)
{
    const std::string* toMember = stringMember(message, "to");
    const std::string* requestIdMember = stringMember(message, "request_id");
    const std::string to = toMember ? shortened(*toMember, 64) : std::string();
    std::string requestId = requestIdMember ? *requestIdMember : std::string();
    if (requestId.size() > kMaxRequestIdBytes) requestId.clear();
    const auto fail = [&](std::string_view why) { send(out, id, dmErrorMessage(why, to, requestId)); };

    if (requestIdMember && requestIdMember->size() > kMaxRequestIdBytes)
        return fail("The request id is longer than 128 bytes.");
    if (!toMember || toMember->empty()) return fail("The direct message has no recipient.");
    const std::string* text = stringMember(message, "text");
    if (!text) return fail("The direct message has no \"text\".");
    if (std::string problem = textProblem(*text); !problem.empty()) return fail(problem);
    if (*toMember == self.name) return fail("You cannot send a direct message to yourself.");
    if (hasBlocked(self.name, *toMember)) return fail("Unblock " + to + " before sending them a direct message.");
    const ConnectionId recipient = connectionOf(*toMember);
    if (!recipient) return fail(to + " is not online.");
    if (hasBlocked(*toMember, self.name)) return fail(to + " is not accepting direct messages from you.");

    send(out, recipient, JsonObjectWriter("dm").text("from", self.name).text("text", *text).finish());
    send(out, id,
         JsonObjectWriter("dm_sent").text("to", *toMember).text("text", *text).text("request_id", requestId).finish(),
         Delivery::DmAcknowledgement);
}

// --- queries -----------------------------------------------------------------

std::string Community::nameOf(ConnectionId id) const
{
    const auto found = connections_.find(id);
    return found == connections_.end() ? std::string() : found->second.name;
}

ConnectionId Community::connectionOf(std::string_view name) const
{
    const auto found = byName_.find(name);
    return found == byName_.end() ? 0 : found->second;
}

std::string Community::roomOf(ConnectionId id) const
{
    const auto found = connections_.find(id);
    return found == connections_.end() ? std::string() : found->second.room;
}

}  // namespace VelmorServer
