// The import run: connect once, set the session up, transfer the sections, and
// end with a summary.  Everything raised below (ImportError texts from the driver,
// int codes from the session layer) comes to the one failure handler here.
#include "import/import_run.h"

#include <cstdio>
#include <string>

#include "front/config_reader.h"
#include "front/console.h"
#include "front/driver_run.h"
#include "front/dump.h"
#include "front/run_settings.h"
#include "import/import_error.h"
#include "oracle/oracle_session.h"

namespace {

// Back to the start of a section: tableName and dbfPath from the command line, no
// name, no field lines, every pair's buffers freed.  The truncate flag carries over.
void resetImportSection(ImportRun& run) {
  resetSection();
  for (ImportColumn& column : run.columns) column.reset();
}

// The failure handler: the message and, for a failure inside the record loop, the
// row slot that was being gathered.
void reportFailure(ImportRun& run, const SectionState& section, const std::string& message) {
  runSettings.exitCode = 2;
  messageError(message + "\n");
  if (run.lineNumber < 0) return;
  auto valueOf = [&run](int field, int slot) -> std::string_view {
    return run.columns[field].text(slot);
  };
  if (run.refusedSlot >= 0) {
    // The row the server refused, by its record in the dbf file.
    std::string path = section.dbfPath;
    for (char& c : path)
      if (c == '\\') c = '/';
    dumpRow(run.lineNumber, run.refusedSlot, section.fields, valueOf,
            formatText("Refused record %i of dbf-file '%s'\n", static_cast<int>(run.refusedRecord),
                       path.c_str()));
    return;
  }
  dumpRow(run.lineNumber, run.rowInBlock, section.fields, valueOf);
}

}  // namespace

void importRun() {
  ImportRun run;
  std::snprintf(run.runDate, sizeof run.runDate, "%s", currentDateText().c_str());

  OracleSession session;
  OracleStatement dateFormat(&session);
  OracleStatement territory(&session);
  OracleStatement commit(&session);
  OracleStatement insert(&session);
  OracleStatement truncate(&session);
  OracleStatement describe(&session);
  OracleStatement deallocate(&session);
  run.session = &session;
  run.dateFormat = &dateFormat;
  run.territory = &territory;
  run.commit = &commit;
  run.insert = &insert;
  run.truncate = &truncate;
  run.describe = &describe;
  run.deallocate = &deallocate;

  // openConfig has printed "File '%s' not found." and set exit code 1: nothing is
  // connected and no summary follows.
  std::FILE* config = openConfig();
  if (config != nullptr) {
    SectionState& section = sectionState;
    runGuarded<ImportError>(
        session, "Out of memory.",
        [&] {
          connectSession(session);
          setSessionFormats(territory, dateFormat);
          transferSections(
              config, section, [&run](SectionState& s) { importSection(run, s); },
              [&run] { resetImportSection(run); });
        },
        [&](const std::string& message) { reportFailure(run, section, message); });
    run.lineNumber = -1;
    resetImportSection(run);

    closeConfig(config);
    printRunSummary(run.sectionsTransferred);
  }

  dateFormat.release();
  territory.release();
  commit.release();
  insert.release();
  truncate.release();
  describe.release();
  deallocate.release();
  // Logging off commits what is still open; a failure there is the run's failure.
  closeSession(session);
}
