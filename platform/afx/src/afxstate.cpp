// AFX_MODULE_STATE: AfxGetModuleState, AfxGetInstanceHandle,
// AfxGetResourceHandle, AfxSetResourceHandle; framework shutdown.
#include "afxwin.h"

namespace {
// Constant-initialised (every member has a constant default), so it is ready
// before any static constructor of any module runs and stays valid through
// every static destructor.
AFX_MODULE_STATE g_moduleState;

// Framework shutdown: the chain entries still linked when the process ends
// or the subset is unloaded are destroyed, as MFC's termination does.
struct LibraryChainTeardown {
    ~LibraryChainTeardown() {
        while (CDynLinkLibrary *library = g_moduleState.m_libraryList.GetHead())
            delete library;
    }
} g_libraryChainTeardown;
} // namespace

AFX_MODULE_STATE *AfxGetModuleState() { return &g_moduleState; }

HINSTANCE AfxGetInstanceHandle() { return g_moduleState.m_hCurrentInstanceHandle; }
HINSTANCE AfxGetResourceHandle() { return g_moduleState.m_hCurrentResourceHandle; }
void AfxSetResourceHandle(HINSTANCE hInstResource) { g_moduleState.m_hCurrentResourceHandle = hInstResource; }
