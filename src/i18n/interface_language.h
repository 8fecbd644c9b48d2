// Writes the localised texts into the main window's hidden native controls.
// Runs at the end of start-up and after every change of the interface
// language. Interface thread.
#pragma once

#include <windows.h>

namespace Velmor {

// Controls that do not exist are skipped; nothing happens for a null window.
void applyInterfaceLanguage(HWND mainWindow);

}  // namespace Velmor
