// Handles every text message the server sends: recognises it, logs its type
// (never its content), applies it to the client state and tells the user
// through the activity transcript and the native lists. Interface thread only.
#pragma once

#include "session/client_state.h"

#include <string_view>

namespace Velmor {

// `text` is one whole received message (UTF-8).
void dispatchServerText(ClientState& state, std::string_view text);
// The main window's handler of a posted serverText message: dispatches on the
// process-wide state, then gives the message's share of the worker's
// back-pressure bound back (releaseServerText).
void dispatchServerText(std::string_view text);

}  // namespace Velmor
