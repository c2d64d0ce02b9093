// Which framework exception a call throws, for tests that require one.
#pragma once

#include <afxwin.h>

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
