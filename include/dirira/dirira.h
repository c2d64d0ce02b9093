// dirira: Windows bitmap (BMP/DIB) input/output and the image-class members
// of the host application. The one header a consumer includes.
#pragma once

#include <windows.h>
#include <afxwin.h>
