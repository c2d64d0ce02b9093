// The stand-in's loader runs a library's entry from its load-time
// constructor and destructor.
#include "probe.h"

#include <win32_standin.h>

namespace {

HMODULE ThisModule() { return win32_standin::ModuleOfAddress(reinterpret_cast<const void *>(&ProbeEntry)); }

__attribute__((constructor)) void Attach() { win32_standin::RunProcessAttach(ThisModule(), ProbeEntry); }
__attribute__((destructor)) void Detach() { win32_standin::RunProcessDetach(ThisModule(), ProbeEntry); }

}  // namespace
