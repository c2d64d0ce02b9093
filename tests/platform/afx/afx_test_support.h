// Helpers shared by the framework-subset tests: catching the framework's
// pointer exceptions, and a fixture that starts and ends every test with no
// armed fault (the seam exists in the Linux build only).
#pragma once

#include <gtest/gtest.h>

#include <typeinfo>

#include "afxwin.h"
#if !defined(_WIN32)
#include "afx_standin.h"
#endif

// True when fn throws exactly EXCEPTION* (a framework exception of another
// class, or none, is false). The caught exception is Delete()d.
template <class EXCEPTION, class Fn>
bool ThrowsFramework(Fn fn) {
    try {
        fn();
    } catch (CException *e) {
        const bool expected = typeid(*e) == typeid(EXCEPTION);
        e->Delete();
        return expected;
    }
    return false;
}

#if defined(_WIN32)
using AfxTest = ::testing::Test;
#else
class AfxTest : public ::testing::Test {
protected:
    void SetUp() override { afx_standin::ClearFaults(); }
    void TearDown() override { afx_standin::ClearFaults(); }
};
#endif
