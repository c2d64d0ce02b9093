// The framework's raw entry of dirira.dll on Windows. MSVC's runtime calls
// a raw entry (_pRawDllMain) before the DLL's static constructors; the
// mingw-w64 runtime has no such hook: its DllMainCRTStartup runs the static
// constructors and then DllMain. The PE loader, though, calls a module's TLS
// callbacks before its entry point, for every reason the entry gets, so the
// raw entry is installed as one. The runtime keeps the callbacks in the
// sections .CRT$XLA to .CRT$XLZ, which the linker sorts by name; .CRT$XLB
// puts this one ahead of the runtime's own (.CRT$XLC, .CRT$XLD).
//
// The callback runs before the runtime is initialised: it may only call
// through the import table (ExtRawDllMain is a dllimport of afx.dll, bound
// by the loader), never touch data the runtime relocates.
#include <windows.h>

#include <afxwin.h>

namespace {

void NTAPI raw_entry(PVOID instance, DWORD reason, PVOID reserved) {
    ExtRawDllMain(static_cast<HINSTANCE>(instance), reason, reserved);
}

} // namespace

extern "C" __attribute__((section(".CRT$XLB"), used)) const PIMAGE_TLS_CALLBACK dirira_raw_entry = raw_entry;
