// The community's rules without any transport: who is online, who was
// recently active, rooms with their host and members, per-user block lists
// and direct messages. Every operation takes what a connection did and
// appends the messages it causes to an outbox; the transport (or a test, or
// the demo bots) delivers them. Single-threaded by design: the server runs
// it on its one I/O thread.
#pragma once

#include "json/json_value.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace VelmorServer {

using ConnectionId = std::uint64_t;

// How the transport treats an outgoing message: acknowledgements of direct
// messages are the ones tests may delay or withhold.
enum class Delivery { Normal, DmAcknowledgement };

struct Outgoing {
    ConnectionId to = 0;
    std::string text;
    Delivery delivery = Delivery::Normal;
};
using Outbox = std::vector<Outgoing>;

struct Admission {
    ConnectionId id = 0;
    // The older connection of the same name, already detached from the
    // community (the transport closes it); 0 when there was none.
    ConnectionId replaced = 0;
};

// One text message, parsed once: the request record takes its type, the
// rules the rest. Messages may be 2 MiB, so nothing parses them twice.
struct ParsedRequest {
    bool validUtf8 = false;
    std::optional<Velmor::JsonValue> document;  // empty when the text is no JSON document
    std::string type;                           // the "type" member as text when it is an object, else empty
};
ParsedRequest parseRequest(std::string_view text);

// Block lists and host moderation: the requests a client keeps pending until
// the server confirms them, and which tests may leave unanswered.
bool isModerationRequest(std::string_view type);

inline constexpr int kDefaultMaxPlayers = 8;
inline constexpr int kMaxMaxPlayers = 64;
inline constexpr std::size_t kMaxBlockedUsers = 500;
// Block lists of names that are offline are remembered for at most this many
// names, the one that went offline longest ago forgotten first, so a stream
// of throw-away names cannot grow the server without end. Lists of names
// online now are always kept.
inline constexpr std::size_t kMaxOfflineBlockLists = 1000;
inline constexpr std::size_t kRecentUsersShown = 20;
inline constexpr std::size_t kMaxRequestIdBytes = 128;

struct Room {
    std::string name;
    std::string game;
    int maxPlayers = kDefaultMaxPlayers;
    std::string host;
    std::vector<std::string> members;  // join order: the next host is the longest-standing member
    std::uint64_t createdSequence = 0;
};

class Community {
public:
    // A connection whose name passed the upgrade checks arrives. It gets the
    // "connected" snapshot; everyone else a presence delta, unless the name
    // was already online, in which case the older connection is replaced and
    // the newer one takes over the name's room membership and host role.
    Admission connect(std::string_view name, Outbox& out);

    // The connection ended. Ids that are unknown (never admitted, replaced,
    // or forgotten by reset) are ignored.
    void disconnect(ConnectionId id, Outbox& out);

    // One text message from a connection (the bare "ping" is the
    // transport's business and never reaches here).
    void handleRequest(ConnectionId id, const ParsedRequest& request, Outbox& out);
    void handleText(ConnectionId id, std::string_view text, Outbox& out) { handleRequest(id, parseRequest(text), out); }

    // Binary messages carry nothing in this protocol.
    void handleBinary(ConnectionId id, Outbox& out);

    // Forgets everything: connections, rooms, block lists, recent users.
    void reset();

    std::string nameOf(ConnectionId id) const;                  // empty when unknown
    ConnectionId connectionOf(std::string_view name) const;     // 0 when not online
    std::string roomOf(ConnectionId id) const;                  // empty when in no room
    const std::vector<std::string>& onlineUsers() const { return online_; }  // arrival order
    const Room* findRoom(std::string_view name) const;
    std::vector<std::string> blockedBy(std::string_view user) const;

private:
    struct Connection {
        std::string name;
        std::string room;
    };
    using Handler = void (Community::*)(ConnectionId, Connection&, const Velmor::JsonValue&, Outbox&);
    static const std::map<std::string, Handler, std::less<>>& handlers();

    void listUsers(ConnectionId, Connection&, const Velmor::JsonValue&, Outbox&);
    void listRooms(ConnectionId, Connection&, const Velmor::JsonValue&, Outbox&);
    void listBlocked(ConnectionId, Connection&, const Velmor::JsonValue&, Outbox&);
    void createRoom(ConnectionId, Connection&, const Velmor::JsonValue&, Outbox&);
    void joinRoom(ConnectionId, Connection&, const Velmor::JsonValue&, Outbox&);
    void leaveRoom(ConnectionId, Connection&, const Velmor::JsonValue&, Outbox&);
    void roomMessage(ConnectionId, Connection&, const Velmor::JsonValue&, Outbox&);
    void setUsername(ConnectionId, Connection&, const Velmor::JsonValue&, Outbox&);
    void blockUser(ConnectionId, Connection&, const Velmor::JsonValue&, Outbox&);
    void unblockUser(ConnectionId, Connection&, const Velmor::JsonValue&, Outbox&);
    void transferHost(ConnectionId, Connection&, const Velmor::JsonValue&, Outbox&);
    void kickUser(ConnectionId, Connection&, const Velmor::JsonValue&, Outbox&);
    void directMessage(ConnectionId, Connection&, const Velmor::JsonValue&, Outbox&);

    // Takes `connection` out of its room: tells the remaining members, hands
    // the host role to the longest-standing member, removes a room left empty.
    void removeFromRoom(Connection& connection, Outbox& out);
    void sendToRoom(const Room& room, const std::string& text, Outbox& out, std::string_view except = {});
    void sendPresenceDelta(const std::vector<std::string>& wentOnline, const std::vector<std::string>& wentOffline,
                           Outbox& out, ConnectionId except = 0);
    void noteActive(const std::string& name);
    bool hasBlocked(std::string_view blocker, std::string_view target) const;
    // The name went offline: its block list, if any, joins the remembered
    // offline lists, and the oldest beyond the limit is forgotten.
    void rememberOfflineBlocks(const std::string& name);
    // The name is online again: its list is no longer an offline one.
    void claimOfflineBlocks(std::string_view name);
    void sendBlockedUsers(ConnectionId id, const Connection& connection, Outbox& out) const;

    std::vector<std::string> recentFor(std::string_view recipient) const;
    std::string usersListMessage(std::string_view type, std::string_view recipient) const;
    std::string roomsJson() const;
    std::string roomJoinedMessage(const Room& room) const;
    Room* room(std::string_view name);

    std::map<ConnectionId, Connection> connections_;
    std::map<std::string, ConnectionId, std::less<>> byName_;
    std::vector<std::string> online_;
    std::deque<std::string> recent_;  // most recent first; one more than shown, so a recipient's own name can be left out
    std::map<std::string, Room, std::less<>> rooms_;
    std::map<std::string, std::vector<std::string>, std::less<>> blocks_;  // per user name, in blocking order
    std::deque<std::string> offlineBlockLists_;  // names offline with a list in blocks_, the longest offline first
    ConnectionId nextId_ = 1;
    std::uint64_t nextRoomSequence_ = 1;
};

// Composes an "error" message. `to` and `requestId` are added only for
// direct-message errors, so the client can fail the right window.
std::string errorMessage(std::string_view context, std::string_view message);
std::string dmErrorMessage(std::string_view message, std::string_view to, std::string_view requestId);

}  // namespace VelmorServer
