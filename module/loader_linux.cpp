// What the Windows loader does for dirira.dll, done on Linux from the shared
// library's load-time constructors: map the resources, run the raw entry
// before the static constructors, call DllMain after them, and call it
// again with DLL_PROCESS_DETACH when the library is unloaded.
#include <win32_standin.h>

#include "module/entry.h"

extern const win32_standin::ModuleResources dirira_module_resources;

namespace {

HMODULE this_module() {
    static const char anchor = 0;
    return win32_standin::ModuleOfAddress(&anchor);
}

// Priority 101 runs ahead of every unprioritised static constructor. The
// framework's raw entry sets the host's class lists aside, so that the
// classes this library's static constructors register form its own lists.
__attribute__((constructor(101))) void map_and_raw_attach() {
    win32_standin::AttachModuleResources(this_module(), &dirira_module_resources);
    ExtRawDllMain(this_module(), DLL_PROCESS_ATTACH, NULL);
}

__attribute__((constructor)) void attach() { win32_standin::RunProcessAttach(this_module(), DllMain); }

__attribute__((destructor)) void detach() {
    win32_standin::RunProcessDetach(this_module(), DllMain);
    win32_standin::DetachModuleResources(this_module());
}

} // namespace
