#include "import/import_column.h"

#include <unistd.h>

#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "front/config_reader.h"
#include "front/console.h"
#include "front/field_lookup.h"
#include "front/run_settings.h"
#include "import/import_error.h"
#include "ocilite/oci.h"
#include "xbase/data/data.h"
#include "xbase/file/file_name.h"

namespace {

// Rows ahead of the one filled whose memo slots are fetched into the cache, how
// much of each slot, and the cache line.
constexpr int32_t kFillAhead = 2;
constexpr int32_t kFillAheadBytes = 256;
constexpr int32_t kCacheLine = 64;

// Room a memo slot gets when the column describes no size (LONG): the most a
// 16-bit length can say.
constexpr int32_t kUnsizedMemoSlot = 65535 + 1;

bool isRawBind(uint16_t type) { return type == SQLT_VBI || type == SQLT_BIN; }

// Zero-filled room for `count` items of `size` bytes, taken from the budget.  The
// product is formed in 64 bits, so a large block is refused instead of wrapping.
void* allocateBlock(int32_t count, int32_t size, uint64_t& budget, const char* what,
                    const FieldMapping& mapping) {
  const uint64_t bytes = static_cast<uint64_t>(count) * static_cast<uint64_t>(size);
  void* block = nullptr;
  if (bytes <= budget && bytes <= SIZE_MAX) block = std::calloc(bytes > 0 ? bytes : 1, 1);
  if (block == nullptr)
    throw ImportError(formatText(
        "Can't allocate %llu bytes for %s of %i lines of field '%s'.",
        static_cast<unsigned long long>(bytes), what, count, mapping.dbfName.c_str()));
  budget -= bytes;
  return block;
}

// Ends the text of the slot at its last character that is not a blank.  Leading
// blanks stay.  Returns the remaining length.
std::size_t trimTrailingBlanks(char* text, std::size_t length) {
  while (length > 0 && text[length - 1] == ' ') text[--length] = '\0';
  return length;
}

// Length of the text without its trailing blanks, found eight bytes at a time:
// a text field is mostly padding, and this runs for every field of every record.
std::size_t lengthWithoutTrailingBlanks(const char* text, std::size_t length) {
  constexpr uint64_t kBlanks = 0x2020202020202020ULL;
  while (length >= sizeof(uint64_t)) {
    uint64_t word;
    std::memcpy(&word, text + length - sizeof word, sizeof word);
    const uint64_t differs = word ^ kBlanks;
    if (differs != 0) {
      // The bytes at the word's end that equal a blank are zero in `differs`:
      // the high bytes of a little-endian word, the low ones of a big-endian one.
      const int blankBits = std::endian::native == std::endian::little
                                ? std::countl_zero(differs)
                                : std::countr_zero(differs);
      return length - static_cast<std::size_t>(blankBits / 8);
    }
    length -= sizeof word;
  }
  while (length > 0 && text[length - 1] == ' ') --length;
  return length;
}

}  // namespace

bool ImportColumn::fillWholeMemo(DataFile* data, int32_t row) {
  FieldInfo* field = dataField(data, dbfFieldNumber);
  const char* text = memoText(field);
  const int32_t textLength = memoLength(field);
  if (text == nullptr || textLength < 0) {
    throw ImportError(formatText("Can't read memo of field '%s' in record %i.", fieldName(field),
                                 static_cast<int>(dataRecordNumber(data))));
  }
  const std::size_t length = static_cast<std::size_t>(textLength);
  // The memo is text: a zero byte inside it is refused as for any value.
  zeroInside = std::memchr(text, 0, length) != nullptr;
  memo.set(row, text, zeroInside ? strnlen(text, length) : length);
  return !zeroInside;
}

void ImportColumn::reset() {
  std::free(values);
  std::free(lengths);
  kind = 0;
  slotSize = 0;
  dbfLength = 0;
  values = nullptr;
  dbfFieldNumber = -1;
  oracleType = 0xFFFF;
  oracleSize = 0;
  bindType = 0;
  lengths = nullptr;
  slotCount = 0;
  zeroInside = false;
  memo.reset();
}

bool ImportColumn::setUp(const FieldMapping& mapping, DataFile* data,
                         const std::string& dbfPath, int32_t blockSize, uint64_t& budget) {
  if (mapping.dbfName == "%FILE_NAME") {
    const std::string_view name = fileBaseName(dbfPath);
    kind = 'F';
    dbfFieldNumber = -1;
    slotSize = static_cast<int32_t>(name.size()) + 2;
    values = static_cast<char*>(allocateBlock(blockSize, slotSize, budget, "a block", mapping));
    slotCount = blockSize;
    // The slots are never written again.
    for (int32_t row = 0; row < blockSize; ++row)
      std::memcpy(slot(row), name.data(), name.size());
    return true;
  }
  if (mapping.dbfName == "%RECNUM") {
    kind = 'R';
    dbfFieldNumber = -1;
    slotSize = kNumberSlotSize;
    values = static_cast<char*>(allocateBlock(blockSize, slotSize, budget, "a block", mapping));
    slotCount = blockSize;
    return true;
  }

  std::string clash;
  dbfFieldNumber = findDbfField(data, mapping.dbfName, &clash);
  if (dbfFieldNumber < 0) {
    messagePlain(formatText("Field '%s' not found%s\n", mapping.dbfName.c_str(), clash.c_str()));
    return false;
  }
  FieldInfo* found = dataField(data, dbfFieldNumber);

  kind = static_cast<char>(fieldType(found));
  dbfLength = fieldLength(found);
  switch (kind) {
    case 'C': slotSize = dbfLength + 2; break;
    case 'M': slotSize = 0; break;  // sized from the target column (setColumn)
    case 'D': slotSize = kDateSlotSize; break;
    case 'L': slotSize = kLogicalSlotSize; break;
    case 'N': slotSize = kNumberSlotSize; break;
    default:
      messagePlain(formatText("Uncknown type '%c'\n", kind));
      return false;
  }
  if (kind != 'M') {
    values = static_cast<char*>(allocateBlock(blockSize, slotSize, budget, "a block", mapping));
    slotCount = blockSize;
  }
  return true;
}

void ImportColumn::setColumn(uint16_t type, uint16_t size, int32_t blockSize, uint64_t& budget,
                             const FieldMapping& mapping) {
  oracleType = type;
  oracleSize = size;
  if (kind == 'M' && takesWholeMemo(type)) {
    // The whole memo, however long: no slot, no bound from the describe.
    memo.active = true;
    memo.start(blockSize);
    slotCount = blockSize;
    bindType = SQLT_LNG;
    return;
  }
  if (kind == 'M') {
    slotSize = size > 0 ? static_cast<int32_t>(size) + 1 : kUnsizedMemoSlot;
    values = static_cast<char*>(allocateBlock(blockSize, slotSize, budget, "a block", mapping));
    slotCount = blockSize;
  }
  if (isRawBind(type)) {
    bindType = type;
    lengths = static_cast<uint16_t*>(
        allocateBlock(blockSize, sizeof(uint16_t), budget, "the lengths", mapping));
    // The file name never changes: its lengths are known now.
    if (kind == 'F') {
      const uint16_t length = static_cast<uint16_t>(std::strlen(values));
      for (int32_t row = 0; row < blockSize; ++row) lengths[row] = length;
    }
  } else {
    bindType = SQLT_STR;
  }
}

bool ImportColumn::fill(DataFile* data, int32_t row) {
  char* target = slot(row);
  std::size_t length = 0;
  bool fits = true;
  zeroInside = false;
  switch (kind) {
    case 'F':
      return true;
    case 'R':
      length = static_cast<std::size_t>(
          std::snprintf(target, slotSize, "%i", static_cast<int>(dataRecordNumber(data))));
      break;
    case 'L': {
      const char c = fieldPtr(dataField(data, dbfFieldNumber))[0];
      target[0] = (c == 'T' || c == 't' || c == 'Y' || c == 'y') ? '1' : '0';
      target[1] = '\0';
      length = 1;
      break;
    }
    case 'M': {
      if (memo.active) return fillWholeMemo(data, row);
      // The memo text is bound whole, blanks included: it is free text, and a
      // text that does not fit the column is a failure, never a silent cut.
      FieldInfo* field = dataField(data, dbfFieldNumber);
      const char* text = memoText(field);
      const int32_t textLength = memoLength(field);
      if (text == nullptr || textLength < 0) {
        throw ImportError(formatText("Can't read memo of field '%s' in record %i.",
                                     fieldName(field), static_cast<int>(dataRecordNumber(data))));
      }
      // A block's memo slots span megabytes, more than the caches keep, so a
      // slot is cold when its row comes: the first lines of the one a few rows
      // on are asked for now, to be written, and are at hand when it is filled.
      if (row + kFillAhead < slotCount) {
        const char* ahead = slot(row + kFillAhead);
        for (int32_t k = 0; k < slotSize && k < kFillAheadBytes; k += kCacheLine)
          __builtin_prefetch(ahead + k, 1);
      }
      length = static_cast<std::size_t>(textLength);
      if (length > static_cast<std::size_t>(slotSize - 1)) {
        length = static_cast<std::size_t>(slotSize - 1);
        fits = false;
      }
      std::memcpy(target, text, length);
      target[length] = '\0';
      // A zero byte with text after it would end the bound text early: refused.
      const std::size_t whole = length;
      length = strnlen(target, length);
      for (std::size_t k = length; k < whole; ++k)
        if (target[k] != '\0') {
          zeroInside = true;
          fits = false;
        }
      break;
    }
    default: {
      // C, D and N: the field's bytes, whole (also beyond 256 bytes), without
      // trailing blanks.
      FieldInfo* field = dataField(data, dbfFieldNumber);
      const char* source = fieldPtr(field);
      length = static_cast<std::size_t>(fieldLength(field));
      if (length > static_cast<std::size_t>(slotSize - 1))
        length = static_cast<std::size_t>(slotSize - 1);
      // Most values hold no zero byte: only the text before the trailing blanks
      // is copied, and one terminator ends it.
      const std::size_t kept = lengthWithoutTrailingBlanks(source, length);
      if (std::memchr(source, 0, kept) == nullptr) {
        std::memcpy(target, source, kept);
        target[kept] = '\0';
        length = kept;
        break;
      }
      std::memcpy(target, source, length);
      target[length] = '\0';
      // The value travels as a zero-terminated text, so a zero byte would end it
      // early.  Zero bytes that only pad the field (nothing but zeros and blanks
      // after them) are dropped like trailing blanks; a zero byte with data after
      // it is refused rather than cutting the value there.
      const std::size_t text = strnlen(target, length);
      for (std::size_t k = text; k < length; ++k)
        if (target[k] != '\0' && target[k] != ' ') {
          zeroInside = true;
          fits = false;
        }
      length = trimTrailingBlanks(target, text);
      break;
    }
  }
  if (lengths != nullptr) lengths[row] = static_cast<uint16_t>(length);
  return fits;
}

std::string_view ImportColumn::text(int32_t row) const {
  if (memo.active) return memo.text(row);
  if (values == nullptr || row < 0 || row >= slotCount) return {};
  const char* s = slot(row);
  return std::string_view(s, strnlen(s, static_cast<std::size_t>(slotSize)));
}
