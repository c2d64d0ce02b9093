// The window classes registered in this process, for CreateWindowExA.
// Not Windows' layout: Windows keeps classes in the window manager.
#pragma once

#include <windows.h>

#include <string>

namespace win32_standin::internal {

struct WindowClass {
    std::string name;
    HINSTANCE instance;
    WNDPROC procedure;
    UINT style;
    ATOM atom;
    int windows; // live windows of the class
};

// The class CreateWindowExA would use: the one `instance` registered under
// that name, else a CS_GLOBALCLASS of that name. False when there is none.
bool FindWindowClass(const char *name, HINSTANCE instance, WindowClass *found);
// Counts the windows of a class, so that a class in use is not unregistered.
void CountClassWindow(ATOM atom, int change);

} // namespace win32_standin::internal
