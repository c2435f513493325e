#include "front/dump.h"

#include <string>

#include "front/console.h"
#include "front/run_settings.h"

void dumpRow(int rowIndex, int slot, const std::vector<FieldMapping>& fields,
             const FieldValueText& valueOf, std::string_view note) {
  const int shown = rowIndex + 1;
  if (isExport()) {
    messageError(formatText("Break proccess in line %i\n", shown));
  } else {
    messageError(formatText("Break proccess in block at line %i\n", shown));
    if (!note.empty()) messagePlain(note);
    // After the record loop the slot is set to the block size: no row is
    // being stored then, so there is nothing to show.
    if (slot >= runSettings.blockSize) return;
  }
  messageError("Data dump:\n");
  for (int i = 0; i < static_cast<int>(fields.size()); ++i) {
    const std::string value(valueOf(i, slot));
    messagePlain(formatText("Oracle field '%s', \tdbf-field '%s' \t: %s\n",
                            fields[i].oracleName.c_str(), fields[i].dbfName.c_str(),
                            value.c_str()));
  }
}
