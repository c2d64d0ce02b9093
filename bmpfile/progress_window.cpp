#include "bmpfile/progress_window.h"

namespace bmpfile {
namespace {

constexpr char kClassName[] = "dirira-host-progress";

bool register_class_once() {
    static const ATOM atom = [] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = kClassName;
        return RegisterClassA(&wc);
    }();
    return atom != 0;
}

} // namespace

ProgressWindow::ProgressWindow(Receiver receiver) : receiver_(std::move(receiver)) {
    if (!register_class_once())
        return;
    window_ = CreateWindowExA(0, kClassName, "progress", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL, NULL);
    if (window_ == NULL)
        return;
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ProgressWindow::procedure));
}

ProgressWindow::~ProgressWindow() {
    if (window_ != NULL)
        DestroyWindow(window_);
}

LRESULT CALLBACK ProgressWindow::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto *self = reinterpret_cast<ProgressWindow *>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (message != WM_IMAGEIO_PROGRESS || self == nullptr)
        return DefWindowProcA(window, message, wParam, lParam);
    self->receiver_(wParam, lParam);
    return 0;
}

} // namespace bmpfile
