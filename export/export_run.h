// The run of exdrift: one session for the whole run, the configuration file read
// section by section, every selected section with field lines handed to
// exportSection, and one failure handler for everything raised on the way.
#pragma once

#include <cstdint>
#include <memory>

#include "export/export_column.h"
#include "front/config_reader.h"

class OracleSession;
class OracleStatement;
struct SectionState;

// One per field line a section may hold.
constexpr int kMaxExportColumns = static_cast<int>(kMaxFields);

// Run-wide state of the driver, alive for the whole run.  exportSection keeps the
// counters current so that the failure handler can tell where a failure came from.
struct ExportRun {
  OracleSession* session = nullptr;
  OracleStatement* territory = nullptr;     // ALTER SESSION SET NLS_TERRITORY
  OracleStatement* dateFormat = nullptr;    // ALTER SESSION SET NLS_DATE_FORMAT
  OracleStatement* describe = nullptr;      // describe statement of the section
  OracleStatement* select = nullptr;        // select statement of the section
  char runDate[16] = "";                    // MM/DD/YY, taken when the run starts
  int32_t sectionsTransferred = 0;          // sections finished while exitCode was 0
  int32_t lineCount = -1;                   // rows stored in the section; -1 outside the row loop
  int32_t processed = 0;                    // rows fetched before the current block
  int32_t currentField = -1;                // field line being stored; -1 outside
  ExportColumn columns[kMaxExportColumns];  // beside the section's field lines
};

// The whole work of exdrift after start-up.  Sets runSettings.exitCode: 0 on
// success, 1 for a configuration or field set-up error (and for a configuration
// file that cannot be opened), 2 for a failure during a transfer.
void exportRun();

// Transfers one section (export_section.cc).  Returns normally, with exitCode 1
// when the section's set-up failed; raises ExportError or an OracleErrorCode (int)
// for every other failure.  The section's data file is closed and its engine
// context released on every path, also when it raises.
void exportSection(ExportRun& run, SectionState& section);
