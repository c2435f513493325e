#include "export/export_value_check.h"

#include <cstring>
#include <string>

#include "export/export_column.h"
#include "export/export_error.h"
#include "front/config_reader.h"
#include "front/console.h"
#include "xbase/data/data.h"
#include "xbase/file/conv.h"

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The number written by `count` digits from `text` (all digits, checked before).
int32_t digitsValue(const char* text, int count) {
  int32_t value = 0;
  for (int i = 0; i < count; ++i) value = value * 10 + (text[i] - '0');
  return value;
}

}  // namespace

bool isNumberText(std::string_view text) {
  size_t begin = 0, end = text.size();
  while (begin < end && text[begin] == ' ') ++begin;
  while (end > begin && text[end - 1] == ' ') --end;
  if (begin == end) return true;
  size_t i = begin;
  if (text[i] == '+' || text[i] == '-') ++i;
  size_t digits = 0;
  bool point = false;
  for (; i < end; ++i) {
    if (isDigit(text[i])) {
      ++digits;
    } else if (text[i] == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (digits == 0) return false;
  if (i < end && (text[i] == 'E' || text[i] == 'e')) {
    ++i;
    if (i < end && (text[i] == '+' || text[i] == '-')) ++i;
    size_t exponentDigits = 0;
    for (; i < end && isDigit(text[i]); ++i) ++exponentDigits;
    if (exponentDigits == 0) return false;
  }
  return i == end;
}

bool isDateText(std::string_view text) {
  if (text.find_first_not_of(' ') == std::string_view::npos) return true;
  if (text.size() != 8) return false;
  for (char c : text)
    if (!isDigit(c)) return false;
  // Eight digits: a date when its month and day exist in its year, the engine's
  // rule, read from the digits without a copy or a text-to-number call per part.
  const char* date = text.data();
  return dayOfYear(digitsValue(date, 4), digitsValue(date + 4, 2), digitsValue(date + 6, 2)) > 0;
}

bool holdsZeroByte(const ExportColumn& column, int32_t row) {
  // A value fetched whole comes with its exact length.
  if (column.whole.active) return column.whole.view(row).find('\0') != std::string_view::npos;
  if (column.lengthArray == nullptr || column.indicatorArray == nullptr) return false;
  if (row < 0 || row >= column.slotCount || column.indicatorArray[row] == -1) return false;
  // The slot's last byte is kept for the terminator that markFetched writes.
  int64_t length = column.lengthArray[row];
  if (length > column.elementSize - 1) length = column.elementSize - 1;
  const char* value = column.slot(row);
  const void* zero = std::memchr(value, 0, static_cast<size_t>(length));
  if (zero == nullptr) return false;
  const int64_t at = static_cast<const char*>(zero) - value;
  // Raw bytes come with their exact length; a text may count its terminator.
  return column.defineType != 0 ? at < length : at < length - 1;
}

void refuseUnstorableValue(DataFile* data, const ExportColumn& column, int32_t row,
                           const FieldMapping& mapping, int32_t line) {
  const char* oracleName = mapping.oracleName.c_str();
  if (holdsZeroByte(column, row))
    throw ExportError(formatText("Oracle field '%s' in line %d holds a zero byte inside its value.",
                                 oracleName, line));
  if (column.dbfType != 'N' && column.dbfType != 'D') return;
  FieldInfo* field = dataField(data, column.dbfFieldNumber);
  const std::string_view text = column.text(row);
  // Too long for the field: convertValue says so.
  if (field == nullptr || text.size() > static_cast<size_t>(fieldLength(field))) return;
  if (column.dbfType == 'N' && !isNumberText(text))
    throw ExportError(formatText("Oracle field '%s' in line %d is not a number for dbf-field '%s'.",
                                 oracleName, line, mapping.dbfName.c_str()));
  if (column.dbfType == 'D' && !isDateText(text))
    throw ExportError(formatText(
        "Oracle field '%s' in line %d is not a date YYYYMMDD for dbf-field '%s'.", oracleName,
        line, mapping.dbfName.c_str()));
}
