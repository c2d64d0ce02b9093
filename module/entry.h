// The library entry of dirira: registration with the host's class framework
// as an extension module, so that the framework searches this library's
// resources (the format names of the string table) and classes.
#pragma once

#include <afxwin.h>

namespace dirira {

// DllMain's work on a given extension-module record (the library passes
// its one static record; tests pass records of their own).
BOOL module_entry(AFX_EXTENSION_MODULE &record, HINSTANCE instance, DWORD reason);

} // namespace dirira

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);
