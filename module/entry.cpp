// DllMain of dirira.dll.
#include "module/entry.h"

namespace dirira {
namespace {

// The one extension-module record of this library, zero until attach.
AFX_EXTENSION_MODULE g_extension_module = {};

BOOL attach(AFX_EXTENSION_MODULE &record, HINSTANCE instance) {
    if (!AfxInitExtensionModule(record, instance))
        return FALSE; // the host's loader then refuses the library
    // The chain entry belongs to the framework from here on: it is unlinked
    // and destroyed at framework shutdown or by AfxTermExtensionModule.
    // Without memory for it the library still loads, only its resources
    // are not searched: the load itself must not fail for that.
    try {
        new CDynLinkLibrary(record, FALSE);
    } catch (CMemoryException *e) {
        e->Delete();
    }
    return TRUE;
}

} // namespace

BOOL module_entry(AFX_EXTENSION_MODULE &record, HINSTANCE instance, DWORD reason) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        return attach(record, instance);
    case DLL_PROCESS_DETACH:
        // FALSE: release this module's chain entries, not every module's.
        AfxTermExtensionModule(record, FALSE);
        return TRUE;
    default:
        return TRUE; // thread attach and detach leave the record alone
    }
}

} // namespace dirira

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    return dirira::module_entry(dirira::g_extension_module, instance, reason);
}
