// Helpers shared by the framework-subset tests: catching the framework's
// pointer exceptions, and a fixture that starts and ends every test with no
// armed fault.
#pragma once

#include <gtest/gtest.h>

#include <typeinfo>

#include "afxwin.h"
#include "afx_standin.h"

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

class AfxTest : public ::testing::Test {
protected:
    void SetUp() override { afx_standin::ClearFaults(); }
    void TearDown() override { afx_standin::ClearFaults(); }
};
