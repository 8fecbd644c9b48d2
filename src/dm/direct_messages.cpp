#include "dm/direct_messages.h"

#include "diagnostics/diagnostic_log.h"
#include "i18n/localize.h"
#include "json/text_encoding.h"
#include "platform/app_messages.h"
#include "platform/user_prompts.h"
#include "session/client_state.h"
#include "session/request_text.h"
#include "session/session.h"
#include "ui/control_ids.h"

#include <atomic>
#include <memory>

namespace Velmor {
namespace {

std::atomic<std::uint64_t> gNextRequestNumber{1};

std::wstring windowText(HWND control)
{
    if (!control) return {};
    const int length = ::GetWindowTextLengthW(control);
    std::wstring text(static_cast<std::size_t>(length > 0 ? length : 0) + 1, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return text;
}

void showConversation(const DirectMessageWindow& conversation)
{
    const HWND box = conversation.transcriptBox;
    ::SetWindowTextW(box, conversation.transcriptText.c_str());
    const auto end = static_cast<WPARAM>(::GetWindowTextLengthW(box));
    ::SendMessageW(box, EM_SETSEL, end, static_cast<LPARAM>(end));
    ::SendMessageW(box, EM_SCROLLCARET, 0, 0);
}

// Adds a line to this very window, whichever window the peer's entry names.
void appendToConversation(DirectMessageWindow& conversation, const std::wstring& line)
{
    if (!conversation.transcriptBox) return;
    conversation.transcriptText += line;
    conversation.transcriptText += L"\r\n";
    dropLeadingLinesToFit(conversation.transcriptText, kDirectMessageTranscriptLimit);
    showConversation(conversation);
}

// Back to idle: no timer, nothing pending, input and button usable. The input
// box keeps its text.
void stopWaiting(DirectMessageWindow& conversation)
{
    ::KillTimer(conversation.window, kDirectMessageAckTimerId);
    conversation.awaitingAck = false;
    conversation.pendingText.clear();
    conversation.pendingRequestId.clear();
    ::EnableWindow(conversation.inputBox, TRUE);
    ::SetWindowTextW(conversation.sendButton, localize(L"Send").c_str());
    ::EnableWindow(conversation.sendButton, TRUE);
}

DirectMessageWindow* conversationOf(const std::wstring& peerName)
{
    const HWND window = directMessageWindowOf(peerName);
    return window ? directMessageRecord(window) : nullptr;
}

}  // namespace

std::string nextDirectMessageRequestId() { return "dm-" + std::to_string(gNextRequestNumber.fetch_add(1)); }

DirectMessageWindow* directMessageRecord(HWND window)
{
    if (!window || !::IsWindow(window)) return nullptr;
    wchar_t className[64] = {};
    ::GetClassNameW(window, className, 64);
    if (std::wstring_view(className) != kDirectMessageWindowClass) return nullptr;
    return reinterpret_cast<DirectMessageWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
}

HWND directMessageWindowOf(const std::wstring& peerName)
{
    const auto& windows = clientState().dmWindows;
    const auto found = windows.find(peerName);
    if (found == windows.end() || !::IsWindow(found->second)) return nullptr;
    return found->second;
}

void openDirectMessage(const std::wstring& peerName, bool bringToFront)
{
    ClientState& state = clientState();
    if (peerName.empty() || peerName == utf8ToUtf16(state.readUsername())) return;

    // Showing without activation when not asked to come to the front: an
    // incoming message must not take the keyboard from whatever the user is
    // typing into.
    const int showCommand = bringToFront ? SW_SHOWNORMAL : SW_SHOWNOACTIVATE;
    if (const HWND existing = directMessageWindowOf(peerName)) {
        ::ShowWindow(existing, showCommand);
        if (bringToFront) ::SetForegroundWindow(existing);
        return;
    }

    const HWND window = createDirectMessageWindow(peerName);
    if (!window) {
        showMessageBox(mainWindowHandle(), localize(L"Could not open the direct-message window."), L"Velmor Chat",
                       MB_ICONERROR);
        return;
    }
    auto record = std::make_unique<DirectMessageWindow>();
    record->peerName = peerName;
    record->window = window;
    record->transcriptBox = ::GetDlgItem(window, idDmTranscriptBox);
    record->inputBox = ::GetDlgItem(window, idDmInputBox);
    record->sendButton = ::GetDlgItem(window, idDmSendButton);
    DirectMessageWindow& conversation = *record;
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(record.release()));
    state.dmWindows[peerName] = window;

    conversation.transcriptText = localize(L"Direct conversation with ") + peerName + L"\r\n";
    if (conversation.transcriptBox) showConversation(conversation);

    ::ShowWindow(window, showCommand);
    ::UpdateWindow(window);
    if (bringToFront) ::SetForegroundWindow(window);
}

void openDirectMessageFromPlayer(const std::wstring& peerName)
{
    if (clientState().isServerBlocked(peerName)) {
        showMessageBox(mainWindowHandle(),
                       localize(L"This player is blocked on the server. Unblock them before opening a direct message."),
                       localize(L"Direct messages"), MB_ICONINFORMATION);
        return;
    }
    openDirectMessage(peerName, true);
}

void appendDirectMessageLine(const std::wstring& peerName, const std::wstring& line)
{
    if (peerName.empty()) return;
    openDirectMessage(peerName, false);
    if (DirectMessageWindow* conversation = conversationOf(peerName)) appendToConversation(*conversation, line);
}

void sendDirectMessage(DirectMessageWindow& conversation)
{
    ClientState& state = clientState();
    const std::wstring line = trimWhitespace(windowText(conversation.inputBox));
    if (line.empty()) return;
    if (state.isServerBlocked(conversation.peerName)) {
        showMessageBox(conversation.window, localize(L"Unblock this user on the server before messaging them."),
                       localize(L"Direct messages"), MB_ICONWARNING);
        return;
    }
    if (!state.connected) {
        appendToConversation(conversation, localize(L"Cannot send: not connected to the server."));
        return;
    }
    if (conversation.awaitingAck) return;  // one line at a time (Enter reaches here too)

    const std::string requestId = nextDirectMessageRequestId();
    conversation.awaitingAck = true;
    conversation.pendingText = line;
    conversation.pendingRequestId = requestId;
    ::SetTimer(conversation.window, kDirectMessageAckTimerId, kDirectMessageAckTimeoutMs, nullptr);
    ::EnableWindow(conversation.inputBox, FALSE);
    ::SetWindowTextW(conversation.sendButton, localize(L"Sending...").c_str());
    ::EnableWindow(conversation.sendButton, FALSE);

    const std::string members = stringMember("to", utf16ToUtf8(conversation.peerName)) + "," +
                                stringMember("text", utf16ToUtf8(line)) + "," +
                                stringMember("request_id", requestId);
    if (!sendRequest("dm", members)) {
        stopWaiting(conversation);
        appendToConversation(conversation, localize(L"Send failed: the client could not write to the WebSocket."));
    }
}

void expireDirectMessage(DirectMessageWindow& conversation)
{
    ::KillTimer(conversation.window, kDirectMessageAckTimerId);
    if (!conversation.awaitingAck) return;
    stopWaiting(conversation);
    appendToConversation(conversation,
                         localize(L"No server acknowledgement arrived within 12 seconds. Confirm that a DM-capable "
                                  L"Worker is deployed and the recipient is online, then retry."));
}

void acknowledgeDirectMessage(const std::wstring& to, const std::wstring& text, const std::string& requestId)
{
    DirectMessageWindow* conversation = conversationOf(to);
    if (conversation && conversation->awaitingAck) {
        if (!requestId.empty() && requestId != conversation->pendingRequestId) {
            ActivityTranscript::append(localize(L"Ignored a late acknowledgement for the DM to ") + to + L".");
            return;
        }
        const std::wstring shown = text.empty() ? conversation->pendingText : text;
        stopWaiting(*conversation);
        appendToConversation(*conversation, localize(L"You: ") + shown);
        ::SetWindowTextW(conversation->inputBox, L"");
        if (::IsWindowVisible(conversation->window)) ::SetFocus(conversation->inputBox);
        return;
    }
    if (!text.empty()) appendDirectMessageLine(to, localize(L"You: ") + text);
}

void failDirectMessage(const std::wstring& to, const std::string& requestId, const std::wstring& message)
{
    if (to.empty()) return;
    DirectMessageWindow* conversation = conversationOf(to);
    if (!conversation) return;
    if (conversation->awaitingAck && !requestId.empty() && requestId != conversation->pendingRequestId) return;
    stopWaiting(*conversation);
    appendToConversation(*conversation, localize(L"Send failed: ") + message);
}

}  // namespace Velmor
