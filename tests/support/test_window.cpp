#include "support/test_window.h"

#include "platform/app_messages.h"
#include "session/server_events.h"

#include <map>

namespace VelmorTest {
namespace {

constexpr wchar_t kClassName[] = L"VelmorTestMainWindow";
std::map<UINT, int> gMessageCounts;
std::vector<std::wstring> gStatusTexts;
std::vector<std::string> gServerTexts;
std::vector<std::size_t> gServerFootprints;

LRESULT CALLBACK testWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message >= WM_APP) {
        ++gMessageCounts[message];
        // Free owned payloads the way the real window would.
        if (message == Velmor::statusUpdate) {
            if (const auto payload = Velmor::adoptPayload<Velmor::StatusUpdatePayload>(lParam)) {
                gStatusTexts.push_back(payload->text);
            }
        }
        if (message == Velmor::serverText) {
            if (const auto payload = Velmor::adoptPayload<Velmor::ServerMessage>(lParam)) {
                gServerTexts.push_back(payload->text);
                gServerFootprints.push_back(payload->footprint);
            }
        }
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

void registerClassOnce()
{
    static const bool registered = [] {
        WNDCLASSEXW windowClass = {};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = testWindowProc;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kClassName;
        return ::RegisterClassExW(&windowClass) != 0;
    }();
    (void)registered;
}

}  // namespace

TestMainWindow::TestMainWindow(std::initializer_list<ChildSpec> children)
{
    registerClassOnce();
    gMessageCounts.clear();
    gStatusTexts.clear();
    gServerTexts.clear();
    gServerFootprints.clear();
    window_ = ::CreateWindowExW(0, kClassName, L"test", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr,
                                ::GetModuleHandleW(nullptr), nullptr);
    for (const ChildSpec& spec : children) {
        ::CreateWindowExW(0, spec.className, L"", WS_CHILD | spec.style, 0, 0, 200, 200, window_,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(spec.id)), ::GetModuleHandleW(nullptr),
                          nullptr);
    }
    Velmor::setMainWindowHandle(window_);
}

TestMainWindow::~TestMainWindow()
{
    Velmor::setMainWindowHandle(nullptr);
    pumpMessages();
    if (window_) ::DestroyWindow(window_);
}

void TestMainWindow::pumpMessages()
{
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

std::wstring TestMainWindow::listBoxItems(int id, wchar_t separator) const
{
    const HWND list = child(id);
    std::wstring joined;
    const LRESULT count = ::SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length = ::SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
        std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
        ::SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text.data()));
        text.resize(static_cast<std::size_t>(length));
        if (i > 0) joined.push_back(separator);
        joined += text;
    }
    return joined;
}

const std::vector<std::wstring>& TestMainWindow::statusTexts() { return gStatusTexts; }

const std::vector<std::string>& TestMainWindow::serverTexts() { return gServerTexts; }

const std::vector<std::size_t>& TestMainWindow::serverFootprints() { return gServerFootprints; }

int TestMainWindow::postedCount(UINT message) const
{
    const auto found = gMessageCounts.find(message);
    return found == gMessageCounts.end() ? 0 : found->second;
}

}  // namespace VelmorTest
