// Progress of one long operation, reported to the window the caller names.
#pragma once

#include <windows.h>

namespace zircim {

// The message the application's progress windows understand, and its
// wParam codes: open (lParam: caption), percent (lParam: 0..100), close.
constexpr UINT kProgressMessage = WM_USER + 0x70;
constexpr WPARAM kProgressOpen = 0;
constexpr WPARAM kProgressPercent = 1;
constexpr WPARAM kProgressClose = 2;

// Opens on construction and closes on destruction, so every path that
// opened also closes. A NULL window receives nothing. Percentages are sent
// only when the integer value changes: at most 101 of them per operation.
class Progress {
public:
    Progress(HWND window, const char *caption);
    ~Progress();
    Progress(const Progress &) = delete;
    Progress &operator=(const Progress &) = delete;

    void report(unsigned long long done, unsigned long long total);

private:
    HWND m_window;
    int m_lastPercent = -1;
};

}  // namespace zircim
