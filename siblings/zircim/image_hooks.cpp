#include "siblings/zircim/image_hooks.h"

#include <atomic>

namespace zircim {

namespace {
std::atomic<SamplesReplacedHook> g_samplesReplaced{nullptr};
} // namespace

void SetSamplesReplacedHook(SamplesReplacedHook hook) { g_samplesReplaced.store(hook); }

void notify_samples_replaced(CImage &image, const PlaneExtremes &extremes) {
    if (const SamplesReplacedHook hook = g_samplesReplaced.load())
        hook(image, extremes);
}

} // namespace zircim
