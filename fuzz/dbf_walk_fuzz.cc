// dataOpen on arbitrary bytes, then a full record walk reading every field
// (memo texts included), forwards and backwards, with a few direct moves.
// Input: the dbf file's bytes, "@@MEMO@@", the memo file's bytes.
#include <cstdint>
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
  DataFile* data = dataOpen(&context, "F");
  if (data != nullptr) {
    int32_t count = dataRecordCount(data);
    // Records are whole: the count never claims more than the file holds.
    if (count > 0 && data->recordLength > 0 &&
        static_cast<int64_t>(count) * data->recordLength > static_cast<int64_t>(dbf.size()))
      __builtin_trap();
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
