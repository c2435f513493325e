// The text failures of the import driver.  The session layer raises int codes
// (OracleErrorCode); the driver raises its own failures as ImportError.  Both are
// caught once, by the failure handler of importRun.
#pragma once

#include <stdexcept>
#include <string>

struct ImportError : std::runtime_error {
  explicit ImportError(const std::string& text) : std::runtime_error(text) {}
};
