// The demo community: a few scripted members who keep a room alive, chat in
// it, come and go, greet newcomers and answer direct messages, so a person
// who starts the demo finds a living community. The bots are ordinary members
// of the Community (they send the same requests a client sends) and have no
// sockets; the clock is passed in, so tests drive the script in simulated time.
#pragma once

#include "community.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace VelmorServer {

class DemoBots {
public:
    using Clock = std::chrono::steady_clock;

    static constexpr std::string_view kLobby = "Demo Lobby";
    static constexpr std::string_view kGame = "Stronghold Crusader";

    explicit DemoBots(Community& community, std::uint32_t seed = 20240611);

    // Advances the script to `now`; what the bots do lands in `out`, which the
    // caller delivers (messages to bots come back through receive).
    void tick(Clock::time_point now, Outbox& out);

    bool owns(ConnectionId id) const;

    // A message the community sent to one of the bots.
    void receive(ConnectionId id, std::string_view text, Clock::time_point now);

    // The community was reset: every bot is offline and the script restarts.
    void reset();

    std::vector<std::string> names() const;

private:
    enum class Role {
        Keeper,    // hosts the lobby and never leaves it
        Wanderer,  // comes and goes
        Loner,     // online, in no room, answers direct messages
    };
    struct Bot {
        std::string name;
        Role role;
        ConnectionId id = 0;
        Clock::time_point nextChange{};     // wanderers: when to come or go
        Clock::time_point rejoinAfter{};    // after being kicked
    };
    struct Action {
        Clock::time_point due;
        std::string bot;
        std::string request;  // JSON, exactly as a client would send it
    };

    void start(Clock::time_point now);
    void comeOnline(Bot& bot, Outbox& out);
    void enterLobby(Bot& bot, Outbox& out);
    void say(Bot& bot, std::string_view line, Outbox& out);
    void runDueActions(Clock::time_point now, Outbox& out);
    Bot* find(ConnectionId id);
    Bot* find(std::string_view name);
    Clock::duration randomSeconds(int low, int high);

    Community& community_;
    std::mt19937 random_;
    std::vector<Bot> bots_;
    std::vector<Action> actions_;
    bool started_ = false;
    Clock::time_point nextChat_{};
    std::uint64_t nextRequestId_ = 1;
    std::size_t lastLine_ = 0;
};

}  // namespace VelmorServer
