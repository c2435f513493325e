// Values that move whole, however long: CLOB, NCLOB and LONG columns, and any
// text column mapped to a memo field.
//
// Such a column is defined for a dynamic fetch (OracleStatement::defineWhole):
// OCI hands the value to wholeValuePiece piece by piece, and the pieces are
// gathered in WholeValue::bytes, one row after the other, which grows to the
// longest block of the section and is reused for every block.
//
// CLOB and LONG values have no bound: a section with such a column fetches one
// row per call, so that it holds one value at a time, whatever the block size.
// A text column has a declared size, and is fetched in blocks of as many rows
// as fit kWholeBlockBytes by that size (wholeFetchRows), so that a memo of
// short texts does not cost a fetch call a row.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "ocilite/oci.h"

struct DataFile;
struct ExportColumn;

// Bytes of whole text values a block of rows is sized for.
constexpr size_t kWholeBlockBytes = 16u << 20;

struct WholeValue {
  struct Row {
    size_t start = 0;       // where the row's value begins in `bytes`
    size_t length = 0;
    sb2 indicator = -1;     // OCI's indicator of the value (-1 NULL)
  };
  bool active = false;      // the column is fetched whole
  size_t declaredSize = 0;  // the column's declared size in bytes; 0: unbounded
  std::vector<char> bytes;  // the values of the block's rows, one after the other
  std::vector<Row> rows;    // one per row of the block
  size_t end = 0;           // bytes of `bytes` in use
  int32_t current = -1;     // the row the last piece went to
  ub4 piece = 0;            // room given for the piece OCI fills, then its length

  // Back to an inactive column, its buffers freed.
  void reset();
  // Before a fetch of up to `rowCount` rows: no value yet.
  void clear(int32_t rowCount);
  // After a fetch: takes in the last piece.
  void finish();
  // The value of row `row` of the block (empty for a NULL or a row not fetched).
  std::string_view view(int32_t row) const;
};

// Rows a fetch may ask for, given the block size, when `columns` of `count`
// are fetched whole: one with an unbounded column among them, else as many as
// fit kWholeBlockBytes by their declared sizes (at least one, at most the block).
int32_t wholeFetchRows(const ExportColumn *columns, int count, int32_t blockSize);

// OCI's define callback: hands out room after the bytes gathered so far, for
// the row OCI names (rows arrive in order, each value's pieces one after the other).
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
void storeWholeMemo(DataFile *data, ExportColumn &column, int32_t row);
