// The theme change shared by the theme combo box and the settings page.
#include "diagnostics/diagnostic_log.h"
#include "session/client_state.h"
#include "settings/settings_store.h"
#include "ui/theme.h"

#include <string>

namespace Velmor {

void changeTheme(HWND mainWindow, int index)
{
    ClientState& state = clientState();
    state.uiTheme = normalizedTheme(index);
    SettingsStore::storeUiTheme(state.uiTheme);
    recreateThemeBrushes(mainWindow);
    DiagnosticLog::write(kLevelInfo, std::wstring(L"Theme changed to ") + themeName(state.uiTheme));
}

}  // namespace Velmor
