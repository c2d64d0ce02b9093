// The framework's module state and extension-module registration: how a
// library built on the framework joins its host's class list and resource
// search chain. Includes the rest of the subset, as MFC's afxwin.h does.
#pragma once

#include "afx.h"
#include "afxcoll.h"
#include "afxtempl.h"
#include "atltypes.h"

// An intrusive singly linked list whose link is the member pNext of each
// entry, as the framework keeps its class and library lists. m_pHead is
// public because the registration code saves, restores and empties it.
template <class TYPE, TYPE *TYPE::*pNext> class CTypedSimpleList {
public:
    TYPE *m_pHead = nullptr;

    BOOL IsEmpty() const noexcept { return m_pHead == nullptr; }
    TYPE *GetHead() const noexcept { return m_pHead; }
    static TYPE *GetNext(const TYPE *p) noexcept { return p->*pNext; }
    void AddHead(TYPE *p) noexcept {
        p->*pNext = m_pHead;
        m_pHead = p;
    }
    BOOL Remove(TYPE *p) noexcept {
        for (TYPE **link = &m_pHead; *link != nullptr; link = &((*link)->*pNext)) {
            if (*link == p) {
                *link = p->*pNext;
                return TRUE;
            }
        }
        return FALSE;
    }
};

using CRuntimeClassList = CTypedSimpleList<CRuntimeClass, &CRuntimeClass::m_pNextClass>;

// Class factories are OLE objects in MFC. OLE is outside this subset, so a
// factory list is only its head, which registration passes on untouched.
struct AFX_FACTORY_LIST {
    void *m_pHead = nullptr;
    void *GetHead() const noexcept { return m_pHead; }
};

struct AFX_EXTENSION_MODULE {
    BOOL bInitialized;
    HMODULE hModule;
    HMODULE hResource;
    CRuntimeClass *pFirstSharedClass;
    void *pFirstSharedFactory;
};

// One extension module's entry in the host's resource and class search
// chain. It must be made with new: AfxTermExtensionModule and framework
// shutdown delete it.
class AFX_STANDIN_API CDynLinkLibrary : public CObject {
    DECLARE_DYNAMIC(CDynLinkLibrary)
public:
    explicit CDynLinkLibrary(AFX_EXTENSION_MODULE &state, BOOL bSystem = FALSE);
    ~CDynLinkLibrary() override;

    HMODULE m_hModule;
    HMODULE m_hResource;
    CRuntimeClassList m_classList;
    AFX_FACTORY_LIST m_factoryList;
    BOOL m_bSystem; // searched after every other library
    CDynLinkLibrary *m_pNextDLL = nullptr;
};

// The framework state of the process. An extension module has none of its
// own: it shares this one with its host.
class AFX_STANDIN_API AFX_MODULE_STATE {
public:
    HINSTANCE m_hCurrentInstanceHandle = nullptr;
    HINSTANCE m_hCurrentResourceHandle = nullptr;

    CRuntimeClassList m_classList;
    CRuntimeClass *m_pClassInit = nullptr; // the host's classes while a library registers its own
    AFX_FACTORY_LIST m_factoryList;
    void *m_pFactoryInit = nullptr; // likewise for factories
    CTypedSimpleList<CDynLinkLibrary, &CDynLinkLibrary::m_pNextDLL> m_libraryList;
};

AFX_STANDIN_API AFX_MODULE_STATE *AfxGetModuleState();
AFX_STANDIN_API HINSTANCE AfxGetInstanceHandle();
AFX_STANDIN_API HINSTANCE AfxGetResourceHandle();
AFX_STANDIN_API void AfxSetResourceHandle(HINSTANCE hInstResource);

// The module whose string table holds nID: the resource handle first, then
// the libraries of the chain (newest first), system libraries last. NULL when
// none does.
AFX_STANDIN_API HINSTANCE AfxFindStringResourceHandle(UINT nID);

// The extension module's raw entry: on attach it sets the state's class and
// factory lists aside in m_pClassInit/m_pFactoryInit and empties them, so
// that the library's static registrations, which run next, form lists of
// their own. The library must have it called before its static constructors
// (MFC reaches it through the runtime's raw-entry hook). Always TRUE.
AFX_STANDIN_API BOOL WINAPI ExtRawDllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID lpReserved);

AFX_STANDIN_API BOOL AfxInitExtensionModule(AFX_EXTENSION_MODULE &state, HMODULE hModule);
AFX_STANDIN_API void AfxTermExtensionModule(AFX_EXTENSION_MODULE &state, BOOL bAll = FALSE);
