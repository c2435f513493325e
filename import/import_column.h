// The import's per-pair state and the conversion of one dbf value into a row slot
// of the array INSERT.
//
// Every value travels as text: numbers and dates go as the dbf file stores them
// and the server reads them under the session's territory and YYYYMMDD date
// format.  Each pair has one value buffer of blockSize slots, bound once per
// section, so one INSERT execution carries a whole block.
//
// BUFFERS of one pair (owned by the ImportColumn, zero-filled, freed by reset):
//
//   values    blockSize x slotSize bytes; row k at k x slotSize, a NUL-terminated
//             text (RAW binds read lengths[k] bytes instead)
//   lengths   blockSize unsigned 16-bit lengths; binds of type 15 and 23 only
//
// Sizes are computed in 64 bits against a budget for the whole section; a block
// that cannot be served is refused with a message, never wrapped around.
//
// Where the values come from, by kind:
//   'C' 'D' 'N'  the field's bytes in the record, trailing blanks removed
//   'L'          "1" for T, t, Y, y (the format's true values), "0" otherwise
//   'M'          the memo text from the memo file; the slot is sized from the
//                target column, so it is allocated only after the describe
//   'F'          %FILE_NAME: the dbf file's name without its directory
//   'R'          %RECNUM: the record's number in the file
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "import/memo_block.h"

struct DataFile;
struct FieldMapping;

constexpr int32_t kNumberSlotSize = 64;   // 'N' and %RECNUM
constexpr int32_t kDateSlotSize = 20;
constexpr int32_t kLogicalSlotSize = 4;

struct ImportColumn {
  char kind = 0;                   // 'C' 'M' 'D' 'L' 'N' 'F' 'R'; 0 before set-up
  int32_t slotSize = 0;            // bytes per row slot, terminator included
  int32_t dbfLength = 0;           // length of the dbf field
  char* values = nullptr;
  int32_t dbfFieldNumber = -1;     // 1-based; -1 for the pseudo-fields
  uint16_t oracleType = 0xFFFF;    // described type of the target column
  uint16_t oracleSize = 0;         // described size of the target column
  uint16_t bindType = 0;           // 5 (text), 15 or 23
  uint16_t* lengths = nullptr;     // bind types 15 and 23 only
  int32_t slotCount = 0;           // slots allocated (the block size)
  bool zeroInside = false;         // the last fill met a zero byte before data
  MemoBlock memo;                  // a memo bound whole (memo_block.h)

  ImportColumn() = default;
  ImportColumn(const ImportColumn&) = delete;
  ImportColumn& operator=(const ImportColumn&) = delete;
  ~ImportColumn() { reset(); }

  // Frees values and lengths and returns every member to its start value.
  void reset();

  // Sets up the pair from the data file's field table (%FILE_NAME takes the base
  // name of dbfPath).  A missing field or an unsupported type writes its
  // message ("Field '%s' not found\n", "Uncknown type '%c'\n") and returns false:
  // a set-up error of the section.  Allocates the value buffer for every kind but 'M'
  // (see allocateMemo); an allocation beyond the budget raises ImportError.
  bool setUp(const FieldMapping& mapping, DataFile* data, const std::string& dbfPath,
             int32_t blockSize, uint64_t& budget);

  // After the describe: keeps the column's type and size, chooses the bind type,
  // allocates the length array of a RAW bind and the value buffer of a memo
  // (column size + 1 bytes a slot).  Raises ImportError when the block does not fit
  // in the budget.
  void setColumn(uint16_t type, uint16_t size, int32_t blockSize, uint64_t& budget,
                 const FieldMapping& mapping);

  // Fills slot `row` from the current record of `data`.  Returns false when a memo
  // does not fit its slot, or when a value holds a zero byte with data after it
  // (zeroInside is then set): the slot then holds the text up to where it had to
  // stop, and the caller raises the failure.
  bool fill(DataFile* data, int32_t row);

  // fill for a memo bound whole (memo_block.h).
  bool fillWholeMemo(DataFile* data, int32_t row);

  char* slot(int32_t row) const {
    return values + static_cast<std::size_t>(row) * static_cast<std::size_t>(slotSize);
  }

  // The text of slot `row` up to its first zero byte, never past the slot; empty
  // when the slot does not exist.
  std::string_view text(int32_t row) const;
};
