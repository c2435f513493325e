// The export's per-column state and the conversion of one fetched value into its
// dbf field.
//
// Every value travels as text.  The select list asks the server for the column's
// text (TO_CHAR around numbers and dates, under the session's territory and
// YYYYMMDD date format); each column is defined as an array of blockSize slots of
// elementSize bytes, so one fetch fills a whole block.  A value is the text in its
// slot up to the first zero byte.
//
// BUFFERS of one column (owned by the ExportColumn, zero-filled, freed by reset):
//
//   valueBuffer     blockSize x elementSize bytes; row k at k x elementSize
//   indicatorArray  blockSize signed 16-bit indicators (-1 null, >0 or -2 cut)
//   lengthArray     blockSize unsigned 16-bit returned lengths; raw and character
//                   columns
//
// Sizes are computed in 64 bits.  A block that does not fit in memory is refused
// with a message (allocateBuffers), never wrapped around.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "export/whole_value.h"

struct DataFile;

// What the export does with an Oracle column, by its data type code.
enum class ColumnKind { Character, Numeric, Date, Raw, Unsupported };

ColumnKind columnKindOf(uint16_t oraType);

struct ExportColumn {
  char dbfType = 0;                  // fieldType of the matched dbf field (F reads as N)
  std::string selectExpr;            // the select-list item for this column
  uint16_t oraType = 0;              // Oracle data type code as described
  int32_t elementSize = 0;           // bytes per row slot
  char* valueBuffer = nullptr;
  int32_t dbfFieldNumber = -1;       // 1-based number of the matched dbf field
  uint16_t* lengthArray = nullptr;   // raw and character columns
  int16_t* indicatorArray = nullptr;
  uint16_t defineType = 0;           // 0: NUL-terminated text; raw: the type code
  int32_t slotCount = 0;             // row slots allocated (the block size)
  WholeValue whole;                  // a value fetched whole (whole_value.h)

  ExportColumn() = default;
  ExportColumn(const ExportColumn&) = delete;
  ExportColumn& operator=(const ExportColumn&) = delete;
  ~ExportColumn() { reset(); }

  // Frees the three buffers and returns every member to its start value.
  void reset();

  // Sets selectExpr, elementSize, defineType and whether a lengthArray is needed,
  // from the described type and size.  upperName is the column name, upper case.
  // Returns false for a type the export does not support (nothing else changes).
  bool configure(const char* upperName, uint16_t type, uint16_t size);

  // Allocates the indicator array, the length array of a raw or character column
  // and the value buffer for blockSize rows.  On failure returns false and writes a message for
  // the user into `error`; what was allocated stays owned and is freed by reset.
  // `budget` is the bytes still allowed for the section's buffers; it is lowered by
  // what this column takes.
  bool allocateBuffers(int32_t blockSize, uint64_t& budget, const char* oracleName,
                       std::string& error);

  // Text of row slot k (NUL-terminated within its slot once marked).
  char* slot(int32_t k) const { return valueBuffer + static_cast<size_t>(k) * elementSize; }

  // The text of slot k up to its first zero byte (never past the slot); empty when
  // k is not a slot of the buffer.
  std::string_view text(int32_t k) const;

  // Empties the first `rows` slots before a fetch, so a slot that the fetch leaves
  // alone reads as empty.
  void clearSlots(int32_t rows);

  // After a fetch: makes the first `rows` slots proper texts.  Nulls become empty,
  // values the server had to cut end one byte before the slot's end, raw values end
  // at their returned length (character values keep theirs for the checks of
  // export_value_check.h).
  void markFetched(int32_t rows);
};

// Text stored for a logical field: "F" for 0, F, FALSE, N and NO (any case), "T"
// for any other non-empty text, "" for an empty one.
const char* logicalText(const char* value);

// Stores the value of row slot `row` of `column` into its dbf field of the record
// being prepared in `data` (already blanked).  C, D, N and L values are copied
// left-aligned into the field; an M value becomes the field's memo text.  Raises
// (throws ExportError) "Can't set data to dbf-field", "Data was truncated" or
// "Unknown type '%c', process aborted"; the last also sets the exit code to 1
// before raising.
void convertValue(DataFile* data, ExportColumn& column, int32_t row);
