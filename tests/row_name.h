// Names each row of a parameterised table after its Name field, so that test
// lists (and CTest) show Suite/Test.Row instead of a bare index.
#pragma once

#include <gtest/gtest.h>

#include <string>

struct RowName {
  template <class Row>
  std::string operator()(const ::testing::TestParamInfo<Row>& info) const {
    return info.param.Name;
  }
};
