// The framework heap (afx_heap in afx.h) and CObject's operator new and
// delete, which allocate from it.
#include "afx.h"
#include "seams.h"

#include <cstdlib>

namespace afx_heap {

void *Allocate(std::size_t bytes) {
    if (bytes > kLargestBlock || afx_seam::TakeAllocationFault())
        AfxThrowMemoryException();
    // malloc(0) may return null; a zero-byte request still gets a block of its own.
    void *block = std::malloc(bytes != 0 ? bytes : 1);
    if (block == nullptr)
        AfxThrowMemoryException();
    afx_seam::CountAllocation();
    return block;
}

void Release(void *block) noexcept {
    if (block == nullptr)
        return;
    std::free(block);
    afx_seam::CountRelease();
}

std::size_t ArrayBytes(INT_PTR count, std::size_t elementSize) {
    // count <= kLargestBlock / elementSize proves count * elementSize <= kLargestBlock.
    if (count < 0 || static_cast<std::size_t>(count) > kLargestBlock / elementSize)
        AfxThrowMemoryException();
    return static_cast<std::size_t>(count) * elementSize;
}

INT_PTR CheckedAdd(INT_PTR a, INT_PTR b) {
    INT_PTR sum = 0;
    if (__builtin_add_overflow(a, b, &sum))
        AfxThrowMemoryException();
    return sum;
}

} // namespace afx_heap

void *CObject::operator new(std::size_t nSize) { return afx_heap::Allocate(nSize); }
void *CObject::operator new[](std::size_t nSize) { return afx_heap::Allocate(nSize); }
void CObject::operator delete(void *p) noexcept { afx_heap::Release(p); }
void CObject::operator delete[](void *p) noexcept { afx_heap::Release(p); }
