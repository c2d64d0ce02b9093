// A host's progress window: a message-only window that hands each progress
// message of the library (WM_IMAGEIO_PROGRESS) to a function, for the
// dirira program's progress bar and the Python module's callbacks alike.
#pragma once

#include <windows.h>

#include <functional>

#include "image/progress.h"

namespace bmpfile {

class ProgressWindow {
public:
    using Receiver = std::function<void(WPARAM stage, LPARAM value)>;
    explicit ProgressWindow(Receiver receiver);
    ~ProgressWindow();
    ProgressWindow(const ProgressWindow &) = delete;
    ProgressWindow &operator=(const ProgressWindow &) = delete;

    // The window to give the library; NULL when none could be made.
    HWND handle() const { return window_; }

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    Receiver receiver_;
    HWND window_ = NULL;
};

} // namespace bmpfile
