// The text failures of the export driver.  The session layer raises int codes
// (OracleErrorCode); the driver raises its own failures as ExportError.  Both are
// caught once, by the failure handler of exportRun.
#pragma once

#include <stdexcept>
#include <string>

struct ExportError : std::runtime_error {
  explicit ExportError(const std::string& text) : std::runtime_error(text) {}
};
