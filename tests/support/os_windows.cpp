#include "support/os.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <windows.h>

namespace testing_support {

// The C runtime's copy of the environment, which getenv reads; the DLLs
// share it through msvcrt.dll.
void SetEnvironment(const char *name, const char *value) { _putenv_s(name, value ? value : ""); }

bool IsLoaded(const std::string &path) { return GetModuleHandleA(path.c_str()) != nullptr; }

void LoadAsDependency(const std::string &) { ADD_FAILURE() << "LoadAsDependency is Linux's only"; }

// Wine reaches Linux's /dev/full through its own Unix path namespace.
const char *const kFullDevice = "\\\\?\\unix\\dev\\full";

}  // namespace testing_support
