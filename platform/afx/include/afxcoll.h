// The framework's fixed-type string array. MFC spells it out as its own
// class; here it is CArray with the element and argument types MFC uses,
// plus the run-time class MFC gives it.
#pragma once

#include "afxtempl.h"

class AFX_STANDIN_API CStringArray : public CArray<CString, const CString &> {
    DECLARE_DYNAMIC(CStringArray)
};
