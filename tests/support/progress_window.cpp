#include "support/progress_window.h"

#include <stdexcept>

#include "image/progress.h"

namespace testing_support {
namespace {

const char kClassName[] = "dirira-test-progress";

void register_class_once() {
    static const ATOM atom = [] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = kClassName;
        return RegisterClassA(&wc);
    }();
    if (atom == 0)
        throw std::runtime_error("RegisterClassA failed");
}

}  // namespace

ProgressWindow::ProgressWindow() {
    register_class_once();
    window_ = CreateWindowExA(0, kClassName, "progress", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL, NULL);
    if (window_ == NULL)
        throw std::runtime_error("CreateWindowExA failed");
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ProgressWindow::procedure));
}

ProgressWindow::~ProgressWindow() { DestroyWindow(window_); }

LRESULT CALLBACK ProgressWindow::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto *self = reinterpret_cast<ProgressWindow *>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (message == WM_IMAGEIO_PROGRESS && self != nullptr) {
        self->messages_.emplace_back(wParam, lParam);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace testing_support
