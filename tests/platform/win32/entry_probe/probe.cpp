// A library for the loader tests, whose entry (DllMain on Windows, the
// stand-in's load-time hooks on Linux) answers DLL_PROCESS_ATTACH as
// WIN32_TEST_ENTRY_RESULT says ("0": refuse) and logs every call to the file
// WIN32_TEST_ENTRY_LOG names, as "<reason> <dynamic|static>" lines.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#ifndef _WIN32
#include <win32_standin.h>
#endif

namespace {

BOOL WINAPI ProbeEntry(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (const char *log = std::getenv("WIN32_TEST_ENTRY_LOG"); log && *log)
        if (FILE *file = std::fopen(log, "a")) {
            std::fprintf(file, "%u %s\n", static_cast<unsigned>(reason), reserved ? "static" : "dynamic");
            std::fclose(file);
        }
    const char *answer = std::getenv("WIN32_TEST_ENTRY_RESULT");
    return reason != DLL_PROCESS_ATTACH || !answer || answer[0] != '0';
}

} // namespace

#ifdef _WIN32
extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
    return ProbeEntry(module, reason, reserved);
}
#else
namespace {
HMODULE ThisModule() { return win32_standin::ModuleOfAddress(reinterpret_cast<const void *>(&ProbeEntry)); }
__attribute__((constructor)) void Attach() { win32_standin::RunProcessAttach(ThisModule(), ProbeEntry); }
__attribute__((destructor)) void Detach() { win32_standin::RunProcessDetach(ThisModule(), ProbeEntry); }
} // namespace
#endif
