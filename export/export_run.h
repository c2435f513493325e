// The steps of exdrift in the drivers' frame (front/driver_run.h): one session for
// the whole run, every selected section with field lines handed to exportSection,
// and what to show when a transfer fails.
#pragma once

#include <cstdint>
#include <string>

#include "export/export_column.h"
#include "export/export_error.h"
#include "front/config_reader.h"
#include "front/driver_run.h"
#include "front/run_outcome.h"
#include "oracle/oracle_session.h"

// One per field line a section may hold.
constexpr int kMaxExportColumns = static_cast<int>(kMaxFields);

// Run-wide state of the driver, alive for the whole run; it owns the statements and
// the column buffers, which it releases when it ends.  exportSection keeps the
// counters current so that the failure handler can tell where a failure came from.
struct ExportRun : DriverState<OracleSession, OracleStatement> {
  using Error = ExportError;
  static constexpr const char* kOutOfMemory = "Out of memory";

  using DriverState::DriverState;

  // The read-only transaction and the session formats.
  void startSession();
  RunOutcome transferSection(SectionState& section);
  // Frees every column's buffers.
  void endSection();
  // The failure handler: the message, the row that was being stored and the field.
  void reportFailure(const SectionState& section, const std::string& message);

  OracleStatement select{&session};         // select statement of the section
  int32_t lineCount = -1;                   // rows stored in the section; -1 outside the row loop
  int32_t processed = 0;                    // rows fetched before the current block
  int32_t currentField = -1;                // field line being stored; -1 outside
  ExportColumn columns[kMaxExportColumns];  // beside the section's field lines
};

// Transfers one section (export_section.cc).  Returns SetupError, having said why,
// when the section's set-up failed and nothing moved; raises ExportError or an
// OracleErrorCode (int) for every other failure.  The section's data file is closed
// and its engine context released on every path, also when it raises.
RunOutcome exportSection(ExportRun& run, SectionState& section);
