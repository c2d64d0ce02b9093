// Helpers shared by the Win32 stand-in's conformance tests.
#pragma once

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

#include "support/temp_dir.h"
#include "support/win32_seams.h"

// Checks a call's result and the last error it leaves. The error is
// 0xdeadbeef before the call, so that value means "left alone".
#define EXPECT_LAST_ERROR(call, result, error)                                                                         \
    do {                                                                                                               \
        SetLastError(0xdeadbeef);                                                                                      \
        EXPECT_EQ((call), (result)) << #call;                                                                          \
        EXPECT_EQ(GetLastError(), DWORD(error)) << #call;                                                              \
    } while (0)

namespace win32_test {

// The file's text; "-" when there is no such file (or a folder).
inline std::string ReadText(const std::string &path) {
    if (!std::filesystem::is_regular_file(path))
        return "-";
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return file ? text.str() : "-";
}

// The test program, as the loader knows it.
inline HMODULE ThisModule() { return win32_standin::ModuleOfAddress(reinterpret_cast<const void *>(&ThisModule)); }

} // namespace win32_test
