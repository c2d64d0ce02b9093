// Construction and destruction of CFitsExtension. They belong to the
// application's FITS code, which builds the records that libdirira's
// accessors fill and read; the image library stands in for that code here,
// so the record's virtual table lives here as well.
#include "image/fits_extension.h"

CFitsExtension::CFitsExtension() : BitPix(0), NAxis(0), TFields(0) {}

CFitsExtension::~CFitsExtension() {}
