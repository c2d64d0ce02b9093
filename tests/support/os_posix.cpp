#include "support/os.h"

#include <cstdlib>
#include <dlfcn.h>

namespace testing_support {

void SetEnvironment(const char *name, const char *value) {
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
}

bool IsLoaded(const std::string &path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD) != nullptr; }

void LoadAsDependency(const std::string &path) { dlopen(path.c_str(), RTLD_NOW); }

const char *const kFullDevice = "/dev/full";

}  // namespace testing_support
