// CArray, the framework's growable array, with MFC 8.0's rules: indexes are
// tested in every build and a bad one throws CInvalidArgException*; a new
// block is sized by the default growth step; new entries are
// value-initialised. Unlike MFC 8, a resize that fails leaves the array as
// it was. Only what the image classes use is here: sizing and indexing.
#pragma once

#include "afx.h"

#include <algorithm>
#include <memory>
#include <type_traits>

template <class TYPE, class ARG_TYPE = const TYPE &> class CArray : public CObject {
public:
    CArray() = default;
    ~CArray() override { ReleaseAll(); }

    INT_PTR GetSize() const noexcept { return m_nSize; }

    void SetSize(INT_PTR nNewSize) {
        if (nNewSize < 0)
            AfxThrowInvalidArgException();
        if (nNewSize == 0) {
            ReleaseAll();
        } else if (nNewSize <= m_nMaxSize) {
            ResizeInPlace(nNewSize);
        } else {
            MoveToNewBlock(CapacityFor(nNewSize), nNewSize);
        }
    }

    const TYPE &GetAt(INT_PTR nIndex) const { return m_pData[CheckedIndex(nIndex)]; }
    TYPE &GetAt(INT_PTR nIndex) { return m_pData[CheckedIndex(nIndex)]; }
    void SetAt(INT_PTR nIndex, ARG_TYPE newElement) { m_pData[CheckedIndex(nIndex)] = newElement; }
    const TYPE &operator[](INT_PTR nIndex) const { return GetAt(nIndex); }
    TYPE &operator[](INT_PTR nIndex) { return GetAt(nIndex); }

protected:
    TYPE *m_pData = nullptr;
    INT_PTR m_nSize = 0;
    INT_PTR m_nMaxSize = 0;

private:
    INT_PTR CheckedIndex(INT_PTR nIndex) const {
        if (nIndex < 0 || nIndex >= m_nSize)
            AfxThrowInvalidArgException();
        return nIndex;
    }

    // MFC's sizing with its default step: a first block holds the size; a
    // later one grows by size/8 within 4..1024, or to the size itself if
    // that is more.
    INT_PTR CapacityFor(INT_PTR nNewSize) const {
        if (m_pData == nullptr)
            return nNewSize;
        const INT_PTR step = std::clamp<INT_PTR>(m_nSize / 8, 4, 1024);
        return std::max(nNewSize, afx_heap::CheckedAdd(m_nMaxSize, step));
    }

    static TYPE *AllocateElements(INT_PTR count) {
        return static_cast<TYPE *>(afx_heap::Allocate(afx_heap::ArrayBytes(count, sizeof(TYPE))));
    }

    void Adopt(TYPE *block, INT_PTR nSize, INT_PTR nMaxSize) noexcept {
        m_pData = block;
        m_nSize = nSize;
        m_nMaxSize = nMaxSize;
    }

    void ReleaseAll() noexcept {
        std::destroy(m_pData, m_pData + m_nSize);
        afx_heap::Release(m_pData);
        Adopt(nullptr, 0, 0);
    }

    void ResizeInPlace(INT_PTR nNewSize) {
        if (nNewSize > m_nSize)
            std::uninitialized_value_construct(m_pData + m_nSize, m_pData + nNewSize);
        else
            std::destroy(m_pData + nNewSize, m_pData + m_nSize);
        m_nSize = nNewSize;
    }

    // The new entries are made first and the old ones moved last, so a
    // failure at any step leaves the old block untouched.
    void MoveToNewBlock(INT_PTR nNewMax, INT_PTR nNewSize) {
        TYPE *block = AllocateElements(nNewMax);
        try {
            std::uninitialized_value_construct(block + m_nSize, block + nNewSize);
        } catch (...) {
            afx_heap::Release(block);
            throw;
        }
        try {
            TransferElements(block);
        } catch (...) {
            std::destroy(block + m_nSize, block + nNewSize);
            afx_heap::Release(block);
            throw;
        }
        afx_heap::Release(m_pData);
        Adopt(block, nNewSize, nNewMax);
    }

    // Moves when moving cannot throw, copies otherwise (a throwing copy is
    // undone by uninitialized_copy); the old elements are destroyed after.
    void TransferElements(TYPE *target) {
        if constexpr (std::is_nothrow_move_constructible_v<TYPE>)
            std::uninitialized_move(m_pData, m_pData + m_nSize, target);
        else
            std::uninitialized_copy(m_pData, m_pData + m_nSize, target);
        std::destroy(m_pData, m_pData + m_nSize);
    }
};
