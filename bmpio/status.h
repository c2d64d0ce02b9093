// The status codes of CBmp's file operations, and a fixed message for each
// so that tools print them the same way everywhere.
#pragma once

namespace dirira {

enum BmpStatus : int {
    kBmpOk = 0,
    kBmpCannotCreate = 2,    // the output file cannot be created
    kBmpCannotOpen = 3,      // the input file cannot be opened
    kBmpReadFailed = 4,      // a header cannot be read
    kBmpWriteFailed = 5,     // a write to the output file failed
    kBmpNoMemory = 6,        // no memory, or the image library refused or produced no DIB
    kBmpBadHeaderSize = 7,   // the header is neither an information (40) nor a core (12) header
    kBmpNoDib = 10,          // no DIB to write: none given, or a block shorter than its header
    kBmpHeaderUnusable = 17, // the headers do not describe a readable picture
};

inline const char *bmp_status_message(int status) {
    switch (status) {
    case kBmpOk:
        return "success";
    case kBmpCannotCreate:
        return "the output file cannot be created";
    case kBmpCannotOpen:
        return "the file cannot be opened";
    case kBmpReadFailed:
        return "the file's headers cannot be read";
    case kBmpWriteFailed:
        return "writing the output file failed";
    case kBmpNoMemory:
        return "out of memory, or the image cannot be represented";
    case kBmpBadHeaderSize:
        return "unsupported bitmap header: only the 40-byte BITMAPINFOHEADER and the 12-byte "
               "BITMAPCOREHEADER are read, not the 108- and 124-byte V4/V5 headers";
    case kBmpNoDib:
        return "no bitmap to write";
    case kBmpHeaderUnusable:
        return "the headers do not describe a picture of positive width and height";
    default:
        return "unknown status";
    }
}

} // namespace dirira
