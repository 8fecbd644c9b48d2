// Filling and reading the native roster list boxes (online users, friends,
// recent users, room members) that carry the name lists for the commands.
#pragma once

#include "session/name_list.h"

#include <windows.h>

#include <string>

namespace Velmor {

// Replaces the list box's items with `names`, keeps the previously selected
// name selected when it is still present, and sets the horizontal extent to
// the widest name plus 40 pixels (at least 180) in the list box's font.
void fillRosterListBox(HWND listBox, const NameList& names);

// The text of the selected item; empty when nothing is selected or the text
// cannot be read.
std::wstring selectedListText(HWND listBox);

}  // namespace Velmor
