// The identity command: turns the name the user typed into the client's
// identity. The first accepted name starts the session; later names rename
// the user on the server (connected) or wait for the next connection.
#pragma once

#include <string>

namespace Velmor {

inline constexpr std::size_t kMaxUserNameUnits = 64;

// Reads workspaceState().identityInput; interface thread.
void applyIdentity();

// 0 when `text` (UTF-8) trims to nothing, else its trimmed length in UTF-16
// code units; the header enables its button for 1 to 64.
std::size_t identityLength(const std::string& text);

}  // namespace Velmor
