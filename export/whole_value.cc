#include "export/whole_value.h"

#include <cstring>

#include "export/export_column.h"
#include "export/export_error.h"
#include "xbase/data/data.h"

namespace {

// Room offered for each piece beyond what the value already holds.
constexpr size_t kPieceRoom = 64 * 1024;

}  // namespace

void WholeValue::reset() {
  active = false;
  declaredSize = 0;
  std::vector<char>().swap(bytes);
  std::vector<Row>().swap(rows);
  end = 0;
  current = -1;
  piece = 0;
}

void WholeValue::clear(int32_t rowCount) {
  if (!active) return;
  rows.assign(rowCount > 0 ? static_cast<size_t>(rowCount) : 0, Row{});
  end = 0;
  current = -1;
  piece = 0;
}

void WholeValue::finish() {
  if (!active) return;
  if (current >= 0) {
    rows[static_cast<size_t>(current)].length += piece;
    end += piece;
  }
  piece = 0;
  for (Row &row : rows)
    if (row.indicator == -1) row.length = 0;
}

std::string_view WholeValue::view(int32_t row) const {
  if (row < 0 || static_cast<size_t>(row) >= rows.size()) return {};
  const Row &r = rows[static_cast<size_t>(row)];
  return {bytes.data() + r.start, r.length};
}

int32_t wholeFetchRows(const ExportColumn *columns, int count, int32_t blockSize) {
  size_t rowBytes = 0;
  for (int j = 0; j < count; ++j) {
    const WholeValue &whole = columns[j].whole;
    if (!whole.active) continue;
    if (whole.declaredSize == 0) return 1;
    rowBytes += whole.declaredSize;
  }
  if (rowBytes == 0) return blockSize;
  const size_t fit = kWholeBlockBytes / rowBytes;
  if (fit < 1) return 1;
  return fit < static_cast<size_t>(blockSize) ? static_cast<int32_t>(fit) : blockSize;
}

sb4 wholeValuePiece(void *context, OCIDefine *, ub4 iteration, void **buffer, ub4 **length,
                    ub1 *piece, void **indicator, ub2 **returnCode) {
  auto *whole = static_cast<WholeValue *>(context);
  if (iteration >= whole->rows.size()) return OCI_ERROR;
  // The piece given out last time is filled now: its length counts, for the
  // row it was given to.
  if (whole->current >= 0) {
    whole->rows[static_cast<size_t>(whole->current)].length += whole->piece;
    whole->end += whole->piece;
  }
  whole->piece = 0;
  WholeValue::Row &row = whole->rows[iteration];
  if (*piece == OCI_FIRST_PIECE || whole->current != static_cast<int32_t>(iteration)) {
    // A row's value starts afresh after whatever the block holds so far.
    row.start = whole->end;
    row.length = 0;
    whole->current = static_cast<int32_t>(iteration);
  }
  if (whole->bytes.size() < whole->end + kPieceRoom) {
    size_t grown = whole->bytes.size() * 2;
    if (grown < whole->end + kPieceRoom) grown = whole->end + kPieceRoom;
    whole->bytes.resize(grown);
  }
  size_t room = whole->bytes.size() - whole->end;
  if (room > 0x7FFFFFFF) room = 0x7FFFFFFF;
  whole->piece = static_cast<ub4>(room);
  *buffer = whole->bytes.data() + whole->end;
  *length = &whole->piece;
  *indicator = &row.indicator;
  *returnCode = nullptr;
  return OCI_CONTINUE;
}

bool isLongTextType(uint16_t type) { return type == SQLT_LNG || type == SQLT_CLOB; }

void configureLongText(ExportColumn &column, const char *upperName, uint16_t type,
                       int32_t fieldLength) {
  column.selectExpr = upperName;
  column.elementSize = (fieldLength > 0 ? fieldLength : 0) + 2;
  column.defineType = 0;
  column.oraType = type;
}

bool valueWasCut(const ExportColumn &column, int32_t row) {
  if (column.whole.active || column.indicatorArray == nullptr || row < 0 ||
      row >= column.slotCount)
    return false;
  const int16_t indicator = column.indicatorArray[row];
  return indicator > 0 || indicator == -2;
}

void storeWholeMemo(DataFile *data, ExportColumn &column, int32_t row) {
  FieldInfo *field = dataField(data, column.dbfFieldNumber);
  if (field == nullptr || fieldLength(field) == 0) throw ExportError("Can't set data to dbf-field");
  const std::string_view value = column.whole.view(row);
  // The memo file ends a text at its first 0x1A: such a value could not be
  // read back whole, so it is refused rather than cut there.
  if (value.find('\x1A') != std::string_view::npos)
    throw ExportError("Value holds byte 0x1A, which ends a memo; it can't be stored whole");
  if (value.size() > 0x7FFFFFFF) throw ExportError("Data was truncated");
  if (memoAssign(field, value.data(), static_cast<int32_t>(value.size())) < 0)
    throw ExportError("Can't set data to dbf-field");
}
