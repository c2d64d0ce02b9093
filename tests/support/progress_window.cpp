#include "support/progress_window.h"

#include <stdexcept>

#include "image/progress.h"

namespace testing_support {

// One class per program; each window takes its own procedure and `this`.
ProgressWindow::ProgressWindow() {
    static const char kClassName[] = "dirira-test-progress";
    static const ATOM atom = [] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = kClassName;
        return RegisterClassA(&wc);
    }();
    window_ = atom ? CreateWindowExA(0, kClassName, "progress", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL, NULL) : NULL;
    if (window_ == NULL) throw std::runtime_error("RegisterClassA or CreateWindowExA failed");
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ProgressWindow::procedure));
}

LRESULT CALLBACK ProgressWindow::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto *self = reinterpret_cast<ProgressWindow *>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (message != WM_IMAGEIO_PROGRESS || self == nullptr) return DefWindowProcA(window, message, wParam, lParam);
    self->messages_.emplace_back(wParam, lParam);
    return 0;
}

}  // namespace testing_support
