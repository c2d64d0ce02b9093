// Last-error code of the calling thread.
#include <windows.h>

namespace {
// Each thread has its own last error, as on Windows.
thread_local DWORD lastError = ERROR_SUCCESS;
} // namespace

// GetLastError (kernel32.@)
extern "C" DWORD WINAPI GetLastError(void) { return lastError; }

// SetLastError (kernel32.@)
extern "C" void WINAPI SetLastError(DWORD error) { lastError = error; }
