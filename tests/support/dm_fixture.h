// Shared set-up for tests of the conversation windows and the banner: the
// two window classes, a stand-in main window with the activity transcript,
// a prompt recorder, and readers for what a conversation window shows.
#pragma once

#include "dm/direct_messages.h"
#include "support/main_window_fixture.h"
#include "support/prompt_recorder.h"

#include <string>
#include <vector>

namespace VelmorTest {

// Creates the theme brushes and registers both window classes, once per
// process.
void registerConversationClasses();

// Destroys every conversation window and banner of this thread.
void closeConversationWindows();

// The top-level windows of this thread with the given class.
std::vector<HWND> threadWindowsOfClass(const wchar_t* className);

// The conversation window of a peer (fails the test when there is none).
HWND conversationWindow(const std::wstring& peer);

// What the window's transcript box shows, split into lines.
std::vector<std::wstring> conversationLines(HWND window);

std::wstring controlText(HWND control);

// Puts a window into the state a successfully sent line leaves it in (which
// needs a live server): waiting, timer running, input and button disabled.
void enterWaitingState(Velmor::DirectMessageWindow& conversation, const std::wstring& text,
                       const std::string& requestId);

}  // namespace VelmorTest
