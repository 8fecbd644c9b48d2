#include "app/main_window.h"

#include "actions/friends.h"
#include "actions/identity.h"
#include "actions/pending_moderation.h"
#include "actions/player_menu.h"
#include "actions/rooms.h"
#include "app/dpi.h"
#include "app/frame_pacer.h"
#include "app/placement.h"
#include "app/renderer.h"
#include "app/workspace_navigation.h"
#include "diagnostics/diagnostic_log.h"
#include "dm/direct_messages.h"
#include "dm/message_toast.h"
#include "i18n/interface_language.h"
#include "i18n/localize.h"
#include "json/text_encoding.h"
#include "platform/app_messages.h"
#include "platform/unique_handle.h"
#include "platform/user_prompts.h"
#include "session/server_events.h"
#include "session/session.h"
#include "settings/settings_store.h"
#include "ui/control_ids.h"
#include "ui/native_surface.h"
#include "ui/theme.h"
#include "ui/workspace_frame.h"
#include "ui/workspace_state.h"

#include <commctrl.h>
#include <imgui.h>
#include <imgui_impl_dx11.h>
#include <imgui_impl_win32.h>

#include <memory>

extern IMGUI_IMPL_API LRESULT ImGui_ImplWin32_WndProcHandler(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

namespace Velmor {
namespace {

// The notification code of a command that came from an accelerator.
constexpr int kAcceleratorNotification = 1;

// The interface resources of the process, owned by the interface thread.
struct InterfaceResources {
    Renderer renderer;
    bool imguiReady = false;
    UniqueFont captionFont;
    FramePacer pacer;
    bool frameTimerRunning = false;
    bool closing = false;
};
InterfaceResources gInterface;

constexpr unsigned kFrameIntervalMs = 16;

// Glyph ranges of the workspace font: Latin-1, Hebrew, Arabic with its
// supplement and extended-A blocks, general punctuation, mathematical
// operators, geometric shapes, dingbats (the workspace draws "●", "○", "·"
// and "⊘") and the Arabic presentation forms the display text is shaped to.
// The Direct3D 11 back-end loads glyphs on demand, whatever the ranges; they
// bound what a back-end without that would preload.
const ImWchar kGlyphRanges[] = {0x0020, 0x00FF, 0x0590, 0x05FF, 0x0600, 0x06FF, 0x0750, 0x077F, 0x08A0, 0x08FF,
                                0x2000, 0x206F, 0x2200, 0x22FF, 0x25A0, 0x25FF, 0x2700, 0x27BF, 0xFB50, 0xFDFF,
                                0xFE70, 0xFEFF, 0};

HWND child(HWND window, int id) { return ::GetDlgItem(window, id); }

void hideAllChildren(HWND window)
{
    ::EnumChildWindows(
        window,
        [](HWND control, LPARAM) -> BOOL {
            if (::IsWindow(control)) ::ShowWindow(control, SW_HIDE);
            return TRUE;
        },
        0);
}

void startupFailure(HWND owner, const std::wstring& text, const wchar_t* caption)
{
    showMessageBox(owner, text, caption, MB_ICONERROR);
}

void initialiseImGui(HWND window)
{
    ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    io.ConfigFlags |= ImGuiConfigFlags_NavEnableKeyboard;
    io.IniFilename = nullptr;
    constexpr char kSegoeUi[] = "C:\\Windows\\Fonts\\segoeui.ttf";
    if (::GetFileAttributesA(kSegoeUi) != INVALID_FILE_ATTRIBUTES) {
        if (ImFont* font = io.Fonts->AddFontFromFileTTF(kSegoeUi, 16.0f, nullptr, kGlyphRanges)) io.FontDefault = font;
    }
    applyImGuiTheme();
    (void)window;
}

void shutdownImGui()
{
    if (!gInterface.imguiReady) return;
    ImGui_ImplDX11_Shutdown();
    ImGui_ImplWin32_Shutdown();
    ImGui::DestroyContext();
    gInterface.imguiReady = false;
}

void changeLanguage(HWND window)
{
    const HWND combo = child(window, idLanguageCombo);
    if (!combo) return;
    LRESULT index = ::SendMessageW(combo, CB_GETCURSEL, 0, 0);
    if (index < 0 || index >= 4) index = 0;
    clientState().uiLanguage = static_cast<int>(index);
    SettingsStore::storeUiLanguage(static_cast<int>(index));
    applyInterfaceLanguage(window);
    static const wchar_t* const kLogLines[] = {L"UI language changed to English", L"UI language changed to Arabic",
                                               L"UI language changed to French", L"UI language changed to Spanish"};
    DiagnosticLog::write(kLevelInfo, kLogLines[index]);
}

void changeThemeFromCombo(HWND window)
{
    const HWND combo = child(window, idThemeCombo);
    if (!combo) return;
    LRESULT index = ::SendMessageW(combo, CB_GETCURSEL, 0, 0);
    if (index < 0 || index >= 3) index = 0;
    changeTheme(window, static_cast<int>(index));
}

void onNotify(HWND window, const NMHDR& header, LRESULT& result)
{
    if (header.idFrom != static_cast<UINT_PTR>(idRoomListView)) return;
    if (header.code == NM_CUSTOMDRAW) {
        auto& draw = *reinterpret_cast<NMLVCUSTOMDRAW*>(const_cast<NMHDR*>(&header));
        if (draw.nmcd.dwDrawStage == CDDS_PREPAINT) {
            result = CDRF_NOTIFYITEMDRAW;
        } else if (draw.nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
            draw.clrText = paletteColor(8);
            draw.clrTextBk = paletteColor(5);
            result = CDRF_NEWFONT;
        }
    } else if (header.code == NM_DBLCLK) {
        joinSelectedRoom();
    }
    (void)window;
}

void startFrameTimer(HWND window)
{
    if (gInterface.frameTimerRunning || gInterface.closing || !gInterface.imguiReady) return;
    gInterface.frameTimerRunning = ::SetTimer(window, kFrameTimerId, kFrameIntervalMs, nullptr) != 0;
}

void stopFrameTimer(HWND window)
{
    ::KillTimer(window, kFrameTimerId);
    gInterface.frameTimerRunning = false;
}

void onClose(HWND window)
{
    DiagnosticLog::write(kLevelInfo, L"Application shutting down");
    // How many frames the workspace built over the whole run: the measure of
    // its idle cost.
    if (gInterface.imguiReady) {
        DiagnosticLog::write(kLevelInfo, L"Frames built: " + std::to_wstring(ImGui::GetFrameCount()));
    }
    // The person sees the window go at once: ending the session may wait for
    // an open under way, and no frame is worth drawing any more.
    gInterface.closing = true;
    stopFrameTimer(window);
    ::ShowWindow(window, SW_HIDE);
    stopSession();
    ::DestroyWindow(window);
}

void onDestroy(HWND window)
{
    gInterface.closing = true;
    stopFrameTimer(window);
    shutdownImGui();
    gInterface.renderer.release();
    setMainWindowHandle(nullptr);
    deleteSurfaceFonts();
    gInterface.captionFont.reset();
    deleteThemeBrushes();
    ::PostQuitMessage(0);
}

}  // namespace

bool registerWindowClasses(HINSTANCE instance)
{
    // The banner's and the conversations' classes first; their results are
    // not checked (without them those windows simply do not appear).
    registerToastWindowClass(instance);
    registerDirectMessageWindowClass(instance);

    const HICON icon = ::LoadIconW(instance, MAKEINTRESOURCEW(kApplicationIconId));
    WNDCLASSEXW main = {};
    main.cbSize = sizeof(main);
    main.lpfnWndProc = mainWindowProc;
    main.hInstance = instance;
    main.hIcon = icon;
    main.hIconSm = icon;
    main.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    main.hbrBackground = themeBrush(0);
    main.lpszClassName = kMainWindowClass;
    return ::RegisterClassExW(&main) != 0;
}

void openQuickNavigation(HWND window)
{
    const UniqueMenu menu(::CreatePopupMenu());
    if (!menu) return;
    const struct {
        int id;
        const wchar_t* text;
    } items[] = {{idNavRoomChat, L"Chat"},         {idNavPeople, L"People online"}, {idNavFriends, L"Friends"},
                 {idNavRecent, L"Recent activity"}, {idNavRooms, L"Rooms"},          {idNavSettings, L"Settings"},
                 {idNavDiagnostics, L"Debug Console"}};
    for (const auto& item : items) {
        const std::wstring text = localize(item.text);
        ::AppendMenuW(menu.get(), MF_STRING, static_cast<UINT_PTR>(item.id), text.c_str());
    }
    ::AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
    const std::wstring refresh = localize(L"Refresh presence and rooms");
    ::AppendMenuW(menu.get(), MF_STRING, idRefreshButton, refresh.c_str());
    const int chosen = trackPopupMenuAtCursor(window, menu.get());
    if (chosen != 0) ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(chosen, 0), 0);
}

void runMainWindowCommand(HWND window, int id, int notification)
{
    switch (id) {
    case idConnectButton: applyIdentity(); break;
    case idCreateRoomButton: createRoom(); break;
    case idRefreshButton: refreshPresenceAndRooms(); break;
    case idJoinRoomButton: joinSelectedRoom(); break;
    case idRoomMessageBox:
        // Ctrl+L. The box itself sends its id too (EN_CHANGE whenever a page
        // sets its text): that must neither switch pages nor take the focus.
        if (notification != kAcceleratorNotification) break;
        if (::IsWindow(window)) {
            clientState().activePage = pageRoomChat;
            if (const HWND title = child(window, idPageTitleLabel)) {
                ::SetWindowTextW(title, localize(L"Room chat").c_str());
            }
        }
        workspaceState().roomMessageFocusRequest = true;
        break;
    case idSendButton: sendRoomMessage(); break;
    case idLeaveRoomButton: leaveRoom(); break;
    case idAddFriendButton: addSelectedOnlineUserAsFriend(); break;
    case idRemoveFriendButton: removeSelectedFriend(); break;
    case idManageBlockedButton: showBlockedUsersMenu(); break;
    case idNavRoomChat: selectWorkspacePage(window, pageRoomChat); break;
    case idNavPeople: selectWorkspacePage(window, pagePeople); break;
    case idNavFriends: selectWorkspacePage(window, pageFriends); break;
    case idNavRecent: selectWorkspacePage(window, pageRecent); break;
    case idNavRooms: selectWorkspacePage(window, pageRooms); break;
    case idNavSettings: selectWorkspacePage(window, pageSettings); break;
    case idNavDiagnostics: selectWorkspacePage(window, pageDiagnostics); break;
    case idNotificationSoundCheck:
        if (notification == BN_CLICKED) {
            const HWND box = child(window, idNotificationSoundCheck);
            clientState().notificationSound = box && ::SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
            SettingsStore::storeNotificationSound(clientState().notificationSound);
        }
        break;
    case idLogFilterCombo:
        if (notification == CBN_SELCHANGE) DiagnosticLog::refreshView();
        break;
    case idCopyLogButton: DiagnosticLog::copyView(); break;
    case idExportLogButton: DiagnosticLog::exportView(); break;
    case idClearLogButton: DiagnosticLog::clear(); break;
    case idLanguageCombo:
        if (notification == CBN_SELCHANGE) changeLanguage(window);
        break;
    case idLogSearchBox:
        if (notification == EN_CHANGE) DiagnosticLog::refreshView();
        break;
    case idThemeCombo:
        if (notification == CBN_SELCHANGE) changeThemeFromCombo(window);
        break;
    case idFollowTailCheck:
        if (notification == BN_CLICKED) DiagnosticLog::refreshView();
        break;
    case idQuickNavigation: openQuickNavigation(window); break;
    default: break;
    }
}

// Whether a message to the main window may change what the workspace shows.
// Everything may (input, the session's messages, commands, the client's own
// timers, size, DPI, focus and activation, and a paint request: an uncovered
// window shows the last frame only where the system kept it) except the
// frame timer and what a window gets while nothing happens: hit tests, the
// cursor, colours and owner drawing of the hidden controls, and queries.
bool mayChangeTheWorkspace(UINT message, WPARAM wParam)
{
    switch (message) {
    case WM_TIMER: return wParam != kFrameTimerId;
    case WM_NCPAINT:
    case WM_ERASEBKGND:
    case WM_NCHITTEST:
    case WM_SETCURSOR:
    case WM_GETMINMAXINFO:
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH:
    case WM_GETICON:
    case WM_GETOBJECT:
    case WM_GETFONT:
    case WM_GETDLGCODE:
    case WM_ENTERIDLE:
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
        return false;
    default: return true;
    }
}

// Input to the thread's other windows (direct messages, the banner) may act
// on what the workspace shows too (a friend added from a conversation); the
// pointer merely passing over them does not.
bool isInput(UINT message)
{
    return (message >= WM_KEYFIRST && message <= WM_KEYLAST) || (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) ||
           message == WM_MOUSELEAVE || message == WM_SETFOCUS || message == WM_KILLFOCUS || message == WM_ACTIVATE;
}

bool isInputToAnotherWindow(const MSG& message, HWND mainWindow)
{
    if (message.hwnd == mainWindow || !message.hwnd) return false;
    const bool keyboard = message.message >= WM_KEYFIRST && message.message <= WM_KEYLAST;
    const bool mouse = message.message >= WM_MOUSEFIRST && message.message <= WM_MOUSELAST &&
                       message.message != WM_MOUSEMOVE;
    return keyboard || mouse;
}

// Something the workspace shows may have changed: the pacer hears of it and
// the frame timer runs (it rests while nothing is to be drawn).
void noteWorkspaceChange(HWND window, bool input)
{
    if (input) {
        gInterface.pacer.noteInput(::GetTickCount64());
    } else {
        gInterface.pacer.noteChange();
    }
    startFrameTimer(window);
}

// The frame timer's tick: builds a frame only when the pacer says one is
// worth building; an occluded window only asks whether it shows again. When
// nothing will be worth drawing until the next change, the timer stops: an
// idle window costs no wake-ups.
void onFrameTick(HWND window)
{
    FramePacer& pacer = gInterface.pacer;
    const std::uint64_t now = ::GetTickCount64();
    switch (pacer.onTick(now)) {
    case FramePacer::Tick::Skip:
        if (pacer.resting(now)) stopFrameTimer(window);
        return;
    case FramePacer::Tick::TestOcclusion:
        if (!gInterface.renderer.stillOccluded()) pacer.noteShown(now);
        return;
    case FramePacer::Tick::Draw: break;
    }
    // Minimised, nothing can be seen: what is owed is drawn after the
    // restore, whose size change starts the timer again.
    if (::IsIconic(window)) {
        stopFrameTimer(window);
        return;
    }
    // The hidden controls never keep the keyboard (a command, which is a
    // change, may focus one): what the user types belongs to the workspace.
    const HWND focus = ::GetFocus();
    if (focus && ::IsChild(window, focus)) ::SetFocus(window);
    if (!renderFrame(window, gInterface.renderer, gInterface.imguiReady)) return;
    const std::uint64_t drawn = ::GetTickCount64();
    const int cursorToggleMs = textCursorToggleMs();
    // A held button or a dragged scroll bar keeps the frames coming.
    if (ImGui::IsAnyItemActive() && cursorToggleMs < 0) pacer.noteChange();
    pacer.noteFrame(drawn, cursorToggleMs, !gInterface.renderer.lastPresentShown());
}

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // A roster list box reports every item it deletes, ten thousand in a
    // refill of a large roster; its items carry no data to free, so the
    // answer comes first and costs nothing more (under Wine passing them on
    // to the default procedure made such a refill 2-3 ms slower).
    if (message == WM_DELETEITEM) return TRUE;
    if (const bool input = isInput(message); input || mayChangeTheWorkspace(message, wParam)) {
        noteWorkspaceChange(window, input);
    }
    if (gInterface.imguiReady) ImGui_ImplWin32_WndProcHandler(window, message, wParam, lParam);

    switch (message) {
    case WM_CREATE:
        setMainWindowHandle(window);
        buildNativeSurface(window);
        hideAllChildren(window);
        return 0;
    case WM_TIMER:
        if (wParam == kFrameTimerId) {
            ActivityTranscript::syncBox();
            onFrameTick(window);
            return 0;
        }
        if (wParam == kModerationTimerId) {
            onModerationTimeout(clientState());
            return 0;
        }
        break;
    case statusUpdate: {
        const auto payload = adoptPayload<StatusUpdatePayload>(lParam);
        if (payload) {
            if (const HWND label = child(window, idConnectionStatusLabel)) {
                ::SetWindowTextW(label, payload->text.c_str());
            }
        }
        return 0;
    }
    case serverText: {
        const auto payload = adoptPayload<ServerMessage>(lParam);
        if (payload) dispatchServerMessage(*payload);
        return 0;
    }
    case logChanged:
        if (clientState().activePage == pageDiagnostics) DiagnosticLog::refreshView();
        return 0;
    case playerMenuRequest:
        showPlayerMenu(child(window, static_cast<int>(wParam)));
        return 0;
    case WM_CONTEXTMENU:
        if (onRosterContextMenu(window, reinterpret_cast<HWND>(wParam), lParam)) return 0;
        break;
    case WM_COMMAND:
        runMainWindowCommand(window, LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_NOTIFY: {
        LRESULT result = 0;
        if (lParam) onNotify(window, *reinterpret_cast<const NMHDR*>(lParam), result);
        return result;
    }
    case WM_DRAWITEM: {
        auto& draw = *reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
        if (draw.CtlType == ODT_BUTTON) {
            paintOwnerDrawnButton(draw);
        } else if (draw.CtlType == ODT_LISTBOX) {
            paintRosterListItem(draw);
        }
        return TRUE;
    }
    case WM_MEASUREITEM:
        return measureRosterListItem(*reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)) ? TRUE : 0;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
        return themeControlColor(message, wParam, lParam);
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        ::BeginPaint(window, &paint);
        ::EndPaint(window, &paint);
        return 0;
    }
    case WM_SIZE:
        hideAllChildren(window);
        if (wParam != SIZE_MINIMIZED) gInterface.renderer.resize(LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_GETMINMAXINFO: {
        MONITORINFO monitor = {};
        monitor.cbSize = sizeof(monitor);
        RECT work = {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
        if (::GetMonitorInfoW(::MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor)) work = monitor.rcWork;
        const TrackSize minimum =
            minimumTrackSize(windowDpiScale(window), work.right - work.left, work.bottom - work.top);
        auto& info = *reinterpret_cast<MINMAXINFO*>(lParam);
        info.ptMinTrackSize = POINT{minimum.width, minimum.height};
        return 0;
    }
    case WM_DPICHANGED: {
        const RECT& suggested = *reinterpret_cast<const RECT*>(lParam);
        ::SetWindowPos(window, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                       suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    case WM_CLOSE:
        onClose(window);
        return 0;
    case WM_DESTROY:
        onDestroy(window);
        return 0;
    default:
        break;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

HWND startApplication(HINSTANCE instance, int showCommand)
{
    enableDpiAwareness();
    clientState().uiTheme = SettingsStore::loadUiTheme();

    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES};
    ::InitCommonControlsEx(&controls);

    createThemeBrushes();
    gInterface.captionFont.reset(::CreateFontW(-11, 0, 0, 0, 600, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                               OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                                               DEFAULT_PITCH | FF_DONTCARE, L"Segoe UI"));

    if (!registerWindowClasses(instance)) {
        startupFailure(nullptr, localize(L"Could not register the application window class."), kMainWindowTitle);
        gInterface.captionFont.reset();
        deleteThemeBrushes();
        return nullptr;
    }

    RECT work = {};
    if (!::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0)) {
        work = RECT{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    }
    const WindowRect placement = mainWindowPlacement(work.left, work.top, work.right - work.left,
                                                     work.bottom - work.top, clampedDpiScale(systemDpi()));
    const HWND window = ::CreateWindowExW(0, kMainWindowClass, kMainWindowTitle, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                                          placement.x, placement.y, placement.width, placement.height, nullptr,
                                          nullptr, instance, nullptr);
    if (!window) {
        startupFailure(nullptr, localize(L"Could not create the application window."), kMainWindowTitle);
        deleteSurfaceFonts();
        gInterface.captionFont.reset();
        deleteThemeBrushes();
        return nullptr;
    }
    if (const HMENU menu = ::GetMenu(window)) {
        ::SetMenu(window, nullptr);
        ::DestroyMenu(menu);
    }

    if (!gInterface.renderer.create(window)) {
        startupFailure(window, L"Could not initialize the Direct3D 11 renderer.", L"Velmor Chat Studio");
        ::DestroyWindow(window);
        return nullptr;
    }

    initialiseImGui(window);
    const bool win32Ready = ImGui_ImplWin32_Init(window);
    // The back-end compiles its shaders lazily, in the first frame; doing it
    // here turns a missing shader compiler into the back-end failure it is,
    // instead of a window that never shows its workspace.
    const bool dx11Ready = win32Ready && ImGui_ImplDX11_Init(gInterface.renderer.device(), gInterface.renderer.context());
    if (!dx11Ready || !ImGui_ImplDX11_CreateDeviceObjects()) {
        startupFailure(window, L"Could not initialize the Dear ImGui backend.", L"Velmor Chat Studio");
        if (dx11Ready) ImGui_ImplDX11_Shutdown();
        if (win32Ready) ImGui_ImplWin32_Shutdown();
        ImGui::DestroyContext();
        gInterface.renderer.release();
        ::DestroyWindow(window);
        return nullptr;
    }
    gInterface.imguiReady = true;
    gInterface.closing = false;
    startFrameTimer(window);

    const std::wstring storedName = trimWhitespace(SettingsStore::loadStoredUsername());
    workspaceState().identityInput = utf16ToUtf8(storedName);
    if (!storedName.empty()) {
        if (const HWND box = child(window, idUserNameBox)) ::SetWindowTextW(box, storedName.c_str());
    }

    ::ShowWindow(window, showCommand);
    ::UpdateWindow(window);
    if (!storedName.empty()) applyIdentity();
    return window;
}

bool translateMainWindowAccelerator(MSG& message)
{
    static const UniqueAccelerators table = [] {
        ACCEL accelerators[] = {
            {FVIRTKEY | FCONTROL | FSHIFT, 'D', static_cast<WORD>(idNavDiagnostics)},
            {FVIRTKEY, VK_F5, static_cast<WORD>(idRefreshButton)},
            {FVIRTKEY | FCONTROL, 'L', static_cast<WORD>(idRoomMessageBox)},
            {FVIRTKEY | FCONTROL, 'K', static_cast<WORD>(idQuickNavigation)},
        };
        return UniqueAccelerators(::CreateAcceleratorTableW(accelerators, 4));
    }();
    const HWND main = mainWindowHandle();
    return main && table && ::TranslateAcceleratorW(main, table.get(), &message);
}

int runMessageLoop()
{
    MSG message = {};
    BOOL got = FALSE;
    while ((got = ::GetMessageW(&message, nullptr, 0, 0)) != 0 && got != -1) {
        if (isInputToAnotherWindow(message, mainWindowHandle())) noteWorkspaceChange(mainWindowHandle(), false);
        if (translateMainWindowAccelerator(message)) continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    // The usual way out (WM_CLOSE) has already ended the session and destroyed
    // the window. Any other (a failed GetMessageW, a quit posted from
    // elsewhere) must end them too: the session's threads are joinable, and
    // a joinable thread still alive at exit terminates the process.
    stopSession();
    if (const HWND main = mainWindowHandle()) ::DestroyWindow(main);
    return got == -1 ? 1 : static_cast<int>(message.wParam);
}

int runApplication(HINSTANCE instance, int showCommand)
{
    if (!startApplication(instance, showCommand)) return 1;
    return runMessageLoop();
}

void renderMainWindowFrame()
{
    if (const HWND window = mainWindowHandle()) renderFrame(window, gInterface.renderer, gInterface.imguiReady);
}

}  // namespace Velmor
