// A stand-in main window with the hidden controls that the session core fills
// (transcript, roster list boxes, room list view, labels), plus readers for
// what the code under test wrote into them.
#pragma once

#include "support/test_window.h"

#include <string>
#include <vector>

namespace VelmorTest {

class SessionWindow {
public:
    SessionWindow();

    HWND handle() const { return window_.handle(); }
    HWND child(int id) const { return window_.child(id); }
    TestMainWindow& window() { return window_; }

    // Lines appended to the activity transcript since the window was made
    // (or since the last takeTranscript), without their line ends.
    std::vector<std::wstring> takeTranscript();

    std::wstring listBox(int id) const { return window_.listBoxItems(id); }
    std::wstring label(int id) const;

    // Room list view rows as "room|game|players|host".
    std::vector<std::wstring> roomRows() const;

private:
    TestMainWindow window_;
    std::size_t transcriptStart_ = 0;
};

}  // namespace VelmorTest
