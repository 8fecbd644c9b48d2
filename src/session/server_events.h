// Handles every text message the server sends: recognises it, logs its type
// (never its content), applies it to the client state and tells the user
// through the activity transcript and the native lists. Interface thread only.
#pragma once

#include "json/json_value.h"
#include "session/client_state.h"

#include <optional>
#include <string>
#include <string_view>

namespace Velmor {

// One received message, read on the connection worker so that the interface
// thread only applies it: parsing a snapshot of thousands of names, and
// turning them into unique wide names, would otherwise hold up its frames.
struct ServerMessage {
    std::string text;                   // as received (UTF-8)
    std::optional<JsonValue> document;  // the parsed text; empty when it is not JSON
    // The "users" of a user snapshot ("connected", "users_list",
    // "users_update") as `uniqueNames` reads them; the document's own array
    // is then emptied (its elements are freed on the worker, not in the
    // interface thread).
    std::optional<NameList> onlineNames;
    // What the message holds in memory while it waits to be dispatched: the
    // share of the worker's back-pressure bound it takes.
    std::size_t footprint = 0;
};

// Any thread.
ServerMessage readServerMessage(std::string text);

// `text` is one whole received message (UTF-8): read, then dispatched.
void dispatchServerText(ClientState& state, std::string_view text);
void dispatchServerMessage(ClientState& state, ServerMessage& message);
// The main window's handler of a posted serverText message: dispatches on the
// process-wide state, then gives the message's share of the worker's
// back-pressure bound back (releaseServerText).
void dispatchServerMessage(ServerMessage& message);

}  // namespace Velmor
