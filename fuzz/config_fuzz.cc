// The configuration reader over arbitrary file contents, built twice: for the
// export (FUZZ_IMPORT_CONFIG unset: quoted WHERE / ORDER BY texts) and for the
// import (separators everywhere, %FILE_NAME / %RECNUM fields).  Every section
// is read the way the drivers read them.
#include <cstdint>
#include <cstdio>

#include "front/config_reader.h"
#include "front/console.h"
#include "front/run_settings.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static FILE* sink = [] {
    fuzz::scratchDir();
    return std::fopen("/dev/null", "w");
  }();
  setConsoleStream(sink);
  fuzz::writeFile("drift.cfg", std::string_view(reinterpret_cast<const char*>(data), size));
  runSettings = RunSettings{};
#ifdef FUZZ_IMPORT_CONFIG
  runSettings.program = ProgramKind::Import;
#else
  runSettings.program = ProgramKind::Export;
#endif
  runSettings.configFile = "drift.cfg";
  runSettings.tableName = "T";
  runSettings.dbfPath = "d/";
  SectionState sectionState;
  std::FILE* file = openConfig(sectionState);
  if (file == nullptr) __builtin_trap();  // the file was just written
  int sections = 0;
  while (!configAtEnd(file)) {
    if (!readSection(file, sectionState)) break;
    if (sectionState.fields.size() > kMaxFields) __builtin_trap();
    if (sectionState.sectionName.empty()) break;
    if (++sections > static_cast<int>(kMaxSections) + 1) __builtin_trap();
    resetSection(sectionState);
  }
  closeConfig(file);
  return 0;
}
