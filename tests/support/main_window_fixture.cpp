#include "support/main_window_fixture.h"

#include "diagnostics/diagnostic_log.h"
#include "ui/control_ids.h"

#include <commctrl.h>

namespace VelmorTest {
namespace {

constexpr DWORD kListBoxStyle = LBS_NOTIFY | LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_HSCROLL;

bool initCommonControls()
{
    INITCOMMONCONTROLSEX init = {sizeof(init), ICC_LISTVIEW_CLASSES};
    return ::InitCommonControlsEx(&init) != FALSE;
}

std::wstring cellText(HWND listView, int row, int column)
{
    wchar_t buffer[512] = {};
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = buffer;
    item.cchTextMax = 512;
    ::SendMessageW(listView, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return buffer;
}

}  // namespace

SessionWindow::SessionWindow()
    : window_((initCommonControls(), std::initializer_list<ChildSpec>{
                  {Velmor::idTranscriptBox, L"EDIT", ES_MULTILINE | ES_READONLY | WS_VSCROLL},
                  {Velmor::idOnlineUsersList, L"LISTBOX", kListBoxStyle},
                  {Velmor::idFriendsList, L"LISTBOX", kListBoxStyle},
                  {Velmor::idRecentUsersList, L"LISTBOX", kListBoxStyle},
                  {Velmor::idRoomMembersList, L"LISTBOX", kListBoxStyle},
                  {Velmor::idRoomListView, WC_LISTVIEWW, LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS},
                  {Velmor::idOnlineCountLabel, L"STATIC", 0},
                  {Velmor::idPageTitleLabel, L"STATIC", 0},
                  {Velmor::idConnectionStatusLabel, L"STATIC", 0},
              })),
      transcriptStart_(Velmor::ActivityTranscript::text().size())
{
    const HWND listView = child(Velmor::idRoomListView);
    const wchar_t* const titles[] = {L"Room", L"Game", L"Players", L"Host"};
    for (int column = 0; column < 4; ++column) {
        LVCOLUMNW spec = {};
        spec.mask = LVCF_TEXT | LVCF_WIDTH;
        spec.pszText = const_cast<wchar_t*>(titles[column]);
        spec.cx = 100;
        ::SendMessageW(listView, LVM_INSERTCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&spec));
    }
}

std::vector<std::wstring> SessionWindow::takeTranscript()
{
    const std::wstring& text = Velmor::ActivityTranscript::text();
    std::vector<std::wstring> lines;
    std::size_t start = transcriptStart_ <= text.size() ? transcriptStart_ : 0;
    while (start < text.size()) {
        std::size_t end = text.find(L"\r\n", start);
        if (end == std::wstring::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    transcriptStart_ = text.size();
    return lines;
}

std::wstring SessionWindow::label(int id) const
{
    wchar_t buffer[512] = {};
    ::GetWindowTextW(child(id), buffer, 512);
    return buffer;
}

std::vector<std::wstring> SessionWindow::roomRows() const
{
    const HWND listView = child(Velmor::idRoomListView);
    std::vector<std::wstring> rows;
    const int count = static_cast<int>(::SendMessageW(listView, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) {
        rows.push_back(cellText(listView, row, 0) + L"|" + cellText(listView, row, 1) + L"|" +
                       cellText(listView, row, 2) + L"|" + cellText(listView, row, 3));
    }
    return rows;
}

}  // namespace VelmorTest
