// Helpers shared by the framework-subset tests.
#pragma once

#include <gtest/gtest.h>

#include <typeinfo>

#include "afxwin.h"
#include "afx_standin.h"

// True when fn throws exactly EXCEPTION* (another framework class, or
// nothing, is false); the caught exception is Delete()d.
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

// Every test starts and ends with no armed fault.
class AfxTest : public ::testing::Test {
protected:
    void SetUp() override { afx_standin::ClearFaults(); }
    void TearDown() override { afx_standin::ClearFaults(); }
};
