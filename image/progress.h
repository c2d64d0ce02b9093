// The progress notification of image input/output: sent synchronously with
// SendMessageA to a window the caller passes, whose result is ignored.
#pragma once

#include <windows.h>

#define WM_IMAGEIO_PROGRESS (WM_USER + 0x70)

namespace dirira {

enum ProgressCode : WPARAM {
    kProgressOpen = 0,     // lParam: the caller's caption pointer
    kProgressPosition = 1, // lParam: percent, 0..100
    kProgressClose = 2,
};

// No window, no messages.
inline void send_progress(HWND window, ProgressCode code, LPARAM lParam) {
    if (window != NULL)
        SendMessageA(window, WM_IMAGEIO_PROGRESS, code, lParam);
}

} // namespace dirira
