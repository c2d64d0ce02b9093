// Extension-module registration: ExtRawDllMain, AfxInitExtensionModule,
// AfxTermExtensionModule, CDynLinkLibrary; AfxFindStringResourceHandle,
// the resource-chain search.
#include "afxwin.h"
#include "seams.h"

IMPLEMENT_DYNAMIC(CDynLinkLibrary, CObject)

CDynLinkLibrary::CDynLinkLibrary(AFX_EXTENSION_MODULE &state, BOOL bSystem)
    : m_hModule(state.hModule), m_hResource(state.hResource), m_bSystem(bSystem) {
    m_classList.m_pHead = state.pFirstSharedClass;
    m_factoryList.m_pHead = state.pFirstSharedFactory;
    // At the head: the library loaded last is searched first, as in MFC.
    AfxGetModuleState()->m_libraryList.AddHead(this);
}

CDynLinkLibrary::~CDynLinkLibrary() { AfxGetModuleState()->m_libraryList.Remove(this); }

BOOL WINAPI ExtRawDllMain(HINSTANCE, DWORD dwReason, LPVOID) {
    if (dwReason == DLL_PROCESS_ATTACH) {
        AFX_MODULE_STATE *pState = AfxGetModuleState();
        pState->m_pClassInit = pState->m_classList.m_pHead;
        pState->m_pFactoryInit = pState->m_factoryList.m_pHead;
        pState->m_classList.m_pHead = nullptr;
        pState->m_factoryList.m_pHead = nullptr;
    }
    return TRUE;
}

// The lists the library built since its raw entry move into the record; the
// host's lists, set aside by the raw entry, come back.
BOOL AfxInitExtensionModule(AFX_EXTENSION_MODULE &state, HMODULE hModule) {
    if (afx_seam::TakeExtensionInitFault())
        return FALSE;
    if (state.bInitialized)
        return TRUE;
    AFX_MODULE_STATE *pState = AfxGetModuleState();
    state.hModule = hModule;
    state.hResource = hModule;
    state.pFirstSharedClass = pState->m_classList.m_pHead;
    state.pFirstSharedFactory = pState->m_factoryList.m_pHead;
    pState->m_classList.m_pHead = pState->m_pClassInit;
    pState->m_factoryList.m_pHead = pState->m_pFactoryInit;
    state.bInitialized = TRUE;
    return TRUE;
}

void AfxTermExtensionModule(AFX_EXTENSION_MODULE &state, BOOL bAll) {
    if (!state.bInitialized)
        return;
    auto &chain = AfxGetModuleState()->m_libraryList;
    for (CDynLinkLibrary *library = chain.GetHead(); library != nullptr;) {
        CDynLinkLibrary *next = chain.GetNext(library);
        if (bAll || library->m_hModule == state.hModule)
            delete library;
        library = next;
    }
    state.bInitialized = FALSE;
}

namespace {
// Room for the first character of any string, in any code page: LoadStringA
// reports 0 for a present string only when nothing fits.
constexpr int kProbeBytes = 8;

bool HoldsString(HINSTANCE hModule, UINT nID) {
    char probe[kProbeBytes];
    return hModule != nullptr && LoadStringA(hModule, nID, probe, kProbeBytes) > 0;
}
} // namespace

// A module holds an identifier only if that very string is in its table;
// another string of the same 16-string block does not count, as in MFC 8.
HINSTANCE AfxFindStringResourceHandle(UINT nID) {
    HINSTANCE hApp = AfxGetResourceHandle();
    if (HoldsString(hApp, nID))
        return hApp;
    const auto &chain = AfxGetModuleState()->m_libraryList;
    for (const bool systemPass : {false, true}) {
        for (const CDynLinkLibrary *library = chain.GetHead(); library != nullptr; library = chain.GetNext(library)) {
            if ((library->m_bSystem != FALSE) == systemPass && HoldsString(library->m_hResource, nID))
                return library->m_hResource;
        }
    }
    return nullptr;
}
