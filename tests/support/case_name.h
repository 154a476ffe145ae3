// Names the rows of a parameterised test after their `name` field.
#pragma once

#include <gtest/gtest.h>

#include <string>

struct CaseName {
  template <typename Param>
  std::string operator()(const ::testing::TestParamInfo<Param>& row) const {
    return row.param.name;
  }
};
