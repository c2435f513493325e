// dbftool info: the header facts and the field table.
#include <cstdio>
#include <string>
#include <string_view>

#include "tools/dbftool/command.h"
#include "tools/dbftool/tool_util.h"
#include "xbase/data/code_page.h"

namespace dbftool {
namespace {

std::string lastUpdate(const DataFile* d) {
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", 1900 + dataHeader(d).date[0], dataHeader(d).date[1],
                dataHeader(d).date[2]);
  return text;
}

void printJson(DataFile* d, int32_t count, Encoding encoding) {
  std::printf("{\"version\":%d,\"lastUpdate\":\"%s\",\"headerLength\":%d,\"recordLength\":%d,"
              "\"recordCount\":%d,\"memo\":%s,\"codePage\":%d,\"fields\":[",
              dataHeader(d).version, lastUpdate(d).c_str(), dataHeader(d).headerLength, dataRecordLength(d),
              count, dataMemoFile(d) != nullptr ? "true" : "false", dataCodePage(d));
  for (int32_t j = 1; j <= dataFieldCount(d); ++j) {
    FieldInfo* f = dataField(d, j);
    // The type letter goes through the same escaping as the name: a damaged
    // descriptor must not make the output invalid JSON.
    char letter = static_cast<char>(f->type);
    std::printf("%s{\"name\":%s,\"type\":%s,\"length\":%d,\"decimals\":%d}", j > 1 ? "," : "",
                jsonString(fieldName(f), encoding).c_str(),
                jsonString(std::string_view(&letter, 1), encoding).c_str(), fieldLength(f),
                fieldDecimals(f));
  }
  std::printf("]}\n");
}

void printText(const std::string& path, DataFile* d, int32_t count, Encoding encoding) {
  std::printf("File:          %s\n", displayText(path, Encoding::Utf8).c_str());
  std::printf("Version:       0x%02X\n", dataHeader(d).version);
  std::printf("Memo file:     %s\n", dataMemoFile(d) != nullptr ? "yes" : "no");
  std::printf("Code page:     %d\n", dataCodePage(d));
  std::printf("Last update:   %s\n", lastUpdate(d).c_str());
  std::printf("Header length: %d\n", dataHeader(d).headerLength);
  std::printf("Record length: %d\n", dataRecordLength(d));
  std::printf("Records:       %d\n", count);
  std::printf("Fields:        %d\n", dataFieldCount(d));
  std::printf("    #  Name        Type  Length  Decimals  Offset\n");
  for (int32_t j = 1; j <= dataFieldCount(d); ++j) {
    FieldInfo* f = dataField(d, j);
    size_t width = 0;
    std::string name = displayText(fieldName(f), encoding, &width);
    char letter = static_cast<char>(f->type);
    std::string type = displayText(std::string_view(&letter, 1), encoding);
    std::printf("%5d  %s%*s  %-4s  %6d  %8d  %6d\n", j, name.c_str(),
                width < 10 ? static_cast<int>(10 - width) : 0, "", type.c_str(), fieldLength(f),
                fieldDecimals(f), f->offset);
  }
}

int runInfo(int argc, char** argv) {
  Options options;
  if (!parseOptions(argc, argv, &options)) return 1;
  if (options.args.size() != 1) {
    std::fprintf(stderr, "usage: dbftool info [--json] [--encoding E] FILE\n");
    return 1;
  }
  const std::string& path = options.args[0];
  ReadOnlyData file(path);
  DataFile* d = file.data();
  if (!d) return failEngine(path, file.context());
  int32_t count = dataRecordCount(d);
  if (count < 0) return failEngine(path, file.context());
  // Names in the file's own code page; one that cannot be shown byte by byte (a
  // multi-byte code page) still lets the header be shown, its names as Latin-1.
  if (!options.encodingGiven) {
    options.encoding = Encoding::ofCodePage(dataCodePage(d));
    if (!encodingUsable(options.encoding)) options.encoding = Encoding::Latin1;
  }
  if (options.json)
    printJson(d, count, options.encoding);
  else
    printText(path, d, count, options.encoding);
  return 0;  // standard output is checked at exit (process.cc)
}

}  // namespace

DBFTOOL_COMMAND("info", "info [--json] [--encoding cpNNNN|latin1|utf8] FILE", runInfo);

}  // namespace dbftool
