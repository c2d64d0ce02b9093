// A library for the loader tests. Its entry answers DLL_PROCESS_ATTACH as
// WIN32_TEST_ENTRY_RESULT says ("0": refuse) and logs every call to the file
// WIN32_TEST_ENTRY_LOG names, as "<reason> <dynamic|static>" lines.
#include "probe.h"

#include <cstdio>
#include <cstdlib>

namespace {

void Record(DWORD reason, LPVOID reserved) {
    const char *log = std::getenv("WIN32_TEST_ENTRY_LOG");
    if (!log || !*log) return;
    if (FILE *file = std::fopen(log, "a")) {
        std::fprintf(file, "%u %s\n", static_cast<unsigned>(reason), reserved ? "static" : "dynamic");
        std::fclose(file);
    }
}

}  // namespace

BOOL WINAPI ProbeEntry(HINSTANCE, DWORD reason, LPVOID reserved) {
    Record(reason, reserved);
    const char *answer = std::getenv("WIN32_TEST_ENTRY_RESULT");
    return reason != DLL_PROCESS_ATTACH || !answer || answer[0] != '0';
}

extern "C" PROBE_EXPORT int ProbeAnswer() { return 42; }
