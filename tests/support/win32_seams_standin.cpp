// win32_seams.h where the Win32 API is the Linux stand-in.
#include "support/win32_seams.h"

namespace testing_support {

const bool kWin32Seams = true;

// The stand-in's ANSI code page is UTF-8.
std::string InAnsiCodePage(const char *utf8) { return utf8; }

}  // namespace testing_support
