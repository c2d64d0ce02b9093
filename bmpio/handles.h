// Scoped ownership of the platform handles the BMP code works with, so that
// files are closed and blocks unlocked on every path out of a function.
#pragma once

#include <windows.h>

namespace dirira {

// An open file handle, closed when the scope ends.
class ScopedFile {
public:
    explicit ScopedFile(HANDLE file) : file_(file) {}
    ~ScopedFile() {
        if (is_open())
            CloseHandle(file_);
    }
    ScopedFile(const ScopedFile &) = delete;
    ScopedFile &operator=(const ScopedFile &) = delete;

    bool is_open() const { return file_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return file_; }

private:
    HANDLE file_;
};

// One lock on a global memory block, released when the scope ends.
class ScopedGlobalLock {
public:
    explicit ScopedGlobalLock(HGLOBAL block) : block_(block), bytes_(static_cast<BYTE *>(GlobalLock(block))) {}
    ~ScopedGlobalLock() {
        if (bytes_ != nullptr)
            GlobalUnlock(block_);
    }
    ScopedGlobalLock(const ScopedGlobalLock &) = delete;
    ScopedGlobalLock &operator=(const ScopedGlobalLock &) = delete;

    BYTE *bytes() const { return bytes_; }

private:
    HGLOBAL block_;
    BYTE *bytes_;
};

}  // namespace dirira
