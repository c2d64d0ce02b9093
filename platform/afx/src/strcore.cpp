// CString: construction, assignment, concatenation, comparison, search,
// extraction, buffer access, Format and LoadString.
#include "afxwin.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
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

// Half as much again as needed, so that repeated appends copy rarely.
int GrownCapacity(int nLength) { return nLength + std::min(nLength / 2, kMaxLength - nLength); }
} // namespace

CString::CString(const CString &stringSrc) { Splice(0, stringSrc.GetString(), stringSrc.m_nDataLength); }

CString::CString(CString &&stringSrc) noexcept
    : m_pchData(std::exchange(stringSrc.m_pchData, nullptr)), m_nDataLength(std::exchange(stringSrc.m_nDataLength, 0)),
      m_nAllocLength(std::exchange(stringSrc.m_nAllocLength, 0)) {}

CString::CString(LPCSTR psz) {
    if (psz != nullptr)
        Splice(0, psz, LengthOf(psz));
}

CString::CString(LPCSTR pch, int nLength) {
    if (nLength < 0 || (pch == nullptr && nLength > 0))
        AfxThrowInvalidArgException();
    Splice(0, pch, nLength);
}

CString::~CString() { afx_heap::Release(m_pchData); }

CString &CString::operator=(const CString &stringSrc) {
    Splice(0, stringSrc.GetString(), stringSrc.m_nDataLength);
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
        Splice(0, psz, LengthOf(psz));
    }
    return *this;
}

void CString::Empty() noexcept {
    afx_heap::Release(m_pchData);
    m_pchData = nullptr;
    m_nDataLength = 0;
    m_nAllocLength = 0;
}

char CString::GetAt(int iChar) const {
    if (iChar < 0 || iChar > m_nDataLength)
        AfxThrowInvalidArgException();
    return GetString()[iChar];
}

CString &CString::operator+=(const CString &str) {
    Splice(m_nDataLength, str.GetString(), str.m_nDataLength);
    return *this;
}

CString &CString::operator+=(LPCSTR psz) {
    if (psz != nullptr)
        Splice(m_nDataLength, psz, LengthOf(psz));
    return *this;
}

CString &CString::operator+=(char ch) {
    Splice(m_nDataLength, &ch, 1);
    return *this;
}

// Byte order, as strcmp. A NULL operand counts as the empty string.
int CString::Compare(LPCSTR psz) const { return std::strcmp(GetString(), psz != nullptr ? psz : ""); }

int CString::Find(char ch, int iStart) const noexcept {
    if (iStart < 0 || iStart >= m_nDataLength)
        return -1;
    const void *found = std::memchr(m_pchData + iStart, ch, static_cast<std::size_t>(m_nDataLength - iStart));
    return found != nullptr ? static_cast<int>(static_cast<const char *>(found) - m_pchData) : -1;
}

int CString::Find(LPCSTR pszSub, int iStart) const {
    if (pszSub == nullptr || iStart < 0 || iStart > m_nDataLength)
        return -1;
    const char *found = std::strstr(GetString() + iStart, pszSub);
    return found != nullptr ? static_cast<int>(found - GetString()) : -1;
}

// The extractors clamp, as MFC 8's do: a negative count takes nothing and a
// count past the end takes what is there.
CString CString::Left(int nCount) const { return Mid(0, nCount); }

CString CString::Mid(int iFirst) const { return Mid(iFirst, m_nDataLength); }

CString CString::Mid(int iFirst, int nCount) const {
    iFirst = std::clamp(iFirst, 0, m_nDataLength);
    nCount = std::clamp(nCount, 0, m_nDataLength - iFirst);
    return CString(GetString() + iFirst, nCount);
}

CString CString::Right(int nCount) const {
    nCount = std::clamp(nCount, 0, m_nDataLength);
    return CString(GetString() + m_nDataLength - nCount, nCount);
}

char *CString::GetBuffer(int nMinBufferLength) {
    if (nMinBufferLength < 0)
        AfxThrowInvalidArgException();
    Reserve(std::max(nMinBufferLength, m_nDataLength));
    return m_pchData;
}

char *CString::GetBufferSetLength(int nLength) {
    GetBuffer(nLength);
    SetLength(nLength);
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

void CString::Format(LPCSTR pszFormat, ...) {
    va_list args;
    va_start(args, pszFormat);
    try {
        FormatV(pszFormat, args);
    } catch (...) {
        va_end(args);
        throw;
    }
    va_end(args);
}

void CString::FormatV(LPCSTR pszFormat, va_list args) {
    if (pszFormat == nullptr)
        AfxThrowInvalidArgException();
    va_list measure;
    va_copy(measure, args);
    const int nLength = std::vsnprintf(nullptr, 0, pszFormat, measure);
    va_end(measure);
    // A format the C library cannot expand is an invalid argument, as in MFC 8.
    if (nLength < 0)
        AfxThrowInvalidArgException();
    CString formatted;
    std::vsnprintf(formatted.GetBuffer(nLength), static_cast<std::size_t>(nLength) + 1, pszFormat, args);
    formatted.SetLength(nLength);
    *this = std::move(formatted);
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

// The first nKeep characters followed by nLength characters from pch, which
// may point into this string's own buffer. A new buffer is filled before the
// old one is let go, so a failure leaves the string as it was.
void CString::Splice(int nKeep, LPCSTR pch, int nLength) {
    const int nNewLength = CheckedSum(nKeep, nLength);
    if (nNewLength == 0) {
        Empty();
        return;
    }
    if (m_pchData != nullptr && nNewLength <= m_nAllocLength) {
        std::memmove(m_pchData + nKeep, pch, static_cast<std::size_t>(nLength));
        SetLength(nNewLength);
        return;
    }
    CString joined;
    joined.Reserve(nKeep == 0 ? nNewLength : GrownCapacity(nNewLength));
    std::memcpy(joined.m_pchData, GetString(), static_cast<std::size_t>(nKeep));
    std::memcpy(joined.m_pchData + nKeep, pch, static_cast<std::size_t>(nLength));
    joined.SetLength(nNewLength);
    *this = std::move(joined);
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

namespace {
template <class LEFT, class RIGHT> CString Concatenate(const LEFT &left, const RIGHT &right) {
    CString result(left);
    result += right;
    return result;
}
} // namespace

CString operator+(const CString &str1, const CString &str2) { return Concatenate(str1, str2); }
CString operator+(const CString &str1, LPCSTR psz2) { return Concatenate(str1, psz2); }
CString operator+(LPCSTR psz1, const CString &str2) { return Concatenate(psz1, str2); }
CString operator+(const CString &str1, char ch2) { return Concatenate(str1, ch2); }
