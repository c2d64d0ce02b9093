// CArray, the framework's growable array, with MFC 8.0's rules: indexes are
// tested in every build and a bad one throws CInvalidArgException*; a new
// block is sized by the growth step; new entries are value-initialised.
// Unlike MFC 8, every change that can fail leaves the array as it was, and
// an element of the array itself may be passed to Add, SetAtGrow or InsertAt.
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
    INT_PTR GetCount() const noexcept { return m_nSize; }
    BOOL IsEmpty() const noexcept { return m_nSize == 0; }
    INT_PTR GetUpperBound() const noexcept { return m_nSize - 1; }

    // nGrowBy -1 (any negative value, as in MFC) keeps the current step.
    void SetSize(INT_PTR nNewSize, INT_PTR nGrowBy = -1) {
        if (nNewSize < 0)
            AfxThrowInvalidArgException();
        const INT_PTR growBy = nGrowBy >= 0 ? nGrowBy : m_nGrowBy;
        if (nNewSize == 0) {
            ReleaseAll();
        } else if (nNewSize <= m_nMaxSize) {
            ResizeInPlace(nNewSize);
        } else {
            MoveToNewBlock(CapacityFor(nNewSize, growBy), nNewSize);
        }
        m_nGrowBy = growBy;
    }
    void RemoveAll() noexcept { ReleaseAll(); }

    const TYPE &GetAt(INT_PTR nIndex) const { return m_pData[CheckedIndex(nIndex)]; }
    TYPE &GetAt(INT_PTR nIndex) { return m_pData[CheckedIndex(nIndex)]; }
    TYPE &ElementAt(INT_PTR nIndex) { return m_pData[CheckedIndex(nIndex)]; }
    void SetAt(INT_PTR nIndex, ARG_TYPE newElement) { m_pData[CheckedIndex(nIndex)] = newElement; }
    const TYPE &operator[](INT_PTR nIndex) const { return GetAt(nIndex); }
    TYPE &operator[](INT_PTR nIndex) { return ElementAt(nIndex); }

    const TYPE *GetData() const noexcept { return m_pData; }
    TYPE *GetData() noexcept { return m_pData; }

    void SetAtGrow(INT_PTR nIndex, ARG_TYPE newElement) {
        if (nIndex < 0)
            AfxThrowInvalidArgException();
        const TYPE value(newElement); // before growing: newElement may be one of ours
        if (nIndex < m_nSize) {
            m_pData[nIndex] = value;
            return;
        }
        GrowThenAssign(afx_heap::CheckedAdd(nIndex, 1), [&] { m_pData[nIndex] = value; });
    }
    INT_PTR Add(ARG_TYPE newElement) {
        const INT_PTR nIndex = m_nSize;
        SetAtGrow(nIndex, newElement);
        return nIndex;
    }

    // Inserting past the end grows the array and value-initialises the entries between.
    void InsertAt(INT_PTR nIndex, ARG_TYPE newElement, INT_PTR nCount = 1) {
        if (nIndex < 0 || nCount <= 0)
            AfxThrowInvalidArgException();
        const TYPE value(newElement);
        const INT_PTR nFirstNew = std::max(nIndex, m_nSize);
        const INT_PTR nNewSize = afx_heap::CheckedAdd(nFirstNew, nCount);
        GrowThenAssign(nNewSize, [&] { std::fill(m_pData + nFirstNew, m_pData + nNewSize, value); });
        // The copies went in at the end, where a failure could drop them again;
        // now they swap into place, which cannot fail.
        std::rotate(m_pData + nIndex, m_pData + nFirstNew, m_pData + nNewSize);
    }
    void RemoveAt(INT_PTR nIndex, INT_PTR nCount = 1) {
        if (nIndex < 0 || nCount < 0 || nCount > m_nSize - nIndex)
            AfxThrowInvalidArgException();
        std::move(m_pData + nIndex + nCount, m_pData + m_nSize, m_pData + nIndex);
        ResizeInPlace(m_nSize - nCount);
    }

    // Appending an array to itself is refused, as in MFC 8.
    INT_PTR Append(const CArray &src) {
        if (this == &src)
            AfxThrowInvalidArgException();
        const INT_PTR nOldSize = m_nSize;
        GrowThenAssign(afx_heap::CheckedAdd(m_nSize, src.m_nSize),
                       [&] { std::copy(src.m_pData, src.m_pData + src.m_nSize, m_pData + nOldSize); });
        return nOldSize;
    }
    void Copy(const CArray &src) {
        if (this == &src)
            return;
        if (src.m_nSize == 0) {
            ReleaseAll();
            return;
        }
        TYPE *block = AllocateElements(src.m_nSize);
        try {
            std::uninitialized_copy(src.m_pData, src.m_pData + src.m_nSize, block);
        } catch (...) {
            afx_heap::Release(block);
            throw;
        }
        ReleaseAll();
        Adopt(block, src.m_nSize, src.m_nSize);
    }

protected:
    TYPE *m_pData = nullptr;
    INT_PTR m_nSize = 0;
    INT_PTR m_nMaxSize = 0;
    INT_PTR m_nGrowBy = 0; // 0: a step chosen from the size, as MFC does

private:
    INT_PTR CheckedIndex(INT_PTR nIndex) const {
        if (nIndex < 0 || nIndex >= m_nSize)
            AfxThrowInvalidArgException();
        return nIndex;
    }

    // MFC's sizing: a first block holds the larger of the size and the step;
    // a later one grows by the step (size/8 within 4..1024 when the step is 0)
    // or to the size itself if that is more.
    INT_PTR CapacityFor(INT_PTR nNewSize, INT_PTR growBy) const {
        if (m_pData == nullptr)
            return std::max(nNewSize, growBy);
        const INT_PTR step = growBy != 0 ? growBy : std::clamp<INT_PTR>(m_nSize / 8, 4, 1024);
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

    // Grows to nNewSize, then lets assign fill the new entries; if that
    // throws, the array shrinks back to its old size.
    template <class Assign> void GrowThenAssign(INT_PTR nNewSize, Assign assign) {
        const INT_PTR nOldSize = m_nSize;
        SetSize(nNewSize);
        try {
            assign();
        } catch (...) {
            SetSize(nOldSize);
            throw;
        }
    }
};
