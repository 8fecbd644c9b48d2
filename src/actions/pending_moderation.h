// The one moderation request (block, unblock, host transfer, kick) that may
// await the server's confirmation at a time, with the main window's one-shot
// 8-second confirmation timer. Interface thread only.
#pragma once

#include "session/client_state.h"

#include <string>

namespace Velmor {

inline constexpr unsigned kModerationTimeoutMs = 8000;

// Records `description` ("block amy", "kick bob", ...) as the pending request
// and (re)starts the confirmation timer on the main window.
void startPendingModeration(ClientState& state, const std::wstring& description);

// The server answered: nothing is pending any more and the timer stops.
void clearPendingModeration(ClientState& state);

// The confirmation timer fired: the timer stops and, when a request is still
// pending, the unconfirmed-request warning naming it goes to the transcript.
void onModerationTimeout(ClientState& state);

}  // namespace Velmor
