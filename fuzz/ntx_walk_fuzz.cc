// NTX open on arbitrary bytes, then a full walk of the tag both ways, seeks, a
// walk of the data file in the tag's order and the tag check.  The tag then takes
// appends to a copy of the data file (damaged or not: an insert must not go astray
// either way); one the check called sound must still be sound when every append
// succeeded.  The data file is a fixed one; the input is
// the tag file's bytes.
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

// Opens data file `name` (which must open) in a fresh quiet context, with the tag
// T.NTX; the tag, or null when it does not open.
IndexTag* openWithTheTag(CODE4* c, const char* name, DataFile** data) {
  engineInit(c);
  c->errQuiet = 1;
  c->autoOpen = 0;
  c->lockTries = 1;
  *data = dataOpen(c, name);
  if (*data == nullptr) std::abort();
  return i4open(*data, "T.NTX") != nullptr ? tagFind(*data, "T") : nullptr;
}

// Appends records to W.DBF, a copy of PEOPLE.DBF, through the tag T.NTX: keys
// before, between and after the ones there, and a repeated one.  When the tag was
// sound over PEOPLE's records and every append succeeded, it must still be sound.
void appendThroughTheTag(bool sound) {
  {
    FILE* from = std::fopen("PEOPLE.DBF", "rb");
    FILE* to = std::fopen("W.DBF", "wb");
    if (from == nullptr || to == nullptr) std::abort();
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, from)) > 0;)
      if (std::fwrite(buffer, 1, n, to) != n) std::abort();
    std::fclose(from);
    std::fclose(to);
  }
  CODE4 c;
  DataFile* data = nullptr;
  IndexTag* tag = openWithTheTag(&c, "W", &data);
  bool appended = tag != nullptr;
  for (int i = 0; appended && i < 6; ++i) {
    static const char* const kNames[] = {"A", "N5", "N7", "Z", "N999", "N7"};
    if (dataAppendStart(data, 0) != 0) {
      appended = false;
      break;
    }
    dataBlank(data);
    fieldAssignText(dataFieldByName(data, "NAME"), kNames[i],
                    static_cast<int32_t>(strlen(kNames[i])));
    fieldAssignDouble(dataFieldByName(data, "PRICE"), i * 1000.25 - 3000);
    const char* dates[] = {"19000101", "20000229", "20991231"};
    fieldAssignText(dataFieldByName(data, "BORN"), dates[i % 3], 8);
    appended = dataAppend(data) == 0;
  }
  char message[256];
  if (sound && appended && engineErrorCode(&c) == 0 &&
      tagCheck(tag, message, sizeof message) != 0) {
    std::fprintf(stderr, "tag unsound after appends: %s\n", message);
    __builtin_trap();
  }
  engineErrorSet(&c, 0);
  dataClose(data);
  engineRelease(&c);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  static bool ready = (makeData(), errorSetKeyWaiter(&noKey), true);
  (void)ready;
  fuzz::writeFile("T.NTX", std::string_view(reinterpret_cast<const char*>(bytes), size));

  CODE4 c;
  DataFile* data = nullptr;
  IndexTag* tag = openWithTheTag(&c, "PEOPLE", &data);
  bool sound = false;
  const bool opened = tag != nullptr;
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
    sound = tagCheck(tag, message, sizeof message) == 0;
  }
  engineErrorSet(&c, 0);
  dataClose(data);
  engineRelease(&c);
  if (opened) appendThroughTheTag(sound);
  return 0;
}
