// Shows lines of text in native static controls, drawn by the platform
// (GDI with its own shaping and bidirectional layout), for the screenshot
// gallery to set beside the same texts in the workspace. Each line is a
// paragraph of its own, right to left when its first strong character is
// (the platform's character types decide), as the workspace lays it out.
//
//   velmor-gdi-text.exe LINES.txt      (UTF-8, one text a line)
#include <windows.h>
#include <shellapi.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<std::wstring> readLines(const wchar_t* path)
{
    std::ifstream file(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::vector<std::wstring> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        const std::string line = bytes.substr(start, end - start);
        std::wstring wide(static_cast<std::size_t>(line.size()), L'\0');
        const int length = ::MultiByteToWideChar(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), wide.data(),
                                                 static_cast<int>(wide.size()));
        wide.resize(static_cast<std::size_t>(length > 0 ? length : 0));
        if (!wide.empty()) lines.push_back(wide);
        start = end + 1;
    }
    return lines;
}

bool firstStrongIsRightToLeft(const std::wstring& text)
{
    std::vector<WORD> types(text.size());
    if (!::GetStringTypeW(CT_CTYPE2, text.c_str(), static_cast<int>(text.size()), types.data())) return false;
    for (const WORD type : types) {
        if (type == C2_LEFTTORIGHT) return false;
        if (type == C2_RIGHTTOLEFT) return true;
    }
    return false;
}

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CTLCOLORSTATIC) {
        ::SetBkColor(reinterpret_cast<HDC>(wParam), RGB(255, 255, 255));
        return reinterpret_cast<LRESULT>(::GetStockObject(WHITE_BRUSH));
    }
    if (message == WM_DESTROY) {
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show)
{
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (!argv || argc < 2) return 2;
    const std::vector<std::wstring> lines = readLines(argv[1]);
    if (lines.empty()) return 3;

    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = L"VelmorGdiText";
    ::RegisterClassExW(&windowClass);

    constexpr int kWidth = 520;
    constexpr int kLineHeight = 26;
    RECT frame = {0, 0, kWidth, static_cast<LONG>(lines.size()) * kLineHeight + 16};
    ::AdjustWindowRectEx(&frame, WS_OVERLAPPEDWINDOW, FALSE, 0);
    const HWND window = ::CreateWindowExW(0, windowClass.lpszClassName, L"GDI text sample", WS_OVERLAPPEDWINDOW, 20, 20,
                                          frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                                          instance, nullptr);
    if (!window) return 4;
    const HFONT font = ::CreateFontW(-16, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                     CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH, L"Segoe UI");
    int y = 8;
    for (const std::wstring& line : lines) {
        const bool rightToLeft = firstStrongIsRightToLeft(line);
        // SS_CENTERIMAGE keeps each text on one line, as the workspace does.
        const HWND label = ::CreateWindowExW(rightToLeft ? WS_EX_RTLREADING | WS_EX_RIGHT : 0, L"STATIC", line.c_str(),
                                             WS_CHILD | WS_VISIBLE | SS_NOPREFIX | SS_CENTERIMAGE |
                                                 (rightToLeft ? SS_RIGHT : SS_LEFT),
                                             10, y, kWidth - 20, kLineHeight, window, nullptr, instance, nullptr);
        ::SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        y += kLineHeight;
    }
    ::ShowWindow(window, show);
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    ::DeleteObject(font);
    return 0;
}
