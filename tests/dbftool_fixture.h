// A test with a scratch directory of its own, in which tool() runs dbftool.
#ifndef DRIFT_TESTS_DBFTOOL_FIXTURE_H
#define DRIFT_TESTS_DBFTOOL_FIXTURE_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e_support.h"

class DbftoolFixture : public ::testing::Test {
 protected:
  e2e::RunResult tool(const std::vector<std::string>& args) {
    e2e::RunOptions options;
    options.cwd = dir.path();
    return e2e::runProgram("dbftool", args, options);
  }

  e2e::TempDir dir;
};

#endif
