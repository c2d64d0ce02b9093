// os.h and win32_seams.h where the Win32 API is the Linux stand-in.
#include "support/os.h"
#include "support/win32_seams.h"

#include <cstdlib>
#include <dlfcn.h>

namespace testing_support {

const bool kWin32Seams = true;

std::string InAnsiCodePage(const char *utf8) { return utf8; }

void SetEnvironment(const char *name, const char *value) { value ? setenv(name, value, 1) : unsetenv(name); }

bool IsLoaded(const std::string &path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD) != nullptr; }

void LoadAsDependency(const std::string &path) { dlopen(path.c_str(), RTLD_NOW); }

const char *const kFullDevice = "/dev/full";

}  // namespace testing_support
