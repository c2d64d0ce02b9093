// Windows' loader calls DllMain, after the runtime's own start-up.
#include "probe.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
    return ProbeEntry(module, reason, reserved);
}
