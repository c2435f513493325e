// The steps of indrift in the drivers' frame (front/driver_run.h): one session for
// the whole run, every selected section with field lines handed to importSection,
// and what to show when a transfer fails.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "front/config_reader.h"
#include "front/driver_run.h"
#include "front/run_outcome.h"
#include "import/import_column.h"
#include "import/import_error.h"
#include "oracle/oracle_session.h"

// One per field line a section may hold.
constexpr int kMaxImportColumns = static_cast<int>(kMaxFields);

// Run-wide state of the driver, alive for the whole run; it owns the statements and
// the column buffers, which it releases when it ends.  importSection keeps the
// counters current so that the failure handler can tell where a failure came from
// and which row slot to show.
struct ImportRun : DriverState<OracleSession, OracleStatement> {
  using Error = ImportError;
  static constexpr const char* kOutOfMemory = "Out of memory.";

  using DriverState::DriverState;

  // The session formats.
  void startSession();
  RunOutcome transferSection(SectionState& section);
  // Frees every pair's buffers.
  void endSection();
  // The failure handler: the message and, for a failure inside the record loop,
  // the row slot that was being gathered.
  void reportFailure(const SectionState& section, const std::string& message);

  OracleStatement commit{&session};        // COMMIT
  OracleStatement insert{&session};        // the array INSERT of the section
  OracleStatement truncate{&session};      // TRUNCATE TABLE
  OracleStatement deallocate{&session};    // ALTER TABLE ... DEALLOCATE UNUSED
  int32_t lineNumber = -1;                 // records read in the loop; -1 outside it
  int32_t rowInBlock = 0;                  // rows gathered in the current block
  bool pendingRows = false;                // the block holds rows not yet inserted
  std::vector<int32_t> slotRecords;        // dbf record number of each row slot
  int32_t refusedSlot = -1;                // row slot the server refused; -1 none
  int32_t refusedRecord = -1;              // its dbf record number
  ImportColumn columns[kMaxImportColumns]; // beside the section's field lines
};

// The whole work of indrift after start-up; returns the exit code: 0 on success, 1
// for a configuration or field set-up error (and for a configuration file that
// cannot be opened), 2 for a failure during a transfer.
int importRun();

// Transfers one section (import_section.cc).  Returns SetupError, having said why,
// when a field pair could not be set up and nothing moved; raises ImportError or an
// OracleErrorCode (int) for every other failure.  The section's data file is closed
// and its engine context released on every path, also when it raises.
RunOutcome importSection(ImportRun& run, SectionState& section);
