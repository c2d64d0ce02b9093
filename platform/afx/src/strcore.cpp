// CString: construction, assignment, buffer access
// and LoadString: what the library, the program and the image classes use.
#include "afxwin.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {
// A string and its NUL must fit one framework block.
constexpr int kMaxLength = static_cast<int>(afx_heap::kLargestBlock - 1);

// The longest narrow character: a UTF-8 sequence here, a double-byte one
// on Windows. A load that ends closer than this to the buffer's end may
// have been cut.
constexpr int kLongestCharacter = 4;
constexpr int kFirstLoadCapacity = 255;

int LengthOf(LPCSTR psz) {
    const std::size_t length = std::strlen(psz);
    if (length > static_cast<std::size_t>(kMaxLength))
        AfxThrowMemoryException();
    return static_cast<int>(length);
}

int CheckedSum(int a, int b) {
    if (b > kMaxLength - a)
        AfxThrowMemoryException();
    return a + b;
}
} // namespace

CString::CString(const CString &stringSrc) { Assign(stringSrc.GetString(), stringSrc.m_nDataLength); }

CString::CString(CString &&stringSrc) noexcept
    : m_pchData(std::exchange(stringSrc.m_pchData, nullptr)), m_nDataLength(std::exchange(stringSrc.m_nDataLength, 0)),
      m_nAllocLength(std::exchange(stringSrc.m_nAllocLength, 0)) {}

CString::CString(LPCSTR psz) {
    if (psz != nullptr)
        Assign(psz, LengthOf(psz));
}

CString::~CString() { afx_heap::Release(m_pchData); }

CString &CString::operator=(const CString &stringSrc) {
    Assign(stringSrc.GetString(), stringSrc.m_nDataLength);
    return *this;
}

CString &CString::operator=(CString &&stringSrc) noexcept {
    if (this != &stringSrc) {
        afx_heap::Release(m_pchData);
        m_pchData = std::exchange(stringSrc.m_pchData, nullptr);
        m_nDataLength = std::exchange(stringSrc.m_nDataLength, 0);
        m_nAllocLength = std::exchange(stringSrc.m_nAllocLength, 0);
    }
    return *this;
}

CString &CString::operator=(LPCSTR psz) {
    if (psz == nullptr) {
        Empty();
    } else {
        Assign(psz, LengthOf(psz));
    }
    return *this;
}

void CString::Empty() noexcept {
    afx_heap::Release(m_pchData);
    m_pchData = nullptr;
    m_nDataLength = 0;
    m_nAllocLength = 0;
}

// Byte order, as strcmp. A NULL operand counts as the empty string.
int CString::Compare(LPCSTR psz) const { return std::strcmp(GetString(), psz != nullptr ? psz : ""); }

char *CString::GetBuffer(int nMinBufferLength) {
    if (nMinBufferLength < 0)
        AfxThrowInvalidArgException();
    Reserve(std::max(nMinBufferLength, m_nDataLength));
    return m_pchData;
}

void CString::ReleaseBuffer(int nNewLength) {
    if (nNewLength == -1)
        nNewLength = m_pchData != nullptr ? static_cast<int>(strnlen(m_pchData, m_nAllocLength)) : 0;
    if (nNewLength < 0 || nNewLength > m_nAllocLength)
        AfxThrowInvalidArgException();
    if (m_pchData != nullptr)
        SetLength(nNewLength);
}

// The text comes from the first module of the resource chain that holds
// nID. LoadStringA reports only how much it copied, so the buffer grows
// until the text ends clearly short of it.
BOOL CString::LoadString(UINT nID) {
    HINSTANCE hModule = AfxFindStringResourceHandle(nID);
    if (hModule == nullptr) {
        Empty();
        return FALSE;
    }
    CString loaded;
    for (int nCapacity = kFirstLoadCapacity;; nCapacity = CheckedSum(nCapacity, nCapacity)) {
        // Qualified: the SDK's windows.h renames this very member LoadStringA.
        const int nLength = ::LoadStringA(hModule, nID, loaded.GetBuffer(nCapacity), nCapacity + 1);
        loaded.ReleaseBuffer(nLength);
        if (nLength <= nCapacity - kLongestCharacter)
            break;
    }
    *this = std::move(loaded);
    return TRUE;
}

// nLength characters from pch, which may point into this string's own
// buffer. A new buffer is filled before the old one is let go, so a failure
// leaves the string as it was.
void CString::Assign(LPCSTR pch, int nLength) {
    if (nLength == 0) {
        Empty();
        return;
    }
    if (m_pchData != nullptr && nLength <= m_nAllocLength) {
        std::memmove(m_pchData, pch, static_cast<std::size_t>(nLength));
        SetLength(nLength);
        return;
    }
    CString copy;
    copy.Reserve(nLength);
    std::memcpy(copy.m_pchData, pch, static_cast<std::size_t>(nLength));
    copy.SetLength(nLength);
    *this = std::move(copy);
}

void CString::Reserve(int nCapacity) {
    if (m_pchData != nullptr && nCapacity <= m_nAllocLength)
        return;
    char *block = static_cast<char *>(afx_heap::Allocate(static_cast<std::size_t>(nCapacity) + 1));
    std::memcpy(block, GetString(), static_cast<std::size_t>(m_nDataLength) + 1);
    afx_heap::Release(m_pchData);
    m_pchData = block;
    m_nAllocLength = nCapacity;
}

void CString::SetLength(int nLength) {
    m_nDataLength = nLength;
    m_pchData[nLength] = '\0';
}
