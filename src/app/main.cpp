// The Windows entry point of VelmorChat.exe. The client takes nothing from its
// command line: its inputs are the user's actions, the server's messages and
// the stored settings.
#include "app/main_window.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand)
{
    return Velmor::runApplication(instance, showCommand);
}
