// CPoint, built on the Win32 POINT so that it passes wherever a POINT is
// expected: the base of the image classes' reference points, which read and
// set its coordinates directly. Unlike ATL 8, whose default constructor
// leaves the coordinates uninitialised, it starts at 0: nothing can read an
// indeterminate value.
#pragma once

#include <windows.h>

class CPoint : public tagPOINT {
public:
    CPoint() noexcept : tagPOINT{0, 0} {}
    CPoint(int initX, int initY) noexcept : tagPOINT{initX, initY} {}
};
