// The Win32 subset this project builds on where the real API is absent.
// On Windows the SDK's <windows.h> is found instead and none of this is
// compiled; callers include <windows.h> either way.
#pragma once

#include "windef.h"
#include "winbase.h"
#include "wingdi.h"
#include "winuser.h"
#include "winver.h"
