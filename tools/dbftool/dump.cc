// dbftool dump: the records as CSV (live records, trimmed) or as one JSON object per
// record (all records, raw bytes).  Memo fields show their memo text.
#include <cstdio>
#include <string>
#include <string_view>

#include "tools/dbftool/command.h"
#include "tools/dbftool/tool_util.h"

namespace dbftool {
namespace {

// The bytes of field f of the current record: memo text for M and G.  False after an
// engine error.
bool fieldBytes(FieldInfo* f, std::string_view* out) {
  if (f->memo) {
    int32_t length = memoLength(f);
    const char* text = memoText(f);
    if (length < 0 || !text) return false;
    *out = std::string_view(text, static_cast<size_t>(length));
  } else {
    *out = std::string_view(fieldPtr(f), static_cast<size_t>(fieldLength(f)));
  }
  return true;
}

// A failure part-way says where: the record and, for a memo, the field and the block
// its record names, followed by what the engine found wrong.  Whatever was printed
// before it stays valid output of the records before.
int failRecord(const std::string& path, int32_t n, FieldInfo* f, CODE4* context) {
  std::fflush(stdout);
  std::string where = "record " + std::to_string(n);
  if (f) where += ", field " + displayText(fieldName(f), Encoding::Latin1);
  if (f && f->memo) {
    std::string_view block(fieldPtr(f), static_cast<size_t>(fieldLength(f)));
    while (!block.empty() && (block.front() == ' ' || block.front() == '\0')) block.remove_prefix(1);
    while (!block.empty() && (block.back() == ' ' || block.back() == '\0')) block.remove_suffix(1);
    where += ", memo block " + displayText(block, Encoding::Latin1);
  }
  int code = engineErrorCode(context);
  std::string message = where + ": " + engineMessage(code != 0 ? code : resultLocked);
  if (f && f->memo) message += engineDetail(context);
  return fail(path, message);
}

std::string_view trimmed(std::string_view v) {
  while (!v.empty() && (v.back() == ' ' || v.back() == '\0')) v.remove_suffix(1);
  return v;
}

int runDump(int argc, char** argv) {
  Options options;
  if (!parseOptions(argc, argv, &options)) return 1;
  if (options.args.size() != 1) {
    std::fprintf(stderr, "usage: dbftool dump [--json] [--encoding E] FILE\n");
    return 1;
  }
  const std::string& path = options.args[0];
  ReadOnlyData file(path);
  DataFile* d = file.data();
  if (!d) return failEngine(path, file.context());
  if (!fileEncoding(path, d, &options)) return 1;
  int32_t nField = dataFieldCount(d);

  if (!options.json) {
    std::string line;
    for (int32_t j = 1; j <= nField; ++j) {
      if (j > 1) line += ',';
      line += csvField(fieldName(dataField(d, j)), options.encoding);
    }
    line += "\r\n";
    std::fputs(line.c_str(), stdout);
  }
  int32_t count = dataRecordCount(d);
  if (count < 0) return failEngine(path, file.context());
  for (int32_t n = 1; n <= count; ++n) {
    if (dataGo(d, n) != 0) return failRecord(path, n, nullptr, file.context());
    bool deleted = dataDeleted(d) != 0;
    if (!options.json && deleted) continue;
    std::string line;
    if (options.json)
      line = "{\"recno\":" + std::to_string(n) + ",\"deleted\":" + (deleted ? "true" : "false") +
             ",\"values\":[";
    for (int32_t j = 1; j <= nField; ++j) {
      std::string_view value;
      if (!fieldBytes(dataField(d, j), &value))
        return failRecord(path, n, dataField(d, j), file.context());
      if (j > 1) line += ',';
      line += options.json ? jsonString(value, options.encoding)
                           : csvField(trimmed(value), options.encoding);
    }
    line += options.json ? "]}\n" : "\r\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
  }
  return 0;  // standard output is checked at exit (process.cc)
}

}  // namespace

DBFTOOL_COMMAND("dump", "dump [--json] [--encoding cpNNNN|latin1|utf8] FILE", runDump);

}  // namespace dbftool
