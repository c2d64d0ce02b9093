// Names parameterised tests after their table row, so a failure says which
// case broke.
#pragma once

#include <gtest/gtest.h>
#include <string>

namespace win32_test {

struct RowName {
    template <typename Row>
    std::string operator()(const testing::TestParamInfo<Row> &row) const {
        return row.param.name;
    }
};

}  // namespace win32_test
