// How the image library's derived-class module (zirime) learns that an
// image got new samples. zircim sits below zirime and cannot name its
// classes, so zirime registers a function when it is loaded; an image of a
// zirime class exists only once zirime is loaded.
#pragma once

#include "image/image.h"

#if defined(_WIN32) && defined(ZIRCIM_BUILDING)
#define ZIRCIM_API __declspec(dllexport)
#elif defined(_WIN32)
#define ZIRCIM_API __declspec(dllimport)
#else
#define ZIRCIM_API __attribute__((visibility("default")))
#endif

namespace zircim {

// The smallest and largest sample of each of the first three planes, as
// decoding found them (planes the image lacks: 0).
struct PlaneExtremes {
    double least[3];
    double most[3];
};

using SamplesReplacedHook = void (*)(CImage &image, const PlaneExtremes &extremes);

// Called by AttachDIB after it installed new samples. NULL: none.
ZIRCIM_API void SetSamplesReplacedHook(SamplesReplacedHook hook);
void notify_samples_replaced(CImage &image, const PlaneExtremes &extremes);

} // namespace zircim
