// What win32_seams.h declares: POSIX where the Win32 API is the Linux
// stand-in; with the real Win32 API (Windows, Wine) the C runtime and
// kernel32, and the seams do not exist: reaching one fails the test, and the
// neutral value returned keeps the program going.
#include "support/win32_seams.h"

#include <cstdlib>
#include <windows.h>
#ifndef _WIN32
#include <dlfcn.h>

namespace testing_support {
const bool kWin32Seams = true;
const char *const kFullDevice = "/dev/full";
std::string InAnsiCodePage(const char *utf8) { return utf8; }
void SetEnvironment(const char *name, const char *value) { value ? setenv(name, value, 1) : unsetenv(name); }
bool IsLoaded(const std::string &path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD) != nullptr; }
void LoadAsDependency(const std::string &path) { dlopen(path.c_str(), RTLD_NOW); }
} // namespace testing_support
#else
namespace testing_support {
const bool kWin32Seams = false;
// Wine reaches Linux's /dev/full through its own Unix path namespace.
const char *const kFullDevice = "\\\\?\\unix\\dev\\full";
// The tests' texts are short resource strings.
std::string InAnsiCodePage(const char *utf8) {
    wchar_t wide[1024] = {};
    char narrow[4096] = {};
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, wide, 1024);
    WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, sizeof narrow, nullptr, nullptr);
    return narrow;
}
// The C runtime's copy of the environment, which getenv reads; the DLLs
// share it through msvcrt.dll.
void SetEnvironment(const char *name, const char *value) { _putenv_s(name, value ? value : ""); }
bool IsLoaded(const std::string &path) { return GetModuleHandleA(path.c_str()) != nullptr; }
void LoadAsDependency(const std::string &) { ADD_FAILURE() << "LoadAsDependency is Linux's only"; }
} // namespace testing_support

namespace win32_standin {

template <typename Result = int> static Result absent(const char *seam) {
    ADD_FAILURE() << seam << " is a seam of the Linux stand-in; the real Win32 API has none";
    return Result{};
}

void FailNth(Call, int) { absent("FailNth"); }
void ClearFaults() { absent("ClearFaults"); }
void ResetCallCounts() { absent("ResetCallCounts"); }
int CallCount(Call) { return absent("CallCount"); }
void LeaveSizeImageZeroNth(int) { absent("LeaveSizeImageZeroNth"); }
int OpenFileHandles() { return absent("OpenFileHandles"); }
int LiveGlobalBlocks() { return absent("LiveGlobalBlocks"); }
int LockedGlobalBlocks() { return absent("LockedGlobalBlocks"); }
SIZE_T LiveGlobalBytes() { return absent<SIZE_T>("LiveGlobalBytes"); }
GlobalRequest LastGlobalAlloc() { return absent<GlobalRequest>("LastGlobalAlloc"); }
GlobalRequest LastGlobalReAlloc() { return absent<GlobalRequest>("LastGlobalReAlloc"); }
int HeldDCs() { return absent("HeldDCs"); }
int SelectedPalettes() { return absent("SelectedPalettes"); }
int LiveGdiObjects() { return absent("LiveGdiObjects"); }
int LiveWindows() { return absent("LiveWindows"); }
void SetScreenDepth(WORD) { absent("SetScreenDepth"); }
void AttachModuleResources(HMODULE, const ModuleResources *) { absent("AttachModuleResources"); }
void DetachModuleResources(HMODULE) { absent("DetachModuleResources"); }
// Not a seam with the real API: the loader answers it (RunProcessAttach is Linux's).
HMODULE ModuleOfAddress(const void *address) {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       static_cast<LPCSTR>(address), &module);
    return module;
}

} // namespace win32_standin
#endif
