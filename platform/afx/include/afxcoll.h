// The framework's fixed-type arrays. MFC spells each out as its own class;
// here each is CArray with the element and argument types MFC uses, plus the
// run-time class MFC gives it.
#pragma once

#include "afxtempl.h"

class AFX_STANDIN_API CStringArray : public CArray<CString, const CString &> {
    DECLARE_DYNAMIC(CStringArray)
};

class AFX_STANDIN_API CDWordArray : public CArray<DWORD, DWORD> {
    DECLARE_DYNAMIC(CDWordArray)
};

class AFX_STANDIN_API CUIntArray : public CArray<UINT, UINT> {
    DECLARE_DYNAMIC(CUIntArray)
};
