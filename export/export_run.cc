// The steps of the export run.  Everything raised below (ExportError texts from the
// driver, int codes from the session layer) comes to the frame's one failure
// handler, which hands it to reportFailure here.
#include "export/export_run.h"

#include <string>

#include "front/console.h"
#include "front/driver_run.h"
#include "front/dump.h"

void ExportRun::startSession() {
  session.startTransaction(OCI_TRANS_READONLY);
  setSessionFormats(territory, dateFormat);
}

RunOutcome ExportRun::transferSection(SectionState& section) {
  return exportSection(*this, section);
}

void ExportRun::endSection() {
  for (ExportColumn& column : columns) column.reset();
}

void ExportRun::reportFailure(const SectionState& section, const std::string& message) {
  messageError(message + "\n");
  const int row = lineCount - processed;
  auto valueOf = [this](int field, int slot) -> std::string_view {
    return columns[field].text(slot);
  };
  if (lineCount >= 0) dumpRow(lineCount, row, section.fields, valueOf);
  if (currentField >= 0 && currentField < section.fieldCount()) {
    const FieldMapping& mapping = section.fields[currentField];
    std::string line = "Error in oracle field '" + mapping.oracleName + "', dbf-field '" +
                       mapping.dbfName + "' : ";
    line += columns[currentField].text(row);
    line += "\n";
    messageError(line);
  }
}
