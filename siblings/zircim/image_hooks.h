// How the image library's derived-class module (zirime) learns that an
// image got new samples. zircim sits below zirime and cannot name its
// classes, so zirime registers a function when it is loaded; an image of a
// zirime class exists only once zirime is loaded.
#pragma once

#include "image/image.h"

#if defined(_WIN32)
#define ZIRCIM_API
#else
#define ZIRCIM_API __attribute__((visibility("default")))
#endif

namespace zircim {

using SamplesReplacedHook = void (*)(CImage &image);

// Called by AttachDIB after it installed new samples. NULL: none.
ZIRCIM_API void SetSamplesReplacedHook(SamplesReplacedHook hook);
void notify_samples_replaced(CImage &image);

}  // namespace zircim
