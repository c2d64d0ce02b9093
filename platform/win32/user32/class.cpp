// Window classes: RegisterClassA. Classes live as long as the process:
// no caller unregisters one.
#include "user32/class_registry.h"

#include <algorithm>
#include <cctype>
#include <mutex>
#include <vector>

namespace {

using win32_standin::internal::WindowClass;

// Class atoms come from the range Windows uses for registered strings.
constexpr ATOM kFirstClassAtom = 0xC000;

std::mutex classMutex;
std::vector<WindowClass> classes;
ATOM nextAtom = kFirstClassAtom;

// Class names compare without regard to case, as on Windows.
bool SameName(const std::string &a, const char *b) {
    const std::size_t length = std::char_traits<char>::length(b);
    return a.size() == length && std::equal(a.begin(), a.end(), b, [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::vector<WindowClass>::iterator FindLocked(const char *name, HINSTANCE instance) {
    return std::find_if(classes.begin(), classes.end(),
                        [&](const WindowClass &c) { return SameName(c.name, name) && c.instance == instance; });
}

} // namespace

namespace win32_standin::internal {

bool FindWindowClass(const char *name, HINSTANCE instance, WindowClass *found) {
    if (!name || IS_INTRESOURCE(name))
        return false;
    std::lock_guard<std::mutex> hold(classMutex);
    auto match = FindLocked(name, instance);
    if (match == classes.end())
        return false;
    *found = *match;
    return true;
}

} // namespace win32_standin::internal

// RegisterClassA (user32.@)
// Classes are named by strings; registering by atom is not part of the subset.
extern "C" ATOM WINAPI RegisterClassA(const WNDCLASSA *wndClass) {
    if (!wndClass || !wndClass->lpszClassName || IS_INTRESOURCE(wndClass->lpszClassName) || !wndClass->lpfnWndProc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::lock_guard<std::mutex> hold(classMutex);
    if (FindLocked(wndClass->lpszClassName, wndClass->hInstance) != classes.end()) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    const ATOM atom = nextAtom++;
    classes.push_back(WindowClass{wndClass->lpszClassName, wndClass->hInstance, wndClass->lpfnWndProc});
    return atom;
}
