// CImage::AttachDIB: an image from a packed DIB.
#include "image/image.h"

#include <memory>
#include <optional>
#include <utility>

#include "image/vm_store.h"
#include "siblings/zircim/dib_decode.h"
#include "siblings/zircim/dib_layout.h"
#include "siblings/zircim/image_hooks.h"
#include "siblings/zircim/image_record.h"
#include "siblings/zircim/progress.h"

namespace {

constexpr int kFloatBitsPixel = -32;

// The caller's block, locked for as long as it is read. It stays the
// caller's: it is unlocked on every path and never freed.
class LockedDib {
public:
    explicit LockedDib(HDIB dib)
        : m_dib(dib), m_bytes(dib != NULL ? static_cast<const unsigned char *>(GlobalLock(dib)) : nullptr),
          m_size(m_bytes != nullptr ? GlobalSize(dib) : 0) {}
    ~LockedDib() {
        if (m_bytes != nullptr)
            GlobalUnlock(m_dib);
    }
    LockedDib(const LockedDib &) = delete;
    LockedDib &operator=(const LockedDib &) = delete;

    const unsigned char *bytes() const { return m_bytes; }
    std::size_t size() const { return m_size; }

private:
    HDIB m_dib;
    const unsigned char *m_bytes;
    std::size_t m_size;
};

// The new samples, built aside: the image changes only once all of it is
// there. Everything here allocates through the framework, so the only
// failure to expect is its memory exception.
struct DecodedImage {
    std::unique_ptr<CVmImage> store;
    std::optional<zircim::LevelArrays> levels;
    zircim::PlaneExtremes extremes;
};

bool decode_aside(const LockedDib &dib, const zircim::DibLayout &layout, HWND progressWnd, const char *caption,
                  DecodedImage &decoded) {
    zircim::Progress progress(progressWnd, caption);
    decoded.store.reset(new CVmImage);
    if (!decoded.store->Create(layout.width, layout.height, layout.planes, sizeof(float)))
        return false;
    decoded.levels.emplace(layout.planes);
    decoded.extremes = zircim::decode_dib(dib.bytes(), dib.size(), layout, *decoded.store, progress);
    return true;
}

} // namespace

int CImage::AttachDIB(HDIB dib, HWND progressWnd, const char *caption) {
    const LockedDib locked(dib);
    zircim::DibLayout layout;
    if (!zircim::read_dib_layout(locked.bytes(), locked.size(), layout))
        return 0;
    DecodedImage decoded;
    try {
        if (!decode_aside(locked, layout, progressWnd, caption, decoded))
            return 0;
    } catch (CMemoryException *e) {
        e->Delete();
        return 0;
    }
    zircim::install_samples(*this, std::move(decoded.store), *decoded.levels, kFloatBitsPixel);
    // A DIB has no blank value and its levels are the fresh defaults: what
    // the image held before (another file's BLANK, levels of its own) must
    // not carry over to these samples.
    BlankUsed = 0;
    Blank = 0;
    OwnLevel = 0;
    zircim::notify_samples_replaced(*this, decoded.extremes);
    return 1;
}
