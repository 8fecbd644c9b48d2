#include "actions/identity.h"

#include "diagnostics/diagnostic_log.h"
#include "i18n/localize.h"
#include "json/text_encoding.h"
#include "platform/app_messages.h"
#include "platform/user_prompts.h"
#include "session/request_text.h"
#include "session/session.h"
#include "settings/settings_store.h"
#include "ui/control_ids.h"
#include "ui/workspace_state.h"

#include <windows.h>

namespace Velmor {
namespace {

void setUserNameBox(const std::wstring& name)
{
    const HWND window = mainWindowHandle();
    if (const HWND box = window ? ::GetDlgItem(window, idUserNameBox) : nullptr) ::SetWindowTextW(box, name.c_str());
}

void signInMessage(const wchar_t* text)
{
    showMessageBox(mainWindowHandle(), localize(text), localize(L"Sign in"), MB_ICONINFORMATION);
}

}  // namespace

std::size_t identityLength(const std::string& text) { return trimWhitespace(utf8ToUtf16(text)).size(); }

void applyIdentity()
{
    WorkspaceState& workspace = workspaceState();
    ClientState& state = clientState();
    const std::wstring name = trimWhitespace(utf8ToUtf16(workspace.identityInput));

    if (name.empty()) {
        workspace.identityInput.clear();
        workspace.identityFocusRequest = true;
        setUserNameBox(L"");
        signInMessage(L"Please enter your name to connect.");
        return;
    }
    if (name.size() > kMaxUserNameUnits) {
        signInMessage(L"Username is too long. The maximum length is 64 characters.");
        workspace.identityFocusRequest = true;
        return;
    }

    const std::string utf8Name = utf16ToUtf8(name);
    workspace.identityInput = utf8Name;
    setUserNameBox(name);
    const std::string previous = state.readUsername();
    state.setUsername(utf8Name);
    SettingsStore::storeUsername(name);

    if (!sessionStarted()) {
        startSession();
        return;
    }
    if (state.connected) {
        if (utf8Name != previous) {
            sendRequest("set_username", stringMember("username", utf8Name));
            DiagnosticLog::writeStatus(localize(L"Username updated"), true);
        }
    } else {
        DiagnosticLog::writeStatus(localize(L"Connecting to server..."), false);
    }
}

}  // namespace Velmor
