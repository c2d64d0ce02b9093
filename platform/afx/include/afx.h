// The core of the class-framework subset: the root class CObject and its
// run-time class information, the exception classes the framework throws as
// pointers, and the string class CString. Names, members and behaviour are
// MFC 8.0's; docs/platform/afx.md lists where this subset knowingly differs.
#pragma once

#include <windows.h>

#include <cstddef>

#if defined(_WIN32)
#if defined(AFX_STANDIN_BUILDING)
#define AFX_STANDIN_API __declspec(dllexport)
#else
#define AFX_STANDIN_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define AFX_STANDIN_API __attribute__((visibility("default")))
#else
#define AFX_STANDIN_API
#endif

class CObject;
// Only named by CObject's virtual slots; the subset has no serialisation and
// no diagnostic dump, so neither class is defined.
class CArchive;
class CDumpContext;

// ---- Run-time class information ---------------------------------------------
struct AFX_STANDIN_API CRuntimeClass {
    LPCSTR m_lpszClassName;
    int m_nObjectSize;
    UINT m_wSchema;              // 0xFFFF: not serialisable
    CRuntimeClass *m_pBaseClass; // null for CObject
    CRuntimeClass *m_pNextClass; // link in a module's list of registered classes

    BOOL IsDerivedFrom(const CRuntimeClass *pBaseClass) const;
};

#define RUNTIME_CLASS(class_name) (&class_name::class##class_name)

#define DECLARE_DYNAMIC(class_name)                                                                                    \
public:                                                                                                                \
    static CRuntimeClass class##class_name;                                                                            \
    CRuntimeClass *GetRuntimeClass() const override;

#define IMPLEMENT_DYNAMIC(class_name, base_class_name)                                                                 \
    CRuntimeClass class_name::class##class_name = {#class_name, static_cast<int>(sizeof(class_name)), 0xFFFF,          \
                                                   RUNTIME_CLASS(base_class_name), nullptr};                           \
    CRuntimeClass *class_name::GetRuntimeClass() const { return RUNTIME_CLASS(class_name); }

// Registers a class in the current module state's class list, as
// IMPLEMENT_SERIAL's static AFX_CLASSINIT object does in MFC.
AFX_STANDIN_API void AfxClassInit(CRuntimeClass *pNewClass);
struct AFX_CLASSINIT {
    explicit AFX_CLASSINIT(CRuntimeClass *pNewClass) { AfxClassInit(pNewClass); }
};

// ---- CObject ---------------------------------------------------------------------
class AFX_STANDIN_API CObject {
public:
    // The order of these slots is the framework's virtual-table layout.
    virtual CRuntimeClass *GetRuntimeClass() const;
    virtual ~CObject() = default;
    virtual void Serialize(CArchive &ar);
    virtual void AssertValid() const;
    virtual void Dump(CDumpContext &dc) const;

    BOOL IsKindOf(const CRuntimeClass *pClass) const;

    // Allocation failure throws the framework's memory exception
    // (CMemoryException*), never std::bad_alloc, as in an MFC program.
    static void *operator new(std::size_t nSize);
    static void *operator new[](std::size_t nSize);
    static void operator delete(void *p) noexcept;
    static void operator delete[](void *p) noexcept;

    static CRuntimeClass classCObject;

protected:
    CObject() = default;

private:
    CObject(const CObject &objectSrc); // not copyable, as in MFC
    void operator=(const CObject &objectSrc);
};

// ---- Exceptions --------------------------------------------------------------------
// Thrown as pointers: `throw pException;`, caught as `catch (CMemoryException *e)`
// and released with e->Delete().
class AFX_STANDIN_API CException : public CObject {
    DECLARE_DYNAMIC(CException)
public:
    CException();
    explicit CException(BOOL bAutoDelete);
    ~CException() override = 0;

    // Frees a heap exception; the framework's preallocated ones stay.
    void Delete();

protected:
    BOOL m_bAutoDelete;
};

class AFX_STANDIN_API CSimpleException : public CException {
    DECLARE_DYNAMIC(CSimpleException)
public:
    CSimpleException();
    explicit CSimpleException(BOOL bAutoDelete);
    ~CSimpleException() override;
};

class AFX_STANDIN_API CMemoryException : public CSimpleException {
    DECLARE_DYNAMIC(CMemoryException)
public:
    CMemoryException();
    explicit CMemoryException(BOOL bAutoDelete);
    ~CMemoryException() override;
};

class AFX_STANDIN_API CInvalidArgException : public CSimpleException {
    DECLARE_DYNAMIC(CInvalidArgException)
public:
    CInvalidArgException();
    explicit CInvalidArgException(BOOL bAutoDelete);
    ~CInvalidArgException() override;
};

// Both throw a preallocated exception, so reporting a memory shortage never
// needs memory.
[[noreturn]] AFX_STANDIN_API void AfxThrowMemoryException();
[[noreturn]] AFX_STANDIN_API void AfxThrowInvalidArgException();

// ---- Framework heap ---------------------------------------------------------------
// Every allocation of the subset (CObject's operator new, CString, CArray)
// goes through here, so a failure always surfaces as CMemoryException* and
// the Linux test seam can fail any one of them.
namespace afx_heap {
// The largest block the framework hands out: the user address space of the
// 32-bit process the application runs in. Larger requests fail as they would
// there, instead of succeeding (or aborting a sanitiser build) on 64 bits.
constexpr std::size_t kLargestBlock = 0x7FFFFFFF;

AFX_STANDIN_API void *Allocate(std::size_t bytes);
AFX_STANDIN_API void Release(void *block) noexcept;
// count * elementSize, or the memory exception for a negative count or a
// product above kLargestBlock.
AFX_STANDIN_API std::size_t ArrayBytes(INT_PTR count, std::size_t elementSize);
// a + b for sizes and counts, or the memory exception when it overflows.
AFX_STANDIN_API INT_PTR CheckedAdd(INT_PTR a, INT_PTR b);
} // namespace afx_heap

// `new TYPE[count]` with MSVC 8's outcome: under MSVC 8 a negative or huge
// count saturates the byte size, the class's operator new[] fails, and the
// framework's memory exception is thrown. g++ and clang test the count
// themselves and throw std::bad_array_new_length before any operator new[]
// runs, so code that depends on the framework exception goes through here.
// This helper is the subset's own; MFC has no such function.
template <class TYPE> TYPE *AfxNewArray(INT_PTR count) {
    // Tests the count; the array cookie g++ adds on top is caught by the
    // same limit inside operator new[] when TYPE is a CObject.
    afx_heap::ArrayBytes(count, sizeof(TYPE));
    return new TYPE[count];
}

// ---- CString ---------------------------------------------------------------------
// A narrow-character string with value semantics: each CString owns its
// characters, so a copy never shares (and never changes) the original. An
// empty string owns nothing and its constructors cannot throw.
class AFX_STANDIN_API CString {
public:
    CString() noexcept = default;
    CString(const CString &stringSrc);
    CString(CString &&stringSrc) noexcept;
    CString(LPCSTR psz); // NULL gives an empty string
    ~CString();

    CString &operator=(const CString &stringSrc);
    CString &operator=(CString &&stringSrc) noexcept;
    CString &operator=(LPCSTR psz);

    int GetLength() const noexcept { return m_nDataLength; }
    bool IsEmpty() const noexcept { return m_nDataLength == 0; }
    void Empty() noexcept;

    LPCSTR GetString() const noexcept { return m_pchData != nullptr ? m_pchData : ""; }
    operator LPCSTR() const noexcept { return GetString(); }

    int Compare(LPCSTR psz) const;

    char *GetBuffer(int nMinBufferLength);
    void ReleaseBuffer(int nNewLength = -1);

    BOOL LoadString(UINT nID);

private:
    void Assign(LPCSTR pch, int nLength);
    // Makes room for nCapacity characters plus the NUL, keeping the text;
    // throws before changing anything when the memory is not there.
    void Reserve(int nCapacity);
    void SetLength(int nLength);

    char *m_pchData = nullptr; // null: empty and owning nothing
    int m_nDataLength = 0;
    int m_nAllocLength = 0; // characters the block holds besides the NUL
};

inline bool operator==(const CString &str1, LPCSTR psz2) { return str1.Compare(psz2) == 0; }
// Appending is not in the subset; without these, CString + 'x' would
// compile as pointer arithmetic on the LPCSTR conversion.
template <typename T> CString operator+(const CString &, T) = delete;
template <typename T> CString operator+(T, const CString &) = delete;
template <typename T> CString &operator+=(CString &, T) = delete;
