#include "support/dm_fixture.h"

#include "dm/message_toast.h"
#include "ui/control_ids.h"
#include "ui/theme.h"

#include <gtest/gtest.h>

namespace VelmorTest {

void registerConversationClasses()
{
    static const bool registered = [] {
        Velmor::createThemeBrushes();
        const HINSTANCE instance = ::GetModuleHandleW(nullptr);
        const bool toast = Velmor::registerToastWindowClass(instance);
        const bool conversation = Velmor::registerDirectMessageWindowClass(instance);
        return toast && conversation;
    }();
    EXPECT_TRUE(registered);
}

std::vector<HWND> threadWindowsOfClass(const wchar_t* className)
{
    struct Search {
        const wchar_t* className;
        std::vector<HWND> found;
    } search{className, {}};
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND window, LPARAM data) -> BOOL {
            auto* wanted = reinterpret_cast<Search*>(data);
            wchar_t name[128] = {};
            ::GetClassNameW(window, name, 128);
            if (std::wstring_view(name) == wanted->className) wanted->found.push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void closeConversationWindows()
{
    for (const wchar_t* className : {Velmor::kDirectMessageWindowClass, Velmor::kToastWindowClass}) {
        for (const HWND window : threadWindowsOfClass(className)) ::DestroyWindow(window);
    }
    TestMainWindow::pumpMessages();
}

HWND conversationWindow(const std::wstring& peer)
{
    const HWND window = Velmor::directMessageWindowOf(peer);
    EXPECT_NE(window, nullptr) << "no conversation window for this peer";
    return window;
}

std::wstring controlText(HWND control)
{
    const int length = ::GetWindowTextLengthW(control);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(control, text.data(), length + 1)));
    return text;
}

std::vector<std::wstring> conversationLines(HWND window)
{
    const std::wstring text = controlText(::GetDlgItem(window, Velmor::idDmTranscriptBox));
    std::vector<std::wstring> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(L"\r\n", start);
        if (end == std::wstring::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

void enterWaitingState(Velmor::DirectMessageWindow& conversation, const std::wstring& text,
                       const std::string& requestId)
{
    conversation.awaitingAck = true;
    conversation.pendingText = text;
    conversation.pendingRequestId = requestId;
    ::SetWindowTextW(conversation.inputBox, text.c_str());
    ::SetTimer(conversation.window, Velmor::kDirectMessageAckTimerId, Velmor::kDirectMessageAckTimeoutMs, nullptr);
    ::EnableWindow(conversation.inputBox, FALSE);
    ::SetWindowTextW(conversation.sendButton, L"Sending...");
    ::EnableWindow(conversation.sendButton, FALSE);
}

}  // namespace VelmorTest
