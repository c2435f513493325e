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
  std::vector<char>().swap(bytes);
  length = 0;
  piece = 0;
  indicator = -1;
}

void WholeValue::clear() {
  length = 0;
  piece = 0;
  indicator = -1;
}

void WholeValue::finish() {
  length += piece;
  piece = 0;
  if (indicator == -1) length = 0;
}

std::string_view WholeValue::view() const { return {bytes.data(), length}; }

sb4 wholeValuePiece(void *context, OCIDefine *, ub4, void **buffer, ub4 **length, ub1 *piece,
                    void **indicator, ub2 **returnCode) {
  auto *whole = static_cast<WholeValue *>(context);
  // The piece given out last time is filled now: its length counts.
  if (*piece == OCI_FIRST_PIECE)
    whole->length = 0;
  else
    whole->length += whole->piece;
  if (whole->bytes.size() < whole->length + kPieceRoom) {
    size_t grown = whole->bytes.size() * 2;
    if (grown < whole->length + kPieceRoom) grown = whole->length + kPieceRoom;
    whole->bytes.resize(grown);
  }
  size_t room = whole->bytes.size() - whole->length;
  if (room > 0x7FFFFFFF) room = 0x7FFFFFFF;
  whole->piece = static_cast<ub4>(room);
  *buffer = whole->bytes.data() + whole->length;
  *length = &whole->piece;
  *indicator = &whole->indicator;
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

void storeWholeMemo(DataFile *data, ExportColumn &column) {
  FieldInfo *field = dataField(data, column.dbfFieldNumber);
  if (field == nullptr || fieldLength(field) == 0) throw ExportError("Can't set data to dbf-field");
  const std::string_view value = column.whole.view();
  // The memo file ends a text at its first 0x1A: such a value could not be
  // read back whole, so it is refused rather than cut there.
  if (value.find('\x1A') != std::string_view::npos)
    throw ExportError("Value holds byte 0x1A, which ends a memo; it can't be stored whole");
  if (value.size() > 0x7FFFFFFF) throw ExportError("Data was truncated");
  if (memoAssign(field, value.data(), static_cast<int32_t>(value.size())) < 0)
    throw ExportError("Can't set data to dbf-field");
}
