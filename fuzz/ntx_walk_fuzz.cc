// NTX open on arbitrary bytes, then a full walk of the tag both ways, seeks, a
// walk of the data file in the tag's order and the tag check.  The data file is a
// fixed one; the input is the tag file's bytes.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "xbase/data/code4.h"
#include "xbase/data/data.h"
#include "xbase/data/error.h"
#include "xbase/index/ntx.h"

namespace {

void noKey() {}

// PEOPLE.DBF: 300 records with a text, a number and a date field (the seed tags in
// corpus/ntx_walk were built over the same records).
void makeData() {
  fuzz::scratchDir();
  CODE4 c;
  engineInit(&c);
  c.errQuiet = 1;
  const FieldDef fields[] = {{"NAME", 'C', 10, 0}, {"PRICE", 'N', 8, 2}, {"BORN", 'D', 0, 0}};
  DataFile* d = dataCreate(&c, "PEOPLE.DBF", fields, 3);
  if (d == nullptr) std::abort();
  for (int i = 0; i < 300; ++i) {
    if (dataAppendStart(d, 0) != 0) std::abort();
    dataBlank(d);
    std::string name = "N" + std::to_string((i * 7919) % 1000);
    fieldAssignText(dataFieldByName(d, "NAME"), name.data(), static_cast<int32_t>(name.size()));
    fieldAssignDouble(dataFieldByName(d, "PRICE"), (i % 50) * 1.5 - 20);
    char date[9];
    snprintf(date, sizeof date, "%04d%02d%02d", 1990 + i % 30, 1 + i % 12, 1 + i % 28);
    fieldAssignText(dataFieldByName(d, "BORN"), date, 8);
    if (dataAppend(d) != 0) std::abort();
  }
  dataClose(d);
  engineRelease(&c);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  static bool ready = (makeData(), errorSetKeyWaiter(&noKey), true);
  (void)ready;
  fuzz::writeFile("T.NTX", std::string_view(reinterpret_cast<const char*>(bytes), size));

  CODE4 c;
  engineInit(&c);
  c.errQuiet = 1;
  c.autoOpen = 0;
  c.lockTries = 1;
  DataFile* data = dataOpen(&c, "PEOPLE");
  if (data == nullptr) std::abort();
  IndexFile* index = i4open(data, "T.NTX");
  IndexTag* tag = index != nullptr ? tagFind(data, "T") : nullptr;
  if (tag != nullptr) {
    int steps = 0;
    for (int rc = tagFirst(tag); rc == 0 && steps < 5000; rc = tagNext(tag), ++steps) {
      tagCurrentKey(tag);
      tagCurrentRecno(tag);
    }
    steps = 0;
    for (int rc = tagLast(tag); rc == 0 && steps < 5000; rc = tagPrevious(tag), ++steps)
      tagCurrentRecno(tag);
    engineErrorSet(&c, 0);
    std::string key(tag->keySize, ' ');
    for (const char* text : {"N7", "", "12.5", "20000229", "\xff\xff"}) {
      key.assign(tag->keySize, ' ');
      memcpy(key.data(), text, std::min<size_t>(strlen(text), key.size()));
      tagSeek(tag, reinterpret_cast<const uint8_t*>(key.data()), tag->keySize);
      if (tagKeyFromText(tag, text, reinterpret_cast<uint8_t*>(key.data())) == 0)
        tagSeek(tag, reinterpret_cast<const uint8_t*>(key.data()), tag->keySize);
      engineErrorSet(&c, 0);
    }
    tagSelect(data, tag);
    steps = 0;
    for (int rc = dataTop(data); rc == 0 && !dataEof(data) && steps < 100; ++steps)
      rc = dataSkip(data, 1);
    engineErrorSet(&c, 0);
    char message[256];
    tagCheck(tag, message, sizeof message);
  }
  engineErrorSet(&c, 0);
  dataClose(data);
  engineRelease(&c);
  return 0;
}
