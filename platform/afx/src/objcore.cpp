// CObject and CRuntimeClass: run-time class information and the root
// class's virtual slots; AfxClassInit.
#include "afxwin.h"

CRuntimeClass CObject::classCObject = {"CObject", static_cast<int>(sizeof(CObject)), 0xFFFF, nullptr, nullptr};

BOOL CRuntimeClass::IsDerivedFrom(const CRuntimeClass *pBaseClass) const {
    for (const CRuntimeClass *pClass = this; pClass != nullptr; pClass = pClass->m_pBaseClass) {
        if (pClass == pBaseClass)
            return TRUE;
    }
    return FALSE;
}

CRuntimeClass *CObject::GetRuntimeClass() const { return RUNTIME_CLASS(CObject); }

// Serialisation and diagnostics are the derived classes' to add; the root
// does nothing, as in MFC.
void CObject::Serialize(CArchive &) {}
void CObject::AssertValid() const {}
void CObject::Dump(CDumpContext &) const {}

BOOL CObject::IsKindOf(const CRuntimeClass *pClass) const { return GetRuntimeClass()->IsDerivedFrom(pClass); }

void AfxClassInit(CRuntimeClass *pNewClass) { AfxGetModuleState()->m_classList.AddHead(pNewClass); }
