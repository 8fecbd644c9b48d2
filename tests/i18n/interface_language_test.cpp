// Applying the interface language to the main window's hidden controls, and
// selecting workspace pages.
#include "app/workspace_navigation.h"
#include "i18n/interface_language.h"
#include "i18n/localize.h"
#include "i18n/translation_tables.h"
#include "session/client_state.h"
#include "support/common_controls.h"
#include "support/control_text.h"
#include "support/test_window.h"
#include "ui/control_ids.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>

namespace {

using namespace Velmor;

// Adds the log search box, a version 6 edit control, to `window`.
void addSearchBox(const VelmorTest::TestMainWindow& window)
{
    VelmorTest::CommonControlsV6Scope commonControls;
    ASSERT_TRUE(commonControls.active());
    ASSERT_NE(::CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, 0, 0, 10, 10,
                                window.handle(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(idLogSearchBox)),
                                ::GetModuleHandleW(nullptr), nullptr),
              nullptr);
}

// Every control the language is applied to, with its real class and style
// (the log search box comes from addSearchBox).
VelmorTest::TestMainWindow makeFullSurface()
{
    constexpr DWORD button = BS_OWNERDRAW;
    constexpr DWORD combo = WS_VSCROLL | CBS_DROPDOWNLIST;
    return VelmorTest::TestMainWindow({
        {idProductHeaderLabel, L"STATIC", 0},
        {idUsernameLabel, L"STATIC", 0},
        {idConnectButton, L"BUTTON", button},
        {idConnectionStatusLabel, L"STATIC", 0},
        {idPageTitleLabel, L"STATIC", 0},
        {idRoomLabel, L"STATIC", 0},
        {idGameLabel, L"STATIC", 0},
        {idCreateRoomButton, L"BUTTON", button},
        {idRefreshButton, L"BUTTON", button},
        {idJoinRoomButton, L"BUTTON", button},
        {idRoomChatLabel, L"STATIC", 0},
        {idSendButton, L"BUTTON", button},
        {idLeaveRoomButton, L"BUTTON", button},
        {idOnlineCountLabel, L"STATIC", 0},
        {idFriendsLabel, L"STATIC", 0},
        {idRecentLabel, L"STATIC", 0},
        {idAlertsNoteLabel, L"STATIC", SS_NOPREFIX},
        {idNotificationSoundCheck, L"BUTTON", WS_TABSTOP | BS_AUTOCHECKBOX},
        {idLanguageLabel, L"STATIC", 0},
        {idLanguageCombo, L"ComboBox", combo},
        {idThemeLabel, L"STATIC", 0},
        {idThemeCombo, L"ComboBox", combo},
        {idDiagnosticsPrivacyLabel, L"STATIC", 0},
        {idLogSummaryLabel, L"STATIC", SS_RIGHT},
        {idLogFilterCombo, L"ComboBox", combo},
        {idFollowTailCheck, L"BUTTON", WS_TABSTOP | BS_AUTOCHECKBOX},
        {idCopyLogButton, L"BUTTON", button},
        {idExportLogButton, L"BUTTON", button},
        {idClearLogButton, L"BUTTON", button},
        {idStatusBar, L"STATIC", 0},
        {idRoomsLabel, L"STATIC", 0},
        {idRoomMembersLabel, L"STATIC", 0},
    });
}

using VelmorTest::comboBoxItems;
using VelmorTest::cueBanner;

void fillComboBox(HWND combo, std::initializer_list<const wchar_t*> items, int selection)
{
    for (const wchar_t* item : items) ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(selection), 0);
}

// The interface state these tests change, restored afterwards.
class InterfaceLanguageTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        ClientState& state = clientState();
        state.uiLanguage = uiLanguageEnglish;
        state.connected = false;
        state.onlineUsers.clear();
        state.uiTheme = 0;
        state.activePage = pageRoomChat;
    }
};

TEST_F(InterfaceLanguageTest, FrenchReachesEveryControl)
{
    VelmorTest::TestMainWindow window = makeFullSurface();
    addSearchBox(window);
    const HWND main = window.handle();
    fillComboBox(window.child(idLanguageCombo), {L"English", L"العربية", L"Français", L"Español"}, 0);
    fillComboBox(window.child(idLogFilterCombo), {L"All events", L"Warnings and errors", L"Errors only"}, 2);
    ::SetWindowTextW(window.child(idLogSummaryLabel), L"12 lines");
    const HMENU menuBar = ::CreateMenu();
    ::AppendMenuW(menuBar, MF_STRING, 1, L"File");
    ASSERT_TRUE(::SetMenu(main, menuBar));

    ClientState& state = clientState();
    state.uiLanguage = uiLanguageFrench;
    state.connected = false;
    state.onlineUsers = {L"amy", L"bob", L"cy"};
    state.uiTheme = 5;
    state.activePage = pageRooms;
    applyInterfaceLanguage(main);

    const auto french = [](const wchar_t* english) { return std::wstring(translate(english, uiLanguageFrench)); };
    const auto text = [&](int id) { return VelmorTest::windowText(window.child(id)); };
    EXPECT_EQ(VelmorTest::windowText(main), L"Velmor Chat — Studio");
    EXPECT_EQ(text(idProductHeaderLabel), L"VELMOR CHAT   •   STUDIO");
    EXPECT_EQ(text(idUsernameLabel), L"Nom d’utilisateur");
    EXPECT_EQ(text(idConnectButton), french(L"Connect"));
    EXPECT_EQ(text(idConnectionStatusLabel), L"Hors ligne · en attente de connexion");
    EXPECT_EQ(text(idRoomLabel), french(L"Room"));
    EXPECT_EQ(text(idGameLabel), french(L"Game"));
    EXPECT_EQ(text(idCreateRoomButton), french(L"Create room"));
    EXPECT_EQ(text(idRefreshButton), french(L"Refresh"));
    EXPECT_EQ(text(idJoinRoomButton), L"Rejoindre");
    EXPECT_EQ(text(idRoomChatLabel), french(L"ROOM CHAT  /  CLICK A PLAYER FOR ACTIONS"));
    EXPECT_EQ(text(idSendButton), L"Envoyer");
    EXPECT_EQ(text(idLeaveRoomButton), french(L"Leave room"));
    EXPECT_EQ(text(idOnlineCountLabel), L"EN LIGNE  ·  3");
    EXPECT_EQ(text(idFriendsLabel), french(L"FRIENDS"));
    EXPECT_EQ(text(idRecentLabel), french(L"RECENTLY ACTIVE  ·  LAST 20"));
    EXPECT_EQ(text(idRoomsLabel), french(L"ROOMS"));
    EXPECT_EQ(text(idRoomMembersLabel), french(L"ROOM MEMBERS"));
    EXPECT_EQ(text(idAlertsNoteLabel), french(L"Private-message alerts use a small desktop banner. You can keep the "
                                              L"banner and turn off its sound below."));
    EXPECT_EQ(text(idNotificationSoundCheck), french(L"Play a soft sound when a private message arrives"));
    EXPECT_EQ(text(idLanguageLabel), french(L"Language"));
    EXPECT_EQ(::SendMessageW(window.child(idLanguageCombo), CB_GETCURSEL, 0, 0), 2);
    EXPECT_EQ(text(idThemeLabel), french(L"Theme"));
    EXPECT_EQ(comboBoxItems(window.child(idThemeCombo)),
              french(L"Graphite Dark") + L"|" + french(L"Midnight Blue") + L"|" + french(L"Light Canvas"));
    EXPECT_EQ(::SendMessageW(window.child(idThemeCombo), CB_GETCURSEL, 0, 0), 2);
    EXPECT_EQ(text(idDiagnosticsPrivacyLabel),
              french(L"Diagnostic output is privacy-safe: message bodies are never recorded."));
    EXPECT_EQ(text(idLogSummaryLabel), L"");
    EXPECT_EQ(cueBanner(window.child(idLogSearchBox)), french(L"Search logs…"));
    EXPECT_EQ(text(idFollowTailCheck), french(L"Follow log tail"));
    EXPECT_EQ(comboBoxItems(window.child(idLogFilterCombo)),
              french(L"All events") + L"|" + french(L"Warnings and errors") + L"|" + french(L"Errors only"));
    EXPECT_EQ(::SendMessageW(window.child(idLogFilterCombo), CB_GETCURSEL, 0, 0), 2);
    EXPECT_EQ(text(idCopyLogButton), french(L"Copy log"));
    EXPECT_EQ(text(idExportLogButton), french(L"Export log"));
    EXPECT_EQ(text(idClearLogButton), french(L"Clear log"));
    EXPECT_EQ(text(idStatusBar),
              french(L"READY  ·  F5 Refresh  ·  Ctrl+Shift+D Debug  ·  Ctrl+L Message  ·  Ctrl+K Navigate"));
    EXPECT_EQ(text(idPageTitleLabel), french(L"Rooms & players"));
    EXPECT_EQ(state.activePage, pageRooms);

    EXPECT_EQ(::GetMenu(main), nullptr);
    EXPECT_FALSE(::IsMenu(menuBar));
}

TEST_F(InterfaceLanguageTest, ArabicFollowsTheConnectionAndTheCount)
{
    VelmorTest::TestMainWindow window = makeFullSurface();
    addSearchBox(window);
    fillComboBox(window.child(idLanguageCombo), {L"English", L"العربية", L"Français", L"Español"}, 0);
    fillComboBox(window.child(idLogFilterCombo), {L"All events", L"Warnings and errors", L"Errors only"}, -1);

    ClientState& state = clientState();
    state.uiLanguage = uiLanguageArabic;
    state.connected = true;
    state.uiTheme = 1;
    state.activePage = pageDiagnostics;
    applyInterfaceLanguage(window.handle());

    const auto text = [&](int id) { return VelmorTest::windowText(window.child(id)); };
    EXPECT_EQ(text(idConnectionStatusLabel), L"متصل · المزامنة المباشرة نشطة");
    EXPECT_EQ(text(idUsernameLabel), L"اسم المستخدم");
    EXPECT_EQ(text(idJoinRoomButton), L"انضمام للغرفة");
    EXPECT_EQ(text(idSendButton), L"إرسال");
    EXPECT_EQ(text(idOnlineCountLabel), L"المتصلون الآن  ·  0");
    EXPECT_EQ(text(idPageTitleLabel), translate(L"Diagnostics & logs", uiLanguageArabic));
    EXPECT_EQ(::SendMessageW(window.child(idLanguageCombo), CB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(::SendMessageW(window.child(idThemeCombo), CB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(::SendMessageW(window.child(idLogFilterCombo), CB_GETCURSEL, 0, 0), 0);  // none selected: the first
    EXPECT_EQ(::SendMessageW(window.child(idLogFilterCombo), CB_GETCOUNT, 0, 0), 3);
    EXPECT_EQ(cueBanner(window.child(idLogSearchBox)), translate(L"Search logs…", uiLanguageArabic));

    // Back to English: the same controls return to their source texts.
    state.uiLanguage = uiLanguageEnglish;
    state.connected = false;
    applyInterfaceLanguage(window.handle());
    EXPECT_EQ(text(idConnectionStatusLabel), L"Offline · waiting for login");
    EXPECT_EQ(text(idJoinRoomButton), L"Join room");
    EXPECT_EQ(text(idPageTitleLabel), L"Diagnostics & logs");
    EXPECT_EQ(comboBoxItems(window.child(idThemeCombo)), L"Graphite Dark|Midnight Blue|Light Canvas");
    EXPECT_EQ(::SendMessageW(window.child(idLanguageCombo), CB_GETCURSEL, 0, 0), 0);
}

TEST_F(InterfaceLanguageTest, MissingControlsAndWindowAreSkipped)
{
    VelmorTest::TestMainWindow window({{idPageTitleLabel, L"STATIC", 0}, {idSendButton, L"BUTTON", BS_OWNERDRAW}});
    clientState().uiLanguage = uiLanguageSpanish;
    clientState().activePage = pageFriends;
    applyInterfaceLanguage(window.handle());
    EXPECT_EQ(VelmorTest::windowText(window.child(idSendButton)), L"Enviar");
    EXPECT_EQ(VelmorTest::windowText(window.child(idPageTitleLabel)), translate(L"Friends", uiLanguageSpanish));

    clientState().activePage = pageSettings;
    applyInterfaceLanguage(nullptr);
    EXPECT_EQ(clientState().activePage, pageSettings);
}

TEST_F(InterfaceLanguageTest, PageSelectionSetsStateAndTitle)
{
    VelmorTest::TestMainWindow window({{idPageTitleLabel, L"STATIC", 0}});
    const wchar_t* const titles[] = {L"Room chat",       L"People online",           L"Friends",
                                     L"Recently active", L"Rooms & players",         L"Settings & notifications",
                                     L"Diagnostics & logs"};
    for (int page = 0; page < 7; ++page) {
        selectWorkspacePage(window.handle(), page);
        EXPECT_EQ(clientState().activePage, page);
        EXPECT_EQ(VelmorTest::windowText(window.child(idPageTitleLabel)), titles[page]);
    }

    for (int unknown : {7, 9, -1}) {
        selectWorkspacePage(window.handle(), pageRooms);
        selectWorkspacePage(window.handle(), unknown);
        EXPECT_EQ(clientState().activePage, pageRoomChat) << unknown;
        EXPECT_EQ(VelmorTest::windowText(window.child(idPageTitleLabel)), L"Room chat") << unknown;
    }

    selectWorkspacePage(window.handle(), pageRecent);
    selectWorkspacePage(nullptr, pageRooms);
    EXPECT_EQ(clientState().activePage, pageRecent);

    clientState().uiLanguage = uiLanguageArabic;
    selectWorkspacePage(window.handle(), pageFriends);
    EXPECT_EQ(VelmorTest::windowText(window.child(idPageTitleLabel)), L"الأصدقاء");
}

}  // namespace
