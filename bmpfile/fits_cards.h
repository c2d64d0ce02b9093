// Header cards that CFITSIO 4.2 cannot be given: it copies some values
// into buffers one byte short of them, which a fortified build (Debian's)
// stops by aborting the whole program. Such cards are not FITS; the file is
// refused before CFITSIO opens it.
#pragma once

#include <cstddef>
#include <string>

namespace bmpfile {

constexpr std::size_t kCardBytes = 80;
constexpr std::size_t kRecordBytes = 2880; // headers and data units fill whole records

// Walks the headers of an uncompressed FITS file open on `fd` (a gzip or
// zip file is unpacked by CFITSIO itself and not looked at here) and says
// which card CFITSIO could not take ("HDU 2: its TTYPE1 card's value fills
// the card without quotes"), or "" when there is none. Stops, saying
// nothing, where the file ends or a header is not a FITS header: CFITSIO
// then says what is wrong.
std::string card_cfitsio_cannot_take(int fd);

} // namespace bmpfile
