// What the workspace (the Dear ImGui pages and header) keeps between frames:
// the texts the user is editing and the one-frame requests. Interface thread
// only; nothing here is stored.
#pragma once

#include <string>

namespace Velmor {

struct WorkspaceState {
    // Header.
    std::string identityInput;          // UTF-8; filled from the stored name at start-up
    bool identityFocusRequest = false;  // the next frame focuses the identity box

    // Room chat and roster pages.
    std::string roomMessageInput;
    bool roomMessageFocusRequest = false;
    std::string rosterSearchInput;
    std::wstring selectedPlayer;

    // Rooms, diagnostics and settings pages.
    std::string roomNameInput;
    std::string gameInput = "Stronghold Crusader";
    std::wstring selectedRoomName;
    std::string logSearchInput;
    int logFilterIndex = 0;
    std::string lastSyncedLogSearch;

    // Frame.
    float uiScale = 1.0f;
    int lastAppliedTheme = -1;
};

WorkspaceState& workspaceState();

}  // namespace Velmor
