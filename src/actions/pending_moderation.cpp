#include "actions/pending_moderation.h"

#include "diagnostics/diagnostic_log.h"
#include "i18n/localize.h"
#include "i18n/notices.h"
#include "platform/app_messages.h"
#include "ui/control_ids.h"

#include <windows.h>

namespace Velmor {

void startPendingModeration(ClientState& state, const std::wstring& description)
{
    state.pendingModeration = description;
    if (const HWND window = mainWindowHandle()) ::SetTimer(window, kModerationTimerId, kModerationTimeoutMs, nullptr);
}

void clearPendingModeration(ClientState& state)
{
    state.pendingModeration.clear();
    if (const HWND window = mainWindowHandle()) ::KillTimer(window, kModerationTimerId);
}

}  // namespace Velmor

namespace Velmor {

void onModerationTimeout(ClientState& state)
{
    if (const HWND window = mainWindowHandle()) ::KillTimer(window, kModerationTimerId);
    if (state.pendingModeration.empty()) return;
    ActivityTranscript::append(localize(kNoticeUnconfirmedRequestPrefix) + state.pendingModeration +
                               localize(kNoticeUnconfirmedRequestSuffix));
    state.pendingModeration.clear();
}

}  // namespace Velmor
