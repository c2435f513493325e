// The data dump written after a failure inside a driver's row loop.
#ifndef DRIFT_FRONT_DUMP_H
#define DRIFT_FRONT_DUMP_H

#include <functional>
#include <string_view>
#include <vector>

#include "front/config_reader.h"

// The text held for field `field` (index into the section's fields) in row
// slot `slot` of the current block.
using FieldValueText = std::function<std::string_view(int field, int slot)>;

// rowIndex: 0-based number of the failing row within the section, counted
// over all blocks (the export's lineCount, the import's lineNumber); it is
// shown 1-based.  slot: the failing row's position in the current block.
//
// Writes "Break proccess in line %i\n" (export) or "Break proccess in block
// at line %i\n" (import) as an error; the import stops there when slot is
// not below the block size.  Then "Data dump:\n" as an error, and for every
// field line "Oracle field '%s', \tdbf-field '%s' \t: %s\n" plainly, with
// the value from valueOf(field, slot).
// `note`, when not empty, follows the "Break proccess" line plainly (the
// import names the dbf record of a row the server refused there).
void dumpRow(int rowIndex, int slot, const std::vector<FieldMapping>& fields,
             const FieldValueText& valueOf, std::string_view note = {});

#endif
