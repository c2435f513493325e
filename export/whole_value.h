// Values that move whole, however long: CLOB, NCLOB and LONG columns, and any
// text column mapped to a memo field.
//
// Such a column is defined for a dynamic fetch (OracleStatement::defineWhole):
// OCI hands the value to wholeValuePiece piece by piece, and the pieces are
// gathered in WholeValue::bytes, which grows to the longest value of the
// section and is reused for every row.  A section with such a column fetches
// one row per call, so that it holds one value at a time, whatever the block
// size: memory stays bounded by the longest value, not by block x length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "ocilite/oci.h"

struct DataFile;
struct ExportColumn;

struct WholeValue {
  bool active = false;      // the column is fetched whole
  std::vector<char> bytes;  // the value of the current row, in its first `length` bytes
  size_t length = 0;
  ub4 piece = 0;            // room given for the piece OCI fills, then its length
  sb2 indicator = -1;       // OCI's indicator of the value (-1 NULL)

  // Back to an inactive column, its buffer freed.
  void reset();
  // Before a fetch: no value yet.
  void clear();
  // After a fetch: takes in the last piece.
  void finish();
  std::string_view view() const;
};

// OCI's define callback: hands out room after the bytes gathered so far.
sb4 wholeValuePiece(void *context, OCIDefine *define, ub4 iteration, void **buffer, ub4 **length,
                    ub1 *piece, void **indicator, ub2 **returnCode);

// Column types whose values the export takes as text of any length: LONG (8)
// and CLOB/NCLOB (112).
bool isLongTextType(uint16_t type);

// Sets a LONG or CLOB column up for a C, D, N or L field: selected as it is,
// defined as text with room for the field's width and one byte more, so that a
// longer value arrives cut and is reported as truncated.
void configureLongText(ExportColumn &column, const char *upperName, uint16_t type,
                       int32_t fieldLength);

// Whether row `row` of the column arrived cut to its slot (indicator above 0,
// or -2 for a length beyond 32767).
bool valueWasCut(const ExportColumn &column, int32_t row);

// Stores the column's whole value as the memo text of its M field of the record
// being prepared.  Raises ExportError as convertValue does for memos.
void storeWholeMemo(DataFile *data, ExportColumn &column);
