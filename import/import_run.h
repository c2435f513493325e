// The run of indrift: one session for the whole run, the configuration file read
// section by section, every selected section with field lines handed to
// importSection, and one failure handler for everything raised on the way.
#pragma once

#include <cstdint>
#include <vector>

#include "front/config_reader.h"
#include "import/import_column.h"

class OracleSession;
class OracleStatement;
struct SectionState;

// One per field line a section may hold.
constexpr int kMaxImportColumns = static_cast<int>(kMaxFields);

// Run-wide state of the driver, alive for the whole run.  importSection keeps the
// counters current so that the failure handler can tell where a failure came from
// and which row slot to show.
struct ImportRun {
  OracleSession* session = nullptr;
  OracleStatement* dateFormat = nullptr;   // ALTER SESSION SET NLS_DATE_FORMAT
  OracleStatement* territory = nullptr;    // ALTER SESSION SET NLS_TERRITORY
  OracleStatement* commit = nullptr;       // COMMIT
  OracleStatement* insert = nullptr;       // the array INSERT of the section
  OracleStatement* truncate = nullptr;     // TRUNCATE TABLE
  OracleStatement* describe = nullptr;     // SELECT of the mapped columns, described
  OracleStatement* deallocate = nullptr;   // ALTER TABLE ... DEALLOCATE UNUSED
  char runDate[16] = "";                   // MM/DD/YY, taken when the run starts
  bool sectionOk = true;                   // false once a pair failed its set-up
  int32_t lineNumber = -1;                 // records read in the loop; -1 outside it
  int32_t rowInBlock = 0;                  // rows gathered in the current block
  bool pendingRows = false;                // the block holds rows not yet inserted
  int32_t sectionsTransferred = 0;         // sections finished while exitCode was 0
  std::vector<int32_t> slotRecords;        // dbf record number of each row slot
  int32_t refusedSlot = -1;                // row slot the server refused; -1 none
  int32_t refusedRecord = -1;              // its dbf record number
  ImportColumn columns[kMaxImportColumns]; // beside the section's field lines
};

// The whole work of indrift after start-up.  Sets runSettings.exitCode: 0 on
// success, 1 for a configuration or field set-up error (and for a configuration
// file that cannot be opened), 2 for a failure during a transfer.
void importRun();

// Transfers one section (import_section.cc).  Returns normally, with exitCode 1
// when a field pair could not be set up; raises ImportError or an OracleErrorCode
// (int) for every other failure.  The section's data file is closed and its engine
// context released on every path, also when it raises.
void importSection(ImportRun& run, SectionState& section);
