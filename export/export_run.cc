// The export run: connect once, set the session up, transfer the sections, and
// end with a summary.  Everything raised below (ExportError texts from the driver,
// int codes from the session layer) comes to the one failure handler here.
#include "export/export_run.h"

#include <cstdio>
#include <ctime>
#include <string>

#include "export/export_error.h"
#include "front/config_reader.h"
#include "front/console.h"
#include "front/driver_run.h"
#include "front/dump.h"
#include "front/run_settings.h"
#include "oracle/oracle_session.h"

namespace {

// Back to the start of a section: tableName and dbfPath from the command line, no
// name, no field lines, every column's buffers freed.  The truncate flag and the
// WHERE and ORDER BY texts carry over.
void resetExportSection(ExportRun& run) {
  resetSection();
  for (ExportColumn& column : run.columns) column.reset();
}

// The failure handler: the message, the row that was being stored and the field.
void reportFailure(ExportRun& run, const SectionState& section, const std::string& message) {
  runSettings.exitCode = 2;
  messageError(message + "\n");
  const int row = run.lineCount - run.processed;
  auto valueOf = [&run](int field, int slot) -> std::string_view {
    return run.columns[field].text(slot);
  };
  if (run.lineCount >= 0) dumpRow(run.lineCount, row, section.fields, valueOf);
  if (run.currentField >= 0 && run.currentField < section.fieldCount()) {
    const FieldMapping& mapping = section.fields[run.currentField];
    std::string line = "Error in oracle field '" + mapping.oracleName + "', dbf-field '" +
                       mapping.dbfName + "' : ";
    line += run.columns[run.currentField].text(row);
    line += "\n";
    messageError(line);
  }
}

}  // namespace

void exportRun() {
  ExportRun run;
  std::snprintf(run.runDate, sizeof run.runDate, "%s", currentDateText().c_str());

  FILE* config = openConfig();
  if (config == nullptr) {
    // Nothing connected, no summary; an unreadable configuration is a failure.
    runSettings.exitCode = 1;
    return;
  }

  OracleSession session;
  OracleStatement territory(&session);
  OracleStatement dateFormat(&session);
  OracleStatement describe(&session);
  OracleStatement select(&session);
  run.session = &session;
  run.territory = &territory;
  run.dateFormat = &dateFormat;
  run.describe = &describe;
  run.select = &select;

  SectionState& section = sectionState;
  runGuarded<ExportError>(
      session, "Out of memory",
      [&] {
        connectSession(session);
        session.startTransaction(OCI_TRANS_READONLY);
        setSessionFormats(territory, dateFormat);
        transferSections(
            config, section, [&run](SectionState& s) { exportSection(run, s); },
            [&run] { resetExportSection(run); });
      },
      [&](const std::string& message) { reportFailure(run, section, message); });
  resetExportSection(run);

  closeConfig(config);
  printRunSummary(run.sectionsTransferred);

  territory.release();
  dateFormat.release();
  describe.release();
  select.release();
  closeSession(session);
}
