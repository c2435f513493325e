// dataOpen on arbitrary bytes, then a full record walk reading every field
// (memo texts included), forwards and backwards, with a few direct moves.
// Input: the dbf file's bytes, "@@MEMO@@", the memo file's bytes.
#include <cstdint>
#include <cstring>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "xbase/data/code4.h"
#include "xbase/data/data.h"
#include "xbase/data/error.h"

namespace {

void noKey() {}

void readRecord(DataFile* data) {
  dataDeleted(data);
  for (int32_t j = 1; j <= dataFieldCount(data); ++j) {
    FieldInfo* field = dataField(data, j);
    fieldString(field);
    fieldText(field);
    switch (fieldType(field)) {
      case 'N':
        fieldDouble(field);
        break;
      case 'D':
        fieldLong(field);
        break;
      case 'M':
      case 'G': {
        const char* text = memoText(field);
        int32_t length = memoLength(field);
        // The text is NUL-terminated at its length.
        if (text != nullptr && length >= 0 && text[length] != '\0') __builtin_trap();
        break;
      }
    }
  }
}

// Walks `data` (read through its read-ahead buffers) forwards beside an unbuffered
// opening of the same files: each record, its deletion mark and every memo text
// read the same, or fail the same way, and both walks end together.
void walkBesideUnbuffered(DataFile* data) {
  CODE4 plainContext;
  engineInit(&plainContext);
  plainContext.errQuiet = 1;
  plainContext.openReadOnly = 1;
  DataFile* plain = dataOpen(&plainContext, "F");
  if (plain == nullptr) __builtin_trap();  // the buffered one opened
  CODE4* context = dataContext(data);
  int rc = dataTop(data), plainRc = dataTop(plain);
  for (int steps = 0; steps < 2000; ++steps) {
    if ((rc == 0) != (plainRc == 0)) __builtin_trap();
    if (rc != 0 || dataEof(data) != dataEof(plain)) break;
    if (dataEof(data)) break;
    if (dataRecordNumber(data) != dataRecordNumber(plain) ||
        std::memcmp(data->record, plain->record, static_cast<size_t>(data->recordLength)) != 0)
      __builtin_trap();
    for (int32_t j = 1; j <= dataFieldCount(data); ++j) {
      FieldInfo* field = dataField(data, j);
      if (fieldType(field) != 'M' && fieldType(field) != 'G') continue;
      const char* text = memoText(field);
      const int32_t length = memoLength(field);
      FieldInfo* plainField = dataField(plain, j);
      const char* plainText = memoText(plainField);
      const int32_t plainLength = memoLength(plainField);
      if ((text == nullptr) != (plainText == nullptr) || length != plainLength) __builtin_trap();
      if (text != nullptr && length > 0 && std::memcmp(text, plainText, length) != 0)
        __builtin_trap();
      // A failed read leaves both contexts failed; the walk stops there.
      if (text == nullptr) break;
    }
    if (engineErrorCode(context) < 0 || engineErrorCode(&plainContext) < 0) break;
    rc = dataSkip(data, 1);
    plainRc = dataSkip(plain, 1);
  }
  dataClose(plain);
  engineRelease(&plainContext);
  engineErrorSet(context, 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  fuzz::scratchDir();
  errorSetKeyWaiter(&noKey);
  fuzz::Parts parts(bytes, size, "@@MEMO@@");
  std::string_view dbf = parts.next();
  fuzz::writeFile("F.DBF", dbf);
  fuzz::writeFile("F.DBT", parts.next());

  CODE4 context;
  engineInit(&context);
  context.errQuiet = 1;
  context.openReadOnly = bytes != nullptr && size > 0 && (bytes[size - 1] & 1);
  // Read-only files are also walked through the read-ahead buffers, as the
  // import and dbftool's reading commands walk them; a second, unbuffered
  // opening of the same files then says what each record must read.
  const bool buffered = context.openReadOnly && (bytes[size - 1] & 2);
  if (buffered) context.bufferingMode = 1;
  DataFile* data = dataOpen(&context, "F");
  if (data != nullptr) {
    int32_t count = dataRecordCount(data);
    // Records are whole: the count never claims more than the file holds.
    if (count > 0 && data->recordLength > 0 &&
        static_cast<int64_t>(count) * data->recordLength > static_cast<int64_t>(dbf.size()))
      __builtin_trap();
    if (buffered) walkBesideUnbuffered(data);
    int steps = 0;
    for (int rc = dataTop(data); rc == 0 && !dataEof(data) && steps < 2000; ++steps) {
      readRecord(data);
      rc = dataSkip(data, 1);
    }
    steps = 0;
    for (int rc = dataBottom(data); rc == 0 && !dataBof(data) && steps < 200; ++steps) {
      readRecord(data);
      rc = dataSkip(data, -1);
    }
    for (int32_t n : {0, 1, count, count + 1, -1}) {
      if (dataGo(data, n) == 0) readRecord(data);
    }
    dataClose(data);
  }
  engineRelease(&context);
  return 0;
}
