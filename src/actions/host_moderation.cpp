#include "actions/host_moderation.h"

#include "actions/pending_moderation.h"
#include "diagnostics/diagnostic_log.h"
#include "i18n/localize.h"
#include "json/text_encoding.h"
#include "platform/app_messages.h"
#include "platform/user_prompts.h"
#include "session/client_state.h"
#include "session/request_text.h"
#include "session/session.h"

#include <windows.h>

namespace Velmor {
namespace {

// The texts of one command; transcript lines are shown as written, box texts
// are localised.
struct HostCommand {
    const char* requestType;
    const char* targetMember;
    const wchar_t* notInRoomLine;
    const wchar_t* caption;
    const wchar_t* notHostText;
    const wchar_t* questionStart;
    const wchar_t* questionEnd;
    UINT questionIcon;
    const wchar_t* sentLineStart;
    const wchar_t* pendingStart;
    const wchar_t* notSentLine;
};

constexpr HostCommand kTransferHost = {
    "transfer_host",
    "to",
    L"Join a room before transferring its host.",
    L"Transfer room host",
    L"Only the current room host can transfer host privileges.",
    L"Transfer room host privileges to ",
    L"?",
    MB_ICONQUESTION,
    L"Host transfer requested for ",
    L"transfer host to ",
    L"Could not send the host transfer request.",
};

constexpr HostCommand kKickMember = {
    "kick_user",
    "username",
    L"Join a room before removing a member.",
    L"Kick room member",
    L"Only the current room host can kick room members.",
    L"Remove ",
    L" from this room? They may rejoin unless further room controls are added.",
    MB_ICONWARNING,
    L"Kick requested for ",
    L"kick ",
    L"Could not send the kick request.",
};

void runHostCommand(const HostCommand& command, const std::wstring& name)
{
    ClientState& state = clientState();
    if (!state.connected || !state.roomJoined || state.currentRoom.empty()) {
        ActivityTranscript::append(command.notInRoomLine);
        return;
    }
    const HWND owner = mainWindowHandle();
    if (!isSelfRoomHost()) {
        showMessageBox(owner, localize(command.notHostText), localize(command.caption), MB_ICONINFORMATION);
        return;
    }
    const std::wstring question = localize(command.questionStart) + name + localize(command.questionEnd);
    if (showMessageBox(owner, question, localize(command.caption),
                       MB_YESNO | command.questionIcon | MB_DEFBUTTON2) != IDYES) {
        return;
    }
    if (!sendRequest(command.requestType, stringMember(command.targetMember, utf16ToUtf8(name)))) {
        // Whatever request was pending before keeps waiting with its timer.
        ActivityTranscript::append(command.notSentLine);
        return;
    }
    ActivityTranscript::append(command.sentLineStart + name + L". Waiting for server authorization...");
    startPendingModeration(state, command.pendingStart + name);
}

}  // namespace

bool isSelfRoomHost()
{
    ClientState& state = clientState();
    if (!state.roomJoined || state.roomHost.empty()) return false;
    return equalsIgnoringCase(state.roomHost, utf8ToUtf16(state.readUsername()));
}

void transferRoomHost(const std::wstring& name) { runHostCommand(kTransferHost, name); }

void kickRoomMember(const std::wstring& name) { runHostCommand(kKickMember, name); }

}  // namespace Velmor
