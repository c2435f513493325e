#include "export/export_column.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "export/export_error.h"
#include "front/console.h"
#include "front/run_settings.h"
#include "xbase/data/data.h"

ColumnKind columnKindOf(uint16_t oraType) {
  switch (oraType) {
    case 1: case 9: case 96:
      return ColumnKind::Character;
    case 2: case 3: case 4: case 7: case 21: case 22: case 245: case 246:
      return ColumnKind::Numeric;
    case 12:
      return ColumnKind::Date;
    case 15: case 23:
      return ColumnKind::Raw;
    default:
      return ColumnKind::Unsupported;
  }
}

void ExportColumn::reset() {
  std::free(valueBuffer);
  std::free(lengthArray);
  std::free(indicatorArray);
  dbfType = 0;
  selectExpr.clear();
  oraType = 0;
  elementSize = 0;
  valueBuffer = nullptr;
  dbfFieldNumber = -1;
  lengthArray = nullptr;
  indicatorArray = nullptr;
  defineType = 0;
  slotCount = 0;
  whole.reset();
}

bool ExportColumn::configure(const char* upperName, uint16_t type, uint16_t size) {
  switch (columnKindOf(type)) {
    case ColumnKind::Character:
      selectExpr = upperName;
      elementSize = static_cast<int32_t>(size) + 2;
      defineType = 0;
      break;
    case ColumnKind::Numeric:
      selectExpr = std::string("TO_CHAR(") + upperName + ")";
      elementSize = 64;
      defineType = 0;
      break;
    case ColumnKind::Date:
      selectExpr = std::string("TO_CHAR(") + upperName + ")";
      elementSize = 30;
      defineType = 0;
      break;
    case ColumnKind::Raw:
      selectExpr = upperName;
      elementSize = static_cast<int32_t>(size) + 2;
      defineType = type;
      break;
    case ColumnKind::Unsupported:
      return false;
  }
  oraType = type;
  return true;
}

namespace {

// Zero-filled block of `bytes` (at least one), or null when the system refuses it.
// calloc leaves the pages to the system until they are used.
void* allocateZeroed(uint64_t bytes) {
  return std::calloc(1, static_cast<size_t>(bytes > 0 ? bytes : 1));
}

}  // namespace

bool ExportColumn::allocateBuffers(int32_t blockSize, uint64_t& budget,
                                   const char* oracleName, std::string& error) {
  const uint64_t rowCount = blockSize > 0 ? static_cast<uint64_t>(blockSize) : 0;
  const uint64_t arrayBytes = rowCount * sizeof(int16_t);
  const uint64_t valueBytes = rowCount * static_cast<uint64_t>(elementSize > 0 ? elementSize : 0);
  // Raw columns end at their returned length; text columns (character, and LONG
  // or CLOB into a short field) have it too, so that a zero byte inside a value can
  // be told from the text's end.
  const ColumnKind kind = columnKindOf(oraType);
  const bool lengths = defineType != 0 || (kind != ColumnKind::Numeric && kind != ColumnKind::Date);
  const uint64_t total = valueBytes + arrayBytes * (lengths ? 2 : 1);

  bool ok = total <= budget && total <= SIZE_MAX;
  if (ok) {
    indicatorArray = static_cast<int16_t*>(allocateZeroed(arrayBytes));
    ok = indicatorArray != nullptr;
  }
  if (ok && lengths) {
    lengthArray = static_cast<uint16_t*>(allocateZeroed(arrayBytes));
    ok = lengthArray != nullptr;
  }
  if (ok && valueBytes > 0) {
    valueBuffer = static_cast<char*>(allocateZeroed(valueBytes));
    ok = valueBuffer != nullptr;
  }
  if (!ok) {
    error = formatText("Not enough memory for a block of %d lines of field '%s' "
                       "(%llu bytes); choose a smaller block size (-N:)",
                       blockSize, oracleName, static_cast<unsigned long long>(total));
    return false;
  }
  budget -= total;
  slotCount = blockSize;
  return true;
}

std::string_view ExportColumn::text(int32_t k) const {
  if (whole.active) return whole.view(k);
  if (valueBuffer == nullptr || k < 0 || k >= slotCount) return {};
  const char* value = slot(k);
  return {value, strnlen(value, static_cast<size_t>(elementSize))};
}

void ExportColumn::clearSlots(int32_t rows) {
  if (valueBuffer == nullptr) return;
  for (int32_t k = 0; k < rows; ++k) slot(k)[0] = 0;
}

void ExportColumn::markFetched(int32_t rows) {
  if (valueBuffer == nullptr || indicatorArray == nullptr) return;
  for (int32_t k = 0; k < rows; ++k) {
    char* text = slot(k);
    const int16_t indicator = indicatorArray[k];
    if (indicator == -1) {
      text[0] = 0;
    } else if (indicator == -2 || indicator > 0) {
      text[elementSize - 1] = 0;
    } else if (lengthArray != nullptr && defineType != 0) {
      const int32_t length = lengthArray[k];
      text[length < elementSize ? length : elementSize - 1] = 0;
    }
  }
}

const char* logicalText(const char* value) {
  if (value[0] == 0) return "";
  char upper[8];
  size_t n = 0;
  for (; value[n] != 0; ++n) {
    if (n + 1 >= sizeof upper) return "T";  // longer than any false word
    char c = value[n];
    upper[n] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  }
  // The false words, by length: only a word of the value's length can match.
  switch (n) {
    case 1: return upper[0] == '0' || upper[0] == 'F' || upper[0] == 'N' ? "F" : "T";
    case 2: return std::memcmp(upper, "NO", 2) == 0 ? "F" : "T";
    case 5: return std::memcmp(upper, "FALSE", 5) == 0 ? "F" : "T";
    default: return "T";
  }
}

void convertValue(DataFile* data, ExportColumn& column, int32_t row) {
  char* value = column.slot(row);
  switch (column.dbfType) {
    case 'L': {
      // The converted letter replaces the value in its slot, so a dump after a
      // failure shows what was stored.
      const char* letter = logicalText(value);
      value[0] = letter[0];
      if (letter[0] != 0) value[1] = 0;
      [[fallthrough]];
    }
    case 'C':
    case 'D':
    case 'N':
    case 'M': {
      FieldInfo* field = dataField(data, column.dbfFieldNumber);
      char* bytes = field != nullptr ? fieldPtr(field) : nullptr;
      const int32_t length = field != nullptr ? fieldLength(field) : 0;
      if (bytes == nullptr || length == 0) throw ExportError("Can't set data to dbf-field");
      const size_t valueLength = strnlen(value, static_cast<size_t>(column.elementSize));
      if (column.dbfType == 'M') {
        // The whole value becomes the memo text, written to the memo file when the
        // record is appended; an empty value leaves the field blank.  The memo file
        // ends a text at its first 0x1A, so a value holding one could not be read
        // back whole: it is refused instead of being cut there.
        if (std::memchr(value, 0x1A, valueLength) != nullptr)
          throw ExportError("Value holds byte 0x1A, which ends a memo; it can't be stored whole");
        if (memoAssign(field, value, static_cast<int32_t>(valueLength)) < 0)
          throw ExportError("Can't set data to dbf-field");
        return;
      }
      if (valueLength > static_cast<size_t>(length)) throw ExportError("Data was truncated");
      std::memcpy(bytes, value, valueLength);
      return;
    }
    default: {
      char text[64];
      std::snprintf(text, sizeof text, "Unknown type '%c', process aborted", column.dbfType);
      throw ExportError(text);
    }
  }
}
