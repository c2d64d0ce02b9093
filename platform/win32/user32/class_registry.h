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
};

// The class CreateWindowExA would use: the one `instance` registered under
// that name. False when there is none.
bool FindWindowClass(const char *name, HINSTANCE instance, WindowClass *found);

} // namespace win32_standin::internal
