// What the Linux stand-in adds to the Win32 subset, and Windows does not
// have: test seams (fault injection, resource accounting) and the loader
// hooks that take the place of a PE image's resource section and of the
// loader's call to a library entry. Nothing here exists in the Windows
// build; code that uses it is Linux-only or skips on Windows.
#pragma once

#include "windows.h"

namespace win32_standin {

// ---- Fault injection -----------------------------------------------------
// FailNth(call, n) makes the n-th next call of that function fail (n = 1: the
// very next one) in the way Windows reports that failure (NULL or
// INVALID_HANDLE_VALUE or FALSE, with a last-error code). A failed call
// changes nothing. ClearFaults() cancels whatever has not fired yet.
// The errors reported: CreateFileA ERROR_TOO_MANY_OPEN_FILES, ReadFile
// ERROR_READ_FAULT, WriteFile ERROR_WRITE_FAULT, GlobalAlloc and
// GlobalReAlloc ERROR_NOT_ENOUGH_MEMORY, GetDIBits 0 lines with
// ERROR_NOT_ENOUGH_MEMORY, GlobalLock NULL with ERROR_DISCARDED (what a
// movable block that lost its memory answers), GetDC NULL with
// ERROR_NOT_ENOUGH_MEMORY. Faults are process-wide: whichever thread makes
// the n-th call sees the failure.
// The values are fixed; new calls are appended after the last one, so
// existing values never shift.
enum class Call {
    CreateFileA,
    ReadFile,
    WriteFile,
    GlobalAlloc,
    GlobalReAlloc,
    GetDIBits,
    GlobalLock,
    GetDC,
};
WIN32_STANDIN_API void FailNth(Call call, int n);
WIN32_STANDIN_API void ClearFaults();
// Calls of each function above since ResetCallCounts(), failed ones
// included: how many faults a path can meet, so that a test can fail each.
WIN32_STANDIN_API void ResetCallCounts();
WIN32_STANDIN_API int CallCount(Call call);
// The n-th next GetDIBits query without bits completes the header but leaves
// biSizeImage 0, as display drivers may for compressed formats. ClearFaults
// cancels it too.
WIN32_STANDIN_API void LeaveSizeImageZeroNth(int n);

// ---- Resource accounting ---------------------------------------------------
WIN32_STANDIN_API int OpenFileHandles();    // file handles not yet closed
WIN32_STANDIN_API int LiveGlobalBlocks();   // global blocks not yet freed
WIN32_STANDIN_API int LockedGlobalBlocks(); // live blocks with a lock count above 0
WIN32_STANDIN_API SIZE_T LiveGlobalBytes(); // sum of GlobalSize over live blocks
// The arguments of the latest GlobalAlloc and GlobalReAlloc calls, failed or
// not ({0, 0} before the first one).
struct GlobalRequest {
    UINT flags;
    SIZE_T bytes;
};
WIN32_STANDIN_API GlobalRequest LastGlobalAlloc();
WIN32_STANDIN_API GlobalRequest LastGlobalReAlloc();
WIN32_STANDIN_API int HeldDCs(); // GetDC results not yet released
// Non-default palettes left selected: in DCs still held, plus DCs released
// with one still selected (a leak that no later call undoes).
WIN32_STANDIN_API int SelectedPalettes();
WIN32_STANDIN_API int LiveGdiObjects(); // bitmaps and palettes not deleted (stock objects excluded)
WIN32_STANDIN_API int LiveWindows();    // windows created and not yet destroyed

// ---- Display ----------------------------------------------------------------
// Bits per pixel of the screen that GetDC(NULL) and compatible bitmaps get:
// 8, 16 (5-6-5), 24 or 32 (the default). Other values are ignored. Windows
// takes this from the display mode.
WIN32_STANDIN_API void SetScreenDepth(WORD bitsPerPixel);

// ---- Module resources -------------------------------------------------------
// On Windows the linker puts a module's resources into its image and
// LoadString/GetFileVersionInfo find them there. Here each shared library
// hands a table generated from its .rc file to AttachModuleResources when
// it is loaded; the table must outlive the module's registration.
struct StringResource {
    WORD language; // e.g. 0x0411, Japanese
    UINT id;
    const char16_t *text; // UTF-16, as in a compiled string table
};
struct VersionString {
    const char *key;       // "FileDescription", ...
    const char16_t *value; // UTF-16
};
struct VersionResource {
    WORD fileVersion[4];
    WORD productVersion[4];
    DWORD fileFlagsMask;
    DWORD fileFlags;
    DWORD fileOS;
    DWORD fileType;
    DWORD fileSubtype;
    WORD language; // of the string block, e.g. 0x0411
    WORD codePage; // of the string block, e.g. 1200 (UTF-16)
    const VersionString *strings;
    std::size_t stringCount;
};
struct ModuleResources {
    const StringResource *strings;
    std::size_t stringCount;
    const VersionResource *version; // may be null
};
WIN32_STANDIN_API void AttachModuleResources(HMODULE module, const ModuleResources *resources);
WIN32_STANDIN_API void DetachModuleResources(HMODULE module);

// ---- Loader ---------------------------------------------------------------------
// The instance handle of the shared library that contains `address` (its load
// base), as Windows' HINSTANCE is the image base of a DLL.
WIN32_STANDIN_API HMODULE ModuleOfAddress(const void *address);

// A library's load-time constructor calls RunProcessAttach with its entry
// (the same function Windows calls as DllMain). When the entry returns FALSE
// during LoadLibraryA, the entry is called at once with DLL_PROCESS_DETACH
// (as Windows does), that LoadLibraryA fails with ERROR_DLL_INIT_FAILED and
// the library is unloaded again; at program start-up, where Windows refuses
// to start the program, the process is ended with a message.
typedef BOOL(WINAPI *DllEntry)(HINSTANCE, DWORD, LPVOID);
WIN32_STANDIN_API void RunProcessAttach(HMODULE module, DllEntry entry);
// The matching load-time destructor: calls entry(module, DLL_PROCESS_DETACH)
// unless the attach failed.
WIN32_STANDIN_API void RunProcessDetach(HMODULE module, DllEntry entry);

} // namespace win32_standin
