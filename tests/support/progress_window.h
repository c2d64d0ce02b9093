// A real message-only window that records the progress notifications it is
// sent, so tests compare whole sequences of (wParam, lParam).
#pragma once

#include <windows.h>

#include <utility>
#include <vector>

namespace testing_support {

using ProgressMessage = std::pair<WPARAM, LPARAM>;

class ProgressWindow {
public:
    ProgressWindow();
    ~ProgressWindow() { DestroyWindow(window_); }
    ProgressWindow(const ProgressWindow &) = delete;
    ProgressWindow &operator=(const ProgressWindow &) = delete;
    HWND handle() const { return window_; }
    const std::vector<ProgressMessage> &messages() const { return messages_; }

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    HWND window_;
    std::vector<ProgressMessage> messages_;
};

}  // namespace testing_support
