// A library for the loader tests. Its entry answers DLL_PROCESS_ATTACH as
// WIN32_TEST_ENTRY_RESULT says ("0": refuse) and appends every call to the
// file WIN32_TEST_ENTRY_LOG names, as "<reason> <dynamic|static>" lines,
// so the test sees calls made while the library was being unloaded.
#include <windows.h>
#include <win32_standin.h>

#include <cstdio>
#include <cstdlib>

namespace {

void Record(DWORD reason, LPVOID reserved) {
    const char *log = std::getenv("WIN32_TEST_ENTRY_LOG");
    if (!log) return;
    if (FILE *file = std::fopen(log, "a")) {
        std::fprintf(file, "%u %s\n", static_cast<unsigned>(reason), reserved ? "static" : "dynamic");
        std::fclose(file);
    }
}

BOOL WINAPI ProbeEntry(HINSTANCE, DWORD reason, LPVOID reserved) {
    Record(reason, reserved);
    const char *answer = std::getenv("WIN32_TEST_ENTRY_RESULT");
    return reason != DLL_PROCESS_ATTACH || !answer || answer[0] != '0';
}

HMODULE ThisModule() { return win32_standin::ModuleOfAddress(reinterpret_cast<const void *>(&ProbeEntry)); }

__attribute__((constructor)) void Attach() { win32_standin::RunProcessAttach(ThisModule(), ProbeEntry); }
__attribute__((destructor)) void Detach() { win32_standin::RunProcessDetach(ThisModule(), ProbeEntry); }

}  // namespace

extern "C" __attribute__((visibility("default"))) int ProbeAnswer() { return 42; }
