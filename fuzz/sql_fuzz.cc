// libocilite's reading and rewriting of SQL texts: parseSql, then
// rewriteForSqlite with a column-kind lookup that knows a few names.
#include <cstdint>
#include <string>
#include <string_view>

#include "ocilite/sqltext.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  std::string_view sql(reinterpret_cast<const char*>(bytes), size);
  ocilite::ParsedSql parsed = ocilite::parseSql(sql);
  for (const std::string& p : parsed.placeholders)
    if (p.empty() || p[0] != ':') __builtin_trap();
  auto kindOf = [](std::string_view column) {
    std::string name = ocilite::upperAscii(column);
    if (name == "AMOUNT" || name == "ID") return ocilite::ColumnKind::Number;
    if (name == "CREATED") return ocilite::ColumnKind::Date;
    if (name == "NAME") return ocilite::ColumnKind::Text;
    return ocilite::ColumnKind::Unknown;
  };
  std::string rewritten = ocilite::rewriteForSqlite(sql, kindOf);
  ocilite::parseSql(rewritten);
  return 0;
}
