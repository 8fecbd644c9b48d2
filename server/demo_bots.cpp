// The demo script; see demo_bots.h.
#include "demo_bots.h"

#include "json/json_value.h"
#include "json_writer.h"
#include "text_rules.h"

#include <algorithm>
#include <array>

namespace VelmorServer {

namespace {

constexpr std::array<std::string_view, 10> kChatLines = {
    "Anyone up for a 2v2 on the desert map?",
    "Remember to build granaries early, my peasants keep starving.",
    "Just lost my lord to a single assassin. Again.",
    "Who wants to practise castle sieges this evening?",
    "Tip: stone walls first, fancy towers later.",
    "GG everyone, that last match was close!",
    "Does anybody know a good map for four players?",
    "My catapults missed every shot. Every single one.",
    "Brb, getting tea.",
    "I will host another game in a few minutes.",
};

}  // namespace

DemoBots::DemoBots(Community& community, std::uint32_t seed) : community_(community), random_(seed)
{
    bots_ = {
        {"Mira", Role::Keeper},
        {"Tobias", Role::Wanderer},
        {"Noor", Role::Wanderer},
        {"Quill", Role::Loner},
    };
}

std::vector<std::string> DemoBots::names() const
{
    std::vector<std::string> result;
    for (const Bot& bot : bots_) result.push_back(bot.name);
    return result;
}

bool DemoBots::owns(ConnectionId id) const
{
    return id != 0 && std::any_of(bots_.begin(), bots_.end(), [id](const Bot& bot) { return bot.id == id; });
}

DemoBots::Bot* DemoBots::find(ConnectionId id)
{
    const auto found = std::find_if(bots_.begin(), bots_.end(), [id](const Bot& bot) { return bot.id == id; });
    return id != 0 && found != bots_.end() ? &*found : nullptr;
}

DemoBots::Bot* DemoBots::find(std::string_view name)
{
    const auto found = std::find_if(bots_.begin(), bots_.end(), [name](const Bot& bot) { return bot.name == name; });
    return found != bots_.end() ? &*found : nullptr;
}

DemoBots::Clock::duration DemoBots::randomSeconds(int low, int high)
{
    return std::chrono::seconds(std::uniform_int_distribution<int>(low, high)(random_));
}

void DemoBots::reset()
{
    for (Bot& bot : bots_) bot.id = 0;
    actions_.clear();
    started_ = false;
}

void DemoBots::start(Clock::time_point now)
{
    started_ = true;
    nextChat_ = now + std::chrono::seconds(4);
    for (Bot& bot : bots_) {
        bot.rejoinAfter = now;
        bot.nextChange = now;
    }
    // One wanderer is there from the start, the other arrives soon after, so
    // the first minute already shows somebody coming online.
    find("Tobias")->nextChange = now;
    find("Noor")->nextChange = now + std::chrono::seconds(15);
}

void DemoBots::comeOnline(Bot& bot, Outbox& out)
{
    // A person using a bot's name keeps it; the bot stays away meanwhile.
    if (community_.connectionOf(bot.name) != 0) return;
    bot.id = community_.connect(bot.name, out).id;
}

void DemoBots::enterLobby(Bot& bot, Outbox& out)
{
    if (!community_.findRoom(kLobby)) {
        community_.handleText(
            bot.id, JsonObjectWriter("create_room").text("room_name", kLobby).text("game", kGame).finish(), out);
    }
    community_.handleText(bot.id, JsonObjectWriter("join_room").text("room", kLobby).finish(), out);
}

void DemoBots::say(Bot& bot, std::string_view line, Outbox& out)
{
    community_.handleText(bot.id, JsonObjectWriter("message").text("text", line).finish(), out);
}

void DemoBots::tick(Clock::time_point now, Outbox& out)
{
    if (!started_) start(now);

    for (Bot& bot : bots_) {
        // Reset, or replaced by a person who connected with the bot's name.
        if (bot.id != 0 && community_.nameOf(bot.id) != bot.name) bot.id = 0;

        if (bot.role == Role::Wanderer && now >= bot.nextChange) {
            if (bot.id != 0) {
                if (community_.roomOf(bot.id) == kLobby) say(bot, "Heading off for now, see you later!", out);
                community_.disconnect(bot.id, out);
                bot.id = 0;
                bot.nextChange = now + randomSeconds(20, 40);
            } else {
                comeOnline(bot, out);
                bot.nextChange = now + randomSeconds(45, 90);
                if (bot.id != 0) {
                    enterLobby(bot, out);
                    say(bot, "Hi everyone, anyone up for a game?", out);
                }
            }
        } else if (bot.role != Role::Wanderer && bot.id == 0) {
            comeOnline(bot, out);
        }

        if (bot.id != 0 && bot.role != Role::Loner && now >= bot.rejoinAfter && community_.roomOf(bot.id) != kLobby)
            enterLobby(bot, out);
    }

    runDueActions(now, out);

    if (now >= nextChat_) {
        nextChat_ = now + randomSeconds(8, 15);
        std::vector<Bot*> speakers;
        for (Bot& bot : bots_)
            if (bot.id != 0 && community_.roomOf(bot.id) == kLobby) speakers.push_back(&bot);
        if (!speakers.empty()) {
            Bot& speaker = *speakers[random_() % speakers.size()];
            // Never the same line twice in a row.
            lastLine_ = (lastLine_ + 1 + random_() % (kChatLines.size() - 1)) % kChatLines.size();
            say(speaker, kChatLines[lastLine_], out);
        }
    }
}

void DemoBots::runDueActions(Clock::time_point now, Outbox& out)
{
    std::vector<Action> due;
    const auto split = std::stable_partition(actions_.begin(), actions_.end(),
                                             [now](const Action& action) { return action.due > now; });
    due.assign(std::make_move_iterator(split), std::make_move_iterator(actions_.end()));
    actions_.erase(split, actions_.end());
    for (const Action& action : due) {
        const Bot* bot = find(action.bot);
        if (bot && bot->id != 0) community_.handleText(bot->id, action.request, out);
    }
}

void DemoBots::receive(ConnectionId id, std::string_view text, Clock::time_point now)
{
    Bot* bot = find(id);
    if (!bot) return;
    const auto message = Velmor::parseJsonDocument(text);
    if (!message) return;
    const std::string type = Velmor::memberText(*message, "type");

    if (type == "dm") {
        const std::string from = Velmor::memberText(*message, "from");
        if (from.empty() || find(from)) return;  // bots do not chat with each other
        const std::string reply = "Hi " + from + "! I'm " + bot->name +
                                  ", one of the demo bots on this local server. You said: \"" +
                                  shortened(Velmor::memberText(*message, "text"), 80) + "\"";
        actions_.push_back({now + std::chrono::milliseconds(1500), bot->name,
                            JsonObjectWriter("dm")
                                .text("to", from)
                                .text("text", reply)
                                .text("request_id", "demo-" + std::to_string(nextRequestId_++))
                                .finish()});
    } else if (type == "user_joined_room" && bot->role == Role::Keeper) {
        const std::string newcomer = Velmor::memberText(*message, "username");
        if (newcomer.empty() || find(newcomer)) return;
        actions_.push_back({now + std::chrono::seconds(2), bot->name,
                            JsonObjectWriter("message").text("text", "Welcome to the " + std::string(kLobby) + ", " + newcomer + "!").finish()});
    } else if (type == "kicked_from_room") {
        bot->rejoinAfter = now + std::chrono::seconds(30);
    }
}

}  // namespace VelmorServer
