// What a file is, from its first bytes, and what format a file name says,
// for the messages of the dirira program and the Python module: a user who
// hands a PNG to a BMP reader wants to hear "a PNG file, not a BMP", and an
// output named .png must not receive a BMP.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace bmpfile {

// The format whose signature the bytes begin with ("PNG", "FITS", "gzip",
// "JPEG", "TIFF", "GIF", "BMP"), "text" for printable ASCII, else "".
std::string format_of_bytes(const std::uint8_t *bytes, std::size_t size);

// The format that the name's extension says (case ignored): "BMP", "FITS",
// "PNG", "JPEG", "TIFF", "GIF", "gzip" and the like; "" when the name has no
// extension or one that names no format.
std::string format_of_name(const std::string &path);

// Why a file of this mode is not a regular file: a folder is "Is a
// directory", as the system says when it is opened for writing, a FIFO or a
// device what it is ("a FIFO, not a regular file").
std::string not_regular_file(mode_t mode);

// Opens a regular file for reading (a descriptor, with its status filled
// in), or answers -1 and says why not in the operating system's words; a
// folder is refused as "Is a directory", as reading it would be, and a FIFO
// or a device as what it is ("a FIFO, not a regular file").
int open_for_reading(const char *path, struct stat &status, std::string &why);

} // namespace bmpfile
