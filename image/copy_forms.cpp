// The one-argument copies of the image classes: each is the image library's
// three-argument copy without a progress window or caption. Only libdirira
// defines them; the image library copies through the three-argument forms,
// so that it never depends on this library.
#include "image/stl_image.h"
#include "image/vm_store.h"

CImage::CImage(const CImage &src) : CImage(src, NULL, NULL) {}

CStlImage::CStlImage(const CStlImage &src) : CStlImage(src, NULL, NULL) {}

CVmImage::CVmImage(CVmImage &src) : CVmImage(src, NULL, NULL) {}
