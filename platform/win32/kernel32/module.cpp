// Modules: LoadLibraryA, FreeLibrary, GetModuleFileNameA,
// and the loader hooks that call a library's entry (DllMain).
//
// A module handle is the library's load base (dladdr's dli_fbase), as an
// HMODULE is a DLL's image base on Windows. LoadLibraryA is dlopen; a
// library's load-time constructor calls RunProcessAttach, which learns from
// the thread-local load record whether a LoadLibraryA is in progress.
#include "standin/internal.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <link.h>
#include <mutex>
#include <set>
#include <sys/auxv.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace {

using win32_standin::DllEntry;

// The LoadLibraryA running on this thread, if any.
struct LoadInProgress {
    bool entryRefused = false;
};
thread_local LoadInProgress *currentLoad = nullptr;
thread_local bool freeingLibrary = false;

std::mutex loaderMutex;
// dlopen handles from LoadLibraryA, one per call, released by FreeLibrary.
std::unordered_map<HMODULE, std::vector<void *>> loadedByUs;
// Modules whose entry refused DLL_PROCESS_ATTACH: they get no detach.
std::set<HMODULE> refusedAttach;

// Windows passes a non-null lpReserved for loads and unloads the program
// itself makes (start-up, exit), null for LoadLibrary and FreeLibrary.
LPVOID ReservedFor(bool dynamic) { return dynamic ? nullptr : reinterpret_cast<LPVOID>(1); }

HMODULE BaseOfDlHandle(void *dl) {
    link_map *map = nullptr;
    if (dlinfo(dl, RTLD_DI_LINKMAP, &map) != 0 || !map)
        return nullptr;
    return win32_standin::ModuleOfAddress(map->l_ld);
}

void *TakeLoadedHandle(HMODULE module) {
    std::lock_guard<std::mutex> hold(loaderMutex);
    auto found = loadedByUs.find(module);
    if (found == loadedByUs.end() || found->second.empty())
        return nullptr;
    void *dl = found->second.back();
    found->second.pop_back();
    if (found->second.empty())
        loadedByUs.erase(found);
    return dl;
}

std::string ExecutablePath() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<std::size_t>(length)) : "";
}

} // namespace

// ModuleOfAddress (stand-in)
HMODULE win32_standin::ModuleOfAddress(const void *address) {
    Dl_info info;
    if (!address || !dladdr(address, &info))
        return nullptr;
    return static_cast<HMODULE>(info.dli_fbase);
}

namespace win32_standin::internal {

HMODULE MainModule() { return ModuleOfAddress(reinterpret_cast<const void *>(getauxval(AT_PHDR))); }

std::string ModuleFileName(HMODULE module) {
    if (!module)
        return "";
    if (module == MainModule())
        return ExecutablePath();
    Dl_info info;
    if (!dladdr(module, &info) || info.dli_fbase != module || !info.dli_fname)
        return "";
    char resolved[PATH_MAX];
    return realpath(info.dli_fname, resolved) ? resolved : info.dli_fname;
}

} // namespace win32_standin::internal

// RunProcessAttach (stand-in)
// A refusal inside LoadLibraryA is followed at once by DLL_PROCESS_DETACH,
// as Windows does, and LoadLibraryA then fails. A refusal at start-up ends
// the process, where Windows would refuse to start the program.
void win32_standin::RunProcessAttach(HMODULE module, DllEntry entry) {
    LoadInProgress *load = currentLoad;
    if (entry(module, DLL_PROCESS_ATTACH, ReservedFor(load != nullptr)))
        return;
    if (!load) {
        std::fprintf(stderr,
                     "%s: its entry refused DLL_PROCESS_ATTACH (STATUS_DLL_INIT_FAILED); the program cannot start\n",
                     internal::ModuleFileName(module).c_str());
        std::_Exit(EXIT_FAILURE);
    }
    load->entryRefused = true;
    {
        std::lock_guard<std::mutex> hold(loaderMutex);
        refusedAttach.insert(module);
    }
    entry(module, DLL_PROCESS_DETACH, nullptr);
}

// RunProcessDetach (stand-in)
void win32_standin::RunProcessDetach(HMODULE module, DllEntry entry) {
    {
        std::lock_guard<std::mutex> hold(loaderMutex);
        if (refusedAttach.erase(module))
            return;
    }
    entry(module, DLL_PROCESS_DETACH, ReservedFor(freeingLibrary));
}

// LoadLibraryA (kernel32.@)
// The name is a dlopen name: a path, or a file name found on the library
// search path. Every failure to load reports ERROR_MOD_NOT_FOUND.
extern "C" HMODULE WINAPI LoadLibraryA(LPCSTR fileName) {
    if (!fileName || !*fileName) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    LoadInProgress load;
    LoadInProgress *outer = currentLoad;
    currentLoad = &load;
    void *dl = dlopen(fileName, RTLD_NOW | RTLD_LOCAL);
    currentLoad = outer;
    if (!dl) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    if (load.entryRefused) {
        dlclose(dl);
        SetLastError(ERROR_DLL_INIT_FAILED);
        return nullptr;
    }
    HMODULE module = BaseOfDlHandle(dl);
    std::lock_guard<std::mutex> hold(loaderMutex);
    loadedByUs[module].push_back(dl);
    return module;
}

// FreeLibrary (kernel32.@)
// Releases one LoadLibraryA of the module. A module the program did not
// load itself (linked at start-up) stays, and the call succeeds.
extern "C" BOOL WINAPI FreeLibrary(HMODULE module) {
    if (void *dl = TakeLoadedHandle(module)) {
        freeingLibrary = true;
        dlclose(dl);
        freeingLibrary = false;
        return TRUE;
    }
    if (win32_standin::ModuleOfAddress(module) == module && module)
        return TRUE;
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
}

// GetModuleFileNameA (kernel32.@)
// A name too long for the buffer is cut to size - 1 characters plus the
// terminator; the result is then `size` with ERROR_INSUFFICIENT_BUFFER, as
// on Windows Vista and later.
extern "C" DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size) {
    const std::string name = module ? win32_standin::internal::ModuleFileName(module) : ExecutablePath();
    if (name.empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    if (name.size() < size) {
        std::memcpy(fileName, name.c_str(), name.size() + 1);
        return static_cast<DWORD>(name.size());
    }
    if (size > 0) {
        std::memcpy(fileName, name.data(), size - 1);
        fileName[size - 1] = 0;
    }
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
}
