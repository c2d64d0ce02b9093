// A real message-only window that records the progress notifications it is
// sent, so tests compare whole sequences of (wParam, lParam).
#pragma once

#include <windows.h>

#include <functional>
#include <stdexcept>
#include <utility>
#include <vector>

#include "image/progress.h"

namespace testing_support {

using ProgressMessage = std::pair<WPARAM, LPARAM>;

class ProgressWindow {
public:
    // One class per program; each window takes its own procedure and `this`. `onMessage` sees each notification
    // as it arrives, while the sender waits.
    explicit ProgressWindow(std::function<void(WPARAM)> onMessage = nullptr) : onMessage_(std::move(onMessage)) {
        static const ATOM atom = [] {
            WNDCLASSA wc{};
            wc.lpfnWndProc = DefWindowProcA, wc.lpszClassName = "dirira-test-progress";
            return RegisterClassA(&wc);
        }();
        window_ = CreateWindowExA(0, "dirira-test-progress", "progress", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL, NULL);
        if (atom == 0 || window_ == NULL)
            throw std::runtime_error("RegisterClassA or CreateWindowExA failed");
        SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ProgressWindow::procedure));
    }
    ~ProgressWindow() { DestroyWindow(window_); }
    ProgressWindow(const ProgressWindow &) = delete;
    ProgressWindow &operator=(const ProgressWindow &) = delete;
    HWND handle() const { return window_; }
    const std::vector<ProgressMessage> &messages() const { return messages_; }

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto *self = reinterpret_cast<ProgressWindow *>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (message != WM_IMAGEIO_PROGRESS || self == nullptr)
            return DefWindowProcA(window, message, wParam, lParam);
        if (self->onMessage_)
            self->onMessage_(wParam);
        self->messages_.emplace_back(wParam, lParam);
        return 0;
    }
    std::function<void(WPARAM)> onMessage_;
    HWND window_;
    std::vector<ProgressMessage> messages_;
};

} // namespace testing_support
