#include "bmpfile/image_rows.h"

namespace bmpfile {

float *store_row(CStlImage &image, int y, int plane, unsigned mode) {
    float *row = image.GetImageAdr(0, y, plane, mode, NULL);
    if (row == nullptr)
        AfxThrowMemoryException();
    return row;
}

} // namespace bmpfile
