// Helpers shared by the framework-subset tests.
#pragma once

#include <gtest/gtest.h>

#include "afxwin.h"
#include "afx_standin.h"
#include "support/framework_exceptions.h"
