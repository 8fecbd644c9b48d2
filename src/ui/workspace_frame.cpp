#include "ui/workspace_frame.h"

#include "actions/identity.h"
#include "app/dpi.h"
#include "app/frame_pacer.h"
#include "app/renderer.h"
#include "app/workspace_navigation.h"
#include "json/text_encoding.h"
#include "platform/app_messages.h"
#include "session/client_state.h"
#include "ui/control_ids.h"
#include "ui/imgui_text.h"
#include "ui/theme.h"
#include "ui/workspace_pages.h"
#include "ui/workspace_state.h"

#include <imgui.h>
#include <imgui_impl_dx11.h>
#include <imgui_internal.h>
#include <imgui_impl_win32.h>

#include <algorithm>

namespace Velmor {
namespace {

const ImVec4 kProductMarkColor(0.36f, 0.72f, 1.0f, 1.0f);
const ImVec4 kConnectedColor(0.32f, 0.86f, 0.63f, 1.0f);
const ImVec4 kOfflineColor(0.95f, 0.69f, 0.36f, 1.0f);
const float kClearColor[4] = {0.045f, 0.06f, 0.082f, 1.0f};

struct NavigationEntry {
    int page;
    const char* id;
    const char* wide;
    const char* medium;
    const char* narrow;
};

constexpr NavigationEntry kNavigation[] = {
    {pageRoomChat, "nav-chat", "01   Room chat", "Chat", "Chat"},
    {pagePeople, "nav-people", "02   People", "People", "Users"},
    {pageFriends, "nav-friends", "03   Friends", "Friends", "Friends"},
    {pageRecent, "nav-recent", "04   Recent", "Recent", "Recent"},
    {pageRooms, "nav-rooms", "05   Rooms", "Rooms", "Rooms"},
    {pageSettings, "nav-settings", "06   Settings", "Settings", "Setup"},
    {pageDiagnostics, "nav-diagnostics", "07   Diagnostics", "Logs", "Logs"},
};

void drawNavItem(HWND mainWindow, const char* label, int page, const char* id, float height)
{
    ImGui::PushID(id);
    const bool active = clientState().activePage == page;
    if (active) {
        const ImGuiStyle& style = ImGui::GetStyle();
        ImGui::PushStyleColor(ImGuiCol_Button, style.Colors[ImGuiCol_Header]);
        ImGui::PushStyleColor(ImGuiCol_ButtonHovered, style.Colors[ImGuiCol_HeaderHovered]);
        ImGui::PushStyleColor(ImGuiCol_ButtonActive, style.Colors[ImGuiCol_HeaderActive]);
    }
    if (ImGui::Button(label, ImVec2(ImGui::GetContentRegionAvail().x, height)) && !active) {
        selectWorkspacePage(mainWindow, page);
    }
    if (active) ImGui::PopStyleColor(3);
    ImGui::PopID();
}

void drawHeader(HWND mainWindow, const FrameLayout& layout, float s, IdentityCommand applyIdentityCommand)
{
    WorkspaceState& workspace = workspaceState();
    // The header is a fixed strip: its content never scrolls (a scroll bar
    // there would only take room from the identity box).
    ImGui::BeginChild("Header", ImVec2(0, layout.headerHeight), ImGuiChildFlags_Borders,
                      ImGuiWindowFlags_NoScrollbar | ImGuiWindowFlags_NoScrollWithMouse);
    ImGui::SetCursorPosY(layout.headerHeight * 0.31f);
    ImGui::TextColored(kProductMarkColor, "VELMOR");
    ImGui::SameLine(0, 5 * s);
    ImGui::TextUnformatted("CHAT");

    const float headerWidth = ImGui::GetContentRegionAvail().x;
    if (showsStudioMark(headerWidth, s)) {
        ImGui::SameLine(0, 8);
        ImGui::TextDisabled("STUDIO / COMMUNITY");
    }
    ImGui::SameLine(0, (layout.compactHeader ? 10 : 24) * s);
    ImGui::SetNextItemWidth(identityBoxWidth(headerWidth, layout.compactHeader, s));
    if (workspace.identityFocusRequest) {
        ImGui::SetKeyboardFocusHere();
        workspace.identityFocusRequest = false;
    }
    const bool entered = inputTextString("##identity", workspace.identityInput, ImGuiInputTextFlags_EnterReturnsTrue);
    const bool applicable = identityApplicable(workspace.identityInput);

    const bool connected = clientState().connected;
    ImGui::SameLine();
    ImGui::BeginDisabled(!applicable);
    const bool pressed = fittedButton(connectButtonLabel(connected, layout.compactHeader),
                                      (layout.compactHeader ? 92 : 120) * s);
    ImGui::EndDisabled();
    if ((entered && applicable) || pressed) {
        const std::wstring name = trimWhitespace(utf8ToUtf16(workspace.identityInput));
        if (const HWND box = ::GetDlgItem(mainWindow, idUserNameBox)) ::SetWindowTextW(box, name.c_str());
        applyIdentityCommand();
    }

    // Measured at the start of a new line: the header's inner width again.
    if (showsConnectionBadge(ImGui::GetContentRegionAvail().x, layout.compactHeader, s)) {
        ImGui::SameLine(0, (layout.compactHeader ? 8 : 16) * s);
        if (connected) {
            ImGui::TextColored(kConnectedColor, "\xE2\x97\x8F Connected");
            if (!layout.compactHeader) {
                ImGui::SameLine();
                ImGui::TextDisabled("live sync active");
            }
        } else {
            ImGui::TextColored(kOfflineColor, "\xE2\x97\x8F Offline");
        }
    }
    ImGui::EndChild();
}

void drawRail(HWND mainWindow, const FrameLayout& layout, float s)
{
    // A short window, or a large scale, may not fit the whole rail: it then
    // scrolls, with a scroll bar, so that every page stays reachable. In the
    // narrow rail that bar would leave the buttons too little width for their
    // labels, so there the rail's own side padding is smaller.
    if (layout.narrowRail) ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(6 * s, 12 * s));
    ImGui::BeginChild("WorkspaceRail", ImVec2(layout.railWidth, 0), ImGuiChildFlags_Borders);
    if (layout.narrowRail) ImGui::PopStyleVar();
    // The narrow rail leaves its buttons little room: a smaller horizontal
    // frame padding keeps their short labels whole.
    if (layout.narrowRail) ImGui::PushStyleVar(ImGuiStyleVar_FramePadding, ImVec2(4 * s, ImGui::GetStyle().FramePadding.y));
    ImGui::Spacing();
    ImGui::TextDisabled(layout.narrowRail ? "MENU" : "WORKSPACE");
    ImGui::Spacing();
    for (const NavigationEntry& entry : kNavigation) {
        drawNavItem(mainWindow, navigationLabel(entry.page, layout.mediumRail, layout.narrowRail), entry.page,
                    entry.id, layout.navButtonHeight);
    }
    if (layout.narrowRail) ImGui::PopStyleVar();
    ImGui::Separator();
    if (!layout.narrowRail) {
        const ClientState& state = clientState();
        ImGui::TextDisabled("SESSION");
        ImGui::Text("%zu online", state.onlineUsers.size());
        ImGui::Text("%zu friends", state.friends.size());
        if (!layout.mediumRail) ImGui::TextDisabled("F5  Refresh roster\nCtrl+K  Quick navigation\nCtrl+L  Message input");
    }
    ImGui::EndChild();
    ImGui::SameLine(0, (layout.mediumRail ? 7 : 12) * s);
}

}  // namespace

FrameLayout frameLayout(float clientWidth, float availableWidth, float s)
{
    FrameLayout layout;
    layout.compactHeader = clientWidth < 1040 * s;
    layout.lowHeader = clientWidth < 820 * s;
    layout.mediumRail = availableWidth < 850 * s;
    layout.narrowRail = availableWidth < 720 * s;
    layout.headerHeight = (layout.lowHeader ? 58 : 67) * s;
    if (layout.narrowRail) {
        layout.railWidth = 88 * s;
    } else if (layout.mediumRail) {
        layout.railWidth = 122 * s;
    } else {
        layout.railWidth = std::clamp(availableWidth * 0.17f, 165 * s, 205 * s);
    }
    layout.navButtonHeight = (layout.mediumRail ? 35 : 41) * s;
    return layout;
}

float identityBoxWidth(float headerWidth, bool compactHeader, float s)
{
    return compactHeader ? std::clamp(headerWidth * 0.20f, 112 * s, 155 * s)
                         : std::clamp(headerWidth * 0.22f, 112 * s, 185 * s);
}

const char* navigationLabel(int page, bool mediumRail, bool narrowRail)
{
    for (const NavigationEntry& entry : kNavigation) {
        if (entry.page == page) return narrowRail ? entry.narrow : (mediumRail ? entry.medium : entry.wide);
    }
    return "";
}

bool identityApplicable(const std::string& identityText)
{
    const std::size_t length = identityLength(identityText);
    return length >= 1 && length <= kMaxUserNameUnits;
}

const char* connectButtonLabel(bool connected, bool compactHeader)
{
    if (!connected) return "Connect";
    return compactHeader ? "Update" : "Update identity";
}

bool showsStudioMark(float headerWidth, float s) { return headerWidth > 600 * s; }

bool showsConnectionBadge(float headerWidth, bool compactHeader, float s)
{
    return headerWidth > (compactHeader ? 110 : 210) * s;
}

void applyFrameStyle(float s)
{
    ClientState& state = clientState();
    WorkspaceState& workspace = workspaceState();
    if (state.uiTheme != workspace.lastAppliedTheme) {
        applyImGuiTheme();
        workspace.lastAppliedTheme = state.uiTheme;
    }
    workspace.uiScale = s;
    if (baseStyleCaptured()) {
        ImGuiStyle& style = ImGui::GetStyle();
        style = baseStyle();
        style.ScaleAllSizes(s);
        style.FontScaleMain = s;
    }
}

void drawWorkspace(HWND mainWindow, float width, float height, float s, IdentityCommand applyIdentityCommand)
{
    ImGui::SetNextWindowPos(ImVec2(0, 0));
    ImGui::SetNextWindowSize(ImVec2(std::max(width, 1.0f), std::max(height, 1.0f)));
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(14 * s, 12 * s));
    ImGui::PushStyleVar(ImGuiStyleVar_WindowRounding, 0);
    const ImGuiWindowFlags rootFlags = ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize |
                                       ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoScrollbar |
                                       ImGuiWindowFlags_NoCollapse | ImGuiWindowFlags_NoSavedSettings |
                                       ImGuiWindowFlags_NoBringToFrontOnFocus;
    ImGui::Begin("##VelmorRoot", nullptr, rootFlags);

    // The header's own classes depend on the client width only; the rail's on
    // what is left of the root window after the header.
    FrameLayout layout = frameLayout(width, ImGui::GetContentRegionAvail().x, s);
    drawHeader(mainWindow, layout, s, applyIdentityCommand);
    ImGui::Spacing();
    layout = frameLayout(width, ImGui::GetContentRegionAvail().x, s);
    drawRail(mainWindow, layout, s);

    ImGui::BeginChild("WorkspacePage", ImVec2(0, 0));
    drawActivePage(clientState().activePage);
    ImGui::EndChild();

    ImGui::End();
    ImGui::PopStyleVar(2);
}

bool renderFrame(HWND mainWindow, Renderer& renderer, bool imguiReady)
{
    // A modal loop entered during a frame (a message box, a menu, a dialog)
    // still delivers the frame timer; a frame begun inside the frame would
    // corrupt the toolkit's frame state, so it is skipped.
    static bool inFrame = false;
    if (inFrame) return false;
    if (!imguiReady || !renderer.ready() || ::IsIconic(mainWindow)) return false;
    inFrame = true;
    struct LeaveFrame {
        ~LeaveFrame() { inFrame = false; }
    } leaveFrame;

    ImGui_ImplDX11_NewFrame();
    ImGui_ImplWin32_NewFrame();
    const float s = windowDpiScale(mainWindow);
    applyFrameStyle(s);
    ImGui::NewFrame();

    RECT client = {};
    ::GetClientRect(mainWindow, &client);
    drawWorkspace(mainWindow, static_cast<float>(client.right - client.left),
                  static_cast<float>(client.bottom - client.top), s, &applyIdentity);
    ImGui::Render();

    renderer.beginFrame(kClearColor);
    ImGui_ImplDX11_RenderDrawData(ImGui::GetDrawData());
    renderer.present();
    return true;
}

int textCursorToggleMs()
{
    const ImGuiContext* context = ImGui::GetCurrentContext();
    if (!context || !context->IO.ConfigInputTextCursorBlink) return -1;
    const ImGuiInputTextState& state = context->InputTextState;
    if (state.ID == 0 || state.ID != context->ActiveId) return -1;
    return cursorToggleDelayMs(state.CursorAnim);
}

}  // namespace Velmor
