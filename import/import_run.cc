// The steps of the import run.  Everything raised below (ImportError texts from the
// driver, int codes from the session layer) comes to the frame's one failure
// handler, which hands it to reportFailure here.
#include "import/import_run.h"

#include <string>

#include "front/console.h"
#include "front/driver_run.h"
#include "front/dump.h"
#include "xbase/file/file_name.h"

void ImportRun::startSession() { setSessionFormats(territory, dateFormat); }

RunOutcome ImportRun::transferSection(SectionState& section) {
  return importSection(*this, section);
}

void ImportRun::endSection() {
  for (ImportColumn& column : columns) column.reset();
}

void ImportRun::reportFailure(const SectionState& section, const std::string& message) {
  messageError(message + "\n");
  if (lineNumber < 0) return;
  auto valueOf = [this](int field, int slot) -> std::string_view {
    return columns[field].text(slot);
  };
  if (refusedSlot >= 0) {
    // The row the server refused, by its record in the dbf file.
    dumpRow(lineNumber, refusedSlot, section.fields, valueOf,
            formatText("Refused record %i of dbf-file '%s'\n", static_cast<int>(refusedRecord),
                       fileSystemName(section.dbfPath).c_str()));
    return;
  }
  dumpRow(lineNumber, rowInBlock, section.fields, valueOf);
}

int importRun() { return runDriver<ImportRun>(); }
