// Plumbing shared by the stand-in's sources. Nothing here is Win32: these
// are the seams between the emulated DLLs (kernel32, user32, gdi32, version)
// that Windows keeps inside its own loader, resource and window-manager code.
#pragma once

#include <windows.h>
#include <win32_standin.h>

#include <string>

namespace win32_standin::internal {

// True when a FailNth armed for `call` fires on this very call.
bool FaultFires(Call call);
// True when a LeaveSizeImageZeroNth fires on this very header query.
bool SizeImageLeftZero();
// Records the arguments of a GlobalAlloc or GlobalReAlloc call (`call`).
void NoteGlobalRequest(Call call, UINT flags, SIZE_T bytes);

// The resource table registered for `module`, or null.
const ModuleResources *ResourcesOf(HMODULE module);
// The module whose file is `path` (compared by real path), or null.
HMODULE RegisteredModuleOfFile(const char *path);

// The module of the running program, as GetModuleHandle(NULL) is on Windows.
HMODULE MainModule();
// The file a module was loaded from, or "" when `module` is no module.
std::string ModuleFileName(HMODULE module);

// The Win32 error for a failed operation on `path` given errno: a missing
// file and a missing folder are told apart as Windows does.
DWORD PathError(int errnoValue, const char *path);

// UTF-16 to the stand-in's ANSI code page, which is UTF-8. A lone surrogate
// becomes U+FFFD, as WideCharToMultiByte does.
std::string Utf16ToAnsi(const char16_t *text, std::size_t length);
// As much of `text` as fits into `room` bytes without cutting a character.
std::size_t AnsiPrefixFitting(const std::string &text, std::size_t room);

} // namespace win32_standin::internal
