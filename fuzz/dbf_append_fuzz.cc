// dataOpen on arbitrary bytes held exclusively, as an export holds its target, then
// appends of records carrying values and memo texts, through the write-behind
// buffers or one write at a time.  Once the file is closed and opened again, the old
// records and their memo texts read as before, and every appended record reads as
// it was appended, its memo texts included.
// With bit 7 of the last byte, a range of records is first zapped, as dbftool zap
// and a truncating section do: the records after it move up, with their memos.
// Input: the dbf file's bytes, "@@MEMO@@", the memo file's bytes.  The last byte
// picks the buffering (bit 0), the number of records appended (bits 1 to 6) and the
// zap (bit 7); the byte before it, the zapped range.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "xbase/data/code4.h"
#include "xbase/data/data.h"
#include "xbase/data/error.h"

namespace {

void noKey() {}

constexpr int32_t kOldRecordsChecked = 100;

struct RecordRead {
  std::string bytes;
  std::vector<std::string> memos;  // one per memo field, in field order
  bool memosRead = true;
};

// The current record's bytes and memo texts.
RecordRead readCurrent(DataFile* data) {
  RecordRead read;
  read.bytes.assign(data->record, static_cast<size_t>(data->recordLength));
  for (int32_t j = 1; j <= dataFieldCount(data); ++j) {
    FieldInfo* field = dataField(data, j);
    if (fieldType(field) != 'M' && fieldType(field) != 'G') continue;
    const char* text = memoText(field);
    const int32_t length = memoLength(field);
    if (text == nullptr || length < 0) {
      read.memosRead = false;
      engineErrorSet(dataContext(data), 0);
      read.memos.emplace_back();
      continue;
    }
    read.memos.emplace_back(text, static_cast<size_t>(length));
  }
  return read;
}

// A text of `length` bytes that differs from record to record and field to field.
std::string memoFor(int record, int32_t field, size_t length) {
  std::string text;
  for (size_t i = 0; i < length; ++i)
    text += static_cast<char>('a' + (record * 7 + field * 3 + static_cast<int>(i)) % 26);
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  fuzz::scratchDir();
  errorSetKeyWaiter(&noKey);
  if (size == 0) return 0;
  fuzz::Parts parts(bytes, size, "@@MEMO@@");
  fuzz::writeFile("F.DBF", parts.next());
  fuzz::writeFile("F.DBT", parts.next());
  const uint8_t flags = bytes[size - 1];
  const int appends = 1 + ((flags >> 1) & 63);

  CODE4 context;
  engineInit(&context);
  context.errQuiet = 1;
  context.openExclusive = 1;
  context.autoOpen = 0;
  if (flags & 1) context.bufferingMode = 1;
  DataFile* data = dataOpen(&context, "F");
  if (data == nullptr) {
    engineRelease(&context);
    return 0;
  }
  const int32_t count = dataRecordCount(data);
  std::vector<RecordRead> old;
  for (int32_t n = 1; n <= count && n <= kOldRecordsChecked; ++n) {
    if (dataGo(data, n) != 0) break;
    old.push_back(readCurrent(data));
  }
  engineErrorSet(&context, 0);

  int32_t before = count;
  if ((flags & 0x80) && size >= 2 && count >= 0) {
    const uint8_t range = bytes[size - 2];
    const int32_t first = 1 + range % (count > 0 ? count : 1);
    const int32_t last = (range & 0x40) ? kZapThroughLast : first + (range >> 4) % 3;
    if (dataZap(data, first, last) != 0) {
      dataClose(data);
      engineRelease(&context);
      return 0;  // refused: the failure tests hold what is left then
    }
    const int32_t zapped = (last < count ? last : count) - first + 1;
    if (zapped > 0) {
      before = count - zapped;
      const size_t from = static_cast<size_t>(first - 1);
      if (from < old.size())
        old.erase(old.begin() + static_cast<std::ptrdiff_t>(from),
                  old.begin() + static_cast<std::ptrdiff_t>(std::min(old.size(), from + zapped)));
      // Records past the ones read before move up into the checked range: unknown.
      if (count > kOldRecordsChecked && old.size() > static_cast<size_t>(before))
        old.resize(before);
    }
    if (dataRecordCount(data) != before) __builtin_trap();
  }

  // Appends as an export does: a blank record, its values, then the append, which
  // stores the memos and gives the record their block numbers.
  std::vector<RecordRead> appended;
  for (int k = 0; k < appends; ++k) {
    if (dataAppendStart(data, 0) != 0) break;
    dataBlank(data);
    RecordRead assigned;
    for (int32_t j = 1; j <= dataFieldCount(data); ++j) {
      FieldInfo* field = dataField(data, j);
      switch (fieldType(field)) {
        case 'C':
          fieldAssignText(field, "value", 5);
          break;
        case 'N':
          fieldAssignLong(field, k);
          break;
        case 'M':
        case 'G': {
          // Lengths on both sides of the block boundaries, and none at all.
          static const size_t kLengths[] = {0, 1, 509, 510, 511, 512, 1022, 1500, 3};
          const std::string text = memoFor(k, j, kLengths[(k + j) % std::size(kLengths)]);
          memoAssign(field, text.data(), static_cast<int32_t>(text.size()));
          assigned.memos.push_back(text);
          break;
        }
      }
    }
    if (dataAppend(data) != 0) break;
    assigned.bytes.assign(data->record, static_cast<size_t>(data->recordLength));
    appended.push_back(std::move(assigned));
  }
  const bool refused = engineErrorCode(&context) < 0;
  dataClose(data);
  engineRelease(&context);
  // A file whose appends were refused is the failure tests' matter: the suite
  // holds what is left then.
  if (refused) return 0;

  CODE4 check;
  engineInit(&check);
  check.errQuiet = 1;
  check.openReadOnly = 1;
  check.autoOpen = 0;
  DataFile* reopened = dataOpen(&check, "F");
  if (reopened == nullptr) __builtin_trap();  // it opened before the appends
  if (dataRecordCount(reopened) != before + static_cast<int32_t>(appended.size())) __builtin_trap();
  for (size_t i = 0; i < old.size(); ++i) {
    if (dataGo(reopened, static_cast<int32_t>(i) + 1) != 0) __builtin_trap();
    const RecordRead now = readCurrent(reopened);
    if (now.bytes != old[i].bytes) __builtin_trap();
    if (old[i].memosRead && (!now.memosRead || now.memos != old[i].memos)) __builtin_trap();
  }
  for (size_t i = 0; i < appended.size(); ++i) {
    if (dataGo(reopened, before + static_cast<int32_t>(i) + 1) != 0) __builtin_trap();
    const RecordRead now = readCurrent(reopened);
    if (now.bytes != appended[i].bytes || !now.memosRead || now.memos != appended[i].memos)
      __builtin_trap();
  }
  dataClose(reopened);
  engineRelease(&check);
  return 0;
}
