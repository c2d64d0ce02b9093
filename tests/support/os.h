// What the tests need from the operating system beyond the Win32 subset:
// POSIX on Linux, the C runtime and kernel32 on Windows (os.cpp).
#pragma once

#include <string>

namespace testing_support {

// Sets (nullptr: removes) a variable as getenv reads it here and in libraries.
void SetEnvironment(const char *name, const char *value);
// Whether the library at `path` is loaded in this process.
bool IsLoaded(const std::string &path);
// Loads the library as the system loads a program's dependencies. Linux
// only: Windows would end the program if the library's entry refused.
void LoadAsDependency(const std::string &path);
// A device that accepts no byte: every write fails as on a full disk.
extern const char *const kFullDevice;

}  // namespace testing_support
