// CException, CSimpleException, CMemoryException, CInvalidArgException;
// AfxThrowMemoryException, AfxThrowInvalidArgException.
#include "afx.h"

IMPLEMENT_DYNAMIC(CException, CObject)
IMPLEMENT_DYNAMIC(CSimpleException, CException)
IMPLEMENT_DYNAMIC(CMemoryException, CSimpleException)
IMPLEMENT_DYNAMIC(CInvalidArgException, CSimpleException)

CException::CException() : m_bAutoDelete(TRUE) {}
CException::CException(BOOL bAutoDelete) : m_bAutoDelete(bAutoDelete) {}
CException::~CException() = default;

void CException::Delete() {
    if (m_bAutoDelete)
        delete this;
}

CSimpleException::CSimpleException() = default;
CSimpleException::CSimpleException(BOOL bAutoDelete) : CException(bAutoDelete) {}
CSimpleException::~CSimpleException() = default;

CMemoryException::CMemoryException() = default;
CMemoryException::CMemoryException(BOOL bAutoDelete) : CSimpleException(bAutoDelete) {}
CMemoryException::~CMemoryException() = default;

CInvalidArgException::CInvalidArgException() = default;
CInvalidArgException::CInvalidArgException(BOOL bAutoDelete) : CSimpleException(bAutoDelete) {}
CInvalidArgException::~CInvalidArgException() = default;

namespace {
// One static instance each, never auto-deleted: Delete() leaves them be, and
// throwing one allocates nothing.
template <class EXCEPTION> [[noreturn]] void ThrowPreallocated() {
    static EXCEPTION preallocated(FALSE);
    throw &preallocated;
}
} // namespace

void AfxThrowMemoryException() { ThrowPreallocated<CMemoryException>(); }
void AfxThrowInvalidArgException() { ThrowPreallocated<CInvalidArgException>(); }
