// A hidden top-level window standing in for the main window in tests: it
// holds native child controls with the real ids and classes and is published
// as the main window while it lives.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace VelmorTest {

struct ChildSpec {
    int id;
    const wchar_t* className;  // "LISTBOX", "EDIT", "STATIC", "SysListView32", ...
    DWORD style;
};

class TestMainWindow {
public:
    explicit TestMainWindow(std::initializer_list<ChildSpec> children = {});
    ~TestMainWindow();
    TestMainWindow(const TestMainWindow&) = delete;
    TestMainWindow& operator=(const TestMainWindow&) = delete;

    HWND handle() const { return window_; }
    HWND child(int id) const { return ::GetDlgItem(window_, id); }

    // Handles every message waiting for this thread's windows.
    static void pumpMessages();

    // The items of a list box, in order.
    std::wstring listBoxItems(int id, wchar_t separator = L',') const;

    // Messages posted to the window that carried `message`, counted by the
    // window procedure as they are pumped.
    int postedCount(UINT message) const;

    // The payloads of the statusUpdate and serverText messages pumped so far,
    // in arrival order.
    static const std::vector<std::wstring>& statusTexts();
    static const std::vector<std::string>& serverTexts();
    // What each of them counted against the worker's bound, in the same order.
    static const std::vector<std::size_t>& serverFootprints();

private:
    HWND window_ = nullptr;
};

}  // namespace VelmorTest
