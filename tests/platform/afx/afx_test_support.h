// Helpers shared by the framework-subset tests.
#pragma once

#include <gtest/gtest.h>

#include "afxwin.h"
#include "afx_standin.h"

// The run-time class of the framework exception fn throws (Delete()d),
// NULL when it throws none.
template <class Fn> const CRuntimeClass *ThrownClass(Fn fn) {
    try {
        fn();
    } catch (CException *e) {
        const CRuntimeClass *thrown = e->GetRuntimeClass();
        e->Delete();
        return thrown;
    }
    return nullptr;
}
#define THROWS(class_name, fn) (ThrownClass(fn) == RUNTIME_CLASS(class_name))
