// Scoped ownership of the platform handles the BMP code works with, so that
// files are closed, blocks unlocked or freed and the screen's device context
// released on every path out of a function.
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

// A global block freed when the scope ends, unless handed on with release().
class ScopedGlobalBlock {
public:
    explicit ScopedGlobalBlock(HGLOBAL block) : block_(block) {}
    ~ScopedGlobalBlock() {
        if (block_ != NULL)
            GlobalFree(block_);
    }
    ScopedGlobalBlock(const ScopedGlobalBlock &) = delete;
    ScopedGlobalBlock &operator=(const ScopedGlobalBlock &) = delete;

    HGLOBAL get() const { return block_; }
    // After a successful resize: the handle it returned is the block now.
    void moved_to(HGLOBAL block) { block_ = block; }
    HGLOBAL release() {
        HGLOBAL block = block_;
        block_ = NULL;
        return block;
    }

private:
    HGLOBAL block_;
};

// The screen's device context with `palette` selected (not forced into the
// background) and realised. When the scope ends the palette that was there
// before is selected again, the same way and not realised, and the context
// is released.
class ScopedScreenPalette {
public:
    explicit ScopedScreenPalette(HPALETTE palette) : dc_(GetDC(NULL)), previous_(NULL) {
        if (dc_ == NULL)
            return;
        previous_ = SelectPalette(dc_, palette, FALSE);
        RealizePalette(dc_);
    }
    ~ScopedScreenPalette() {
        if (dc_ == NULL)
            return;
        SelectPalette(dc_, previous_, FALSE);
        ReleaseDC(NULL, dc_);
    }
    ScopedScreenPalette(const ScopedScreenPalette &) = delete;
    ScopedScreenPalette &operator=(const ScopedScreenPalette &) = delete;

    HDC dc() const { return dc_; }

private:
    HDC dc_;
    HPALETTE previous_;
};

} // namespace dirira
