// The screen's device context. Windows hands out cached DCs of the window
// manager; here each GetDC makes a new DC in the GDI subset's table.
#include "gdi32/gdi_private.h"

using namespace win32_standin::internal::gdi;

// GetDC (user32.@)
// Only the screen's DC exists: a window's DC is not part of the subset.
extern "C" HDC WINAPI GetDC(HWND window) {
    if (win32_standin::internal::FaultFires(win32_standin::Call::GetDC)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (window) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    return OpenScreenDC();
}

// ReleaseDC (user32.@)
// 1 when the DC was released, 0 when it was not a held DC.
extern "C" int WINAPI ReleaseDC(HWND window, HDC dc) {
    if (window)
        return 0;
    return ReleaseScreenDC(dc) ? 1 : 0;
}
