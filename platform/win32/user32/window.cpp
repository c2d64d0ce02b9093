// Windows and their synchronous messages: CreateWindowExA, DestroyWindow,
// SendMessageA, DefWindowProcA, window longs.
//
// The stand-in has one message model: SendMessageA calls the window
// procedure directly on the calling thread, whatever thread made the
// window (Windows would switch to the window's thread). There is no queue,
// no painting and no geometry; windows are bookkeeping plus a procedure.
// Every caller makes top-level or message-only windows, so there are no
// child windows: a parent is refused.
#include "user32/class_registry.h"

#include <win32_standin.h>

#include <algorithm>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace {

using win32_standin::internal::FindWindowClass;
using win32_standin::internal::WindowClass;

struct Window {
    LONG_PTR procedure; // a WNDPROC, kept as the window long it is to GWLP_WNDPROC
    LONG_PTR userData = 0;
};

// Window records; not Windows' layout. A handle value is never reused in
// a run, so a destroyed window stays invalid.
class WindowTable {
public:
    HWND Add(const Window &window) {
        std::lock_guard<std::mutex> hold(mutex_);
        auto handle = reinterpret_cast<HWND>(nextValue_);
        nextValue_ += 2; // window handles are even on Windows too
        windows_.emplace(handle, window);
        return handle;
    }
    bool Remove(HWND handle) {
        std::lock_guard<std::mutex> hold(mutex_);
        return windows_.erase(handle) != 0;
    }
    int Count() {
        std::lock_guard<std::mutex> hold(mutex_);
        return static_cast<int>(windows_.size());
    }
    // Runs `use` on the window under the table's lock; false when there is
    // no such window. `use` must not call back into user32.
    template <typename Use> bool With(HWND handle, Use use) {
        std::lock_guard<std::mutex> hold(mutex_);
        Window *window = FindLocked(handle);
        if (window)
            use(*window);
        return window != nullptr;
    }

private:
    Window *FindLocked(HWND handle) {
        auto found = windows_.find(handle);
        return found == windows_.end() ? nullptr : &found->second;
    }

    std::mutex mutex_;
    std::unordered_map<HWND, Window> windows_;
    std::uintptr_t nextValue_ = 0x10020;
};

WindowTable &Windows() {
    static WindowTable table;
    return table;
}

template <typename Result> Result FailWindow(Result result) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return result;
}

} // namespace

// CreateWindowExA (user32.@)
// Sends no creation messages: every caller's class procedure is
// DefWindowProcA, which consents to them, and callers subclass the window
// afterwards. Window name, styles, geometry, menu and parameter are not
// kept. A parent other than HWND_MESSAGE is refused with
// ERROR_NOT_SUPPORTED.
extern "C" HWND WINAPI CreateWindowExA(DWORD, LPCSTR className, LPCSTR, DWORD, int, int, int, int, HWND parent, HMENU,
                                       HINSTANCE instance, LPVOID) {
    WindowClass windowClass;
    if (!FindWindowClass(className, instance, &windowClass)) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    if (parent && parent != HWND_MESSAGE) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    return Windows().Add(Window{reinterpret_cast<LONG_PTR>(windowClass.procedure), 0});
}

// DestroyWindow (user32.@)
// Sends no destruction messages, as creation sends none.
extern "C" BOOL WINAPI DestroyWindow(HWND window) {
    if (!Windows().Remove(window))
        return FailWindow(FALSE);
    return TRUE;
}

// DefWindowProcA (user32.@)
// No default processing exists here: every message answers 0.
extern "C" LRESULT WINAPI DefWindowProcA(HWND, UINT, WPARAM, LPARAM) { return 0; }

// SendMessageA (user32.@)
extern "C" LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    LONG_PTR procedure = 0;
    if (!Windows().With(window, [&](Window &w) { procedure = w.procedure; }))
        return FailWindow(LRESULT{0});
    return reinterpret_cast<WNDPROC>(procedure)(window, message, wParam, lParam);
}

namespace {

// The slot GetWindowLongPtrA and SetWindowLongPtrA address, or null for an
// index outside the subset (GWLP_USERDATA, GWLP_WNDPROC).
LONG_PTR *SlotOf(Window &window, int index) {
    if (index == GWLP_USERDATA)
        return &window.userData;
    if (index == GWLP_WNDPROC)
        return &window.procedure;
    return nullptr;
}

template <typename Access> LONG_PTR AccessWindowLong(HWND handle, int index, Access access) {
    LONG_PTR result = 0;
    bool validIndex = false;
    if (!Windows().With(handle, [&](Window &w) {
            LONG_PTR *slot = SlotOf(w, index);
            validIndex = slot != nullptr;
            if (slot)
                result = access(slot);
        }))
        return FailWindow(LONG_PTR{0});
    if (!validIndex)
        SetLastError(ERROR_INVALID_INDEX);
    return result;
}

} // namespace

// LiveWindows (stand-in)
int win32_standin::LiveWindows() { return Windows().Count(); }

// GetWindowLongPtrA (user32.@)
extern "C" LONG_PTR WINAPI GetWindowLongPtrA(HWND window, int index) {
    return AccessWindowLong(window, index, [](LONG_PTR *slot) { return *slot; });
}

// SetWindowLongPtrA (user32.@)
// Returns the previous value; setting GWLP_WNDPROC subclasses the window.
extern "C" LONG_PTR WINAPI SetWindowLongPtrA(HWND window, int index, LONG_PTR value) {
    return AccessWindowLong(window, index, [value](LONG_PTR *slot) {
        const LONG_PTR previous = *slot;
        *slot = value;
        return previous;
    });
}
