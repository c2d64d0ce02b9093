// os.h and win32_seams.h with the real Win32 API, where the seams do not
// exist: reaching one fails the test, and the neutral value returned keeps
// the program going.
#include "support/os.h"
#include "support/win32_seams.h"

#include <cstdlib>
#include <windows.h>

namespace testing_support {

const bool kWin32Seams = false;

std::string InAnsiCodePage(const char *utf8) {
    const int wideLength = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, wide.data(), wideLength);
    const int length = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, narrow.data(), length, nullptr, nullptr);
    narrow.pop_back();  // the terminator both calls counted
    return narrow;
}

// The C runtime's copy of the environment, which getenv reads; the DLLs
// share it through msvcrt.dll.
void SetEnvironment(const char *name, const char *value) { _putenv_s(name, value ? value : ""); }

bool IsLoaded(const std::string &path) { return GetModuleHandleA(path.c_str()) != nullptr; }

void LoadAsDependency(const std::string &) { ADD_FAILURE() << "LoadAsDependency is Linux's only"; }

// Wine reaches Linux's /dev/full through its own Unix path namespace.
const char *const kFullDevice = "\\\\?\\unix\\dev\\full";

}  // namespace testing_support

namespace win32_standin {

template <typename Result = int>
static Result absent(const char *seam) {
    ADD_FAILURE() << seam << " is a seam of the Linux stand-in; the real Win32 API has none";
    return Result{};
}

void FailNth(Call, int) { absent("FailNth"); }
void ClearFaults() { absent("ClearFaults"); }
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

}  // namespace win32_standin
