// CStringArray's run-time class.
#include "afxcoll.h"

IMPLEMENT_DYNAMIC(CStringArray, CObject)
