// dirira: Windows bitmap (BMP/DIB) input/output and the image-class members
// of the host application. The one header a consumer includes.
#pragma once

#include <windows.h>
#include <afxwin.h>

#include <dirira/bmpio/bmp.h>
#include <dirira/bmpio/status.h>
#include <dirira/image/image.h>
#include <dirira/image/progress.h>
#include <dirira/image/stl_image.h>
#include <dirira/image/vm_store.h>
#include <dirira/image/fits_extension.h>
#include <dirira/module/resource.h>
