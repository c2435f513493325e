#include "ocilite/coltype.h"

#include <cctype>
#include <cstdlib>
#include <string>

#include "ocilite/oci.h"

namespace ocilite {

namespace {

std::string upperNoSpace(std::string_view s) {
  std::string out;
  for (char c : s) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      if (!out.empty() && out.back() != ' ') out += ' ';
      continue;
    }
    out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

// Splits "NAME(args)" into name and the argument text.
void splitArgs(const std::string &decl, std::string &name, std::string &args) {
  size_t open = decl.find('(');
  if (open == std::string::npos) {
    name = decl;
    args.clear();
    return;
  }
  name = decl.substr(0, open);
  while (!name.empty() && name.back() == ' ') name.pop_back();
  size_t close = decl.find(')', open);
  args = decl.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1);
}

// A byte count as the 16-bit OCI_ATTR_DATA_SIZE can say it.
unsigned short dataSizeOf(long bytes) {
  return static_cast<unsigned short>(bytes < 0 ? 0 : bytes > 65535 ? 65535 : bytes);
}

}  // namespace

ColumnType columnTypeFromDeclared(std::string_view declared) {
  std::string decl = upperNoSpace(declared);
  std::string name, args;
  splitArgs(decl, name, args);
  ColumnType t;
  int first = 0, second = 0;
  bool hasSecond = false, star = false;
  if (!args.empty()) {
    const char *p = args.c_str();
    while (*p == ' ') ++p;
    if (*p == '*') {
      star = true;
      ++p;
    } else {
      first = static_cast<int>(std::strtol(p, const_cast<char **>(&p), 10));
    }
    size_t comma = args.find(',');
    if (comma != std::string::npos) {
      hasSecond = true;
      second = static_cast<int>(std::strtol(args.c_str() + comma + 1, nullptr, 10));
    }
    t.charSemantics = args.find("CHAR") != std::string::npos;
  }

  if (name == "VARCHAR2" || name == "VARCHAR" || name == "NVARCHAR2" || name == "CHARACTER VARYING" ||
      name == "CHAR VARYING") {
    t.kind = ColumnKind::Text;
    t.oraType = SQLT_CHR;
    t.length = first > 0 ? first : 0;
    t.charSemantics = t.charSemantics || name == "NVARCHAR2";
    // Without a length (which Oracle would not accept) the values are
    // unchecked and described as the largest VARCHAR2 of a classic server.
    t.dataSize = t.length == 0 ? 4000 : dataSizeOf(t.charSemantics ? 4L * t.length : t.length);
  } else if (name == "CHAR" || name == "NCHAR" || name == "CHARACTER") {
    t.kind = ColumnKind::Char;
    t.oraType = SQLT_AFC;
    // CHAR means CHAR(1); the length is kept within the largest string an
    // extended server allows, so padding never grows without bound.
    t.length = args.empty() || first < 1 ? 1 : first > 32767 ? 32767 : first;
    t.charSemantics = t.charSemantics || name == "NCHAR";
    t.dataSize = dataSizeOf(t.charSemantics ? 4L * t.length : t.length);
  } else if (name == "NUMBER" || name == "NUMERIC" || name == "DECIMAL" || name == "DEC") {
    t.kind = ColumnKind::Number;
    t.oraType = SQLT_NUM;
    t.dataSize = 22;
    if (!args.empty()) {
      t.precision = star ? 38 : first;
      t.scale = hasSecond ? second : 0;
    } else if (name != "NUMBER") {
      t.precision = 38;
      t.scale = 0;
    }
  } else if (name == "INTEGER" || name == "INT" || name == "SMALLINT" || name == "BIGINT") {
    t.kind = ColumnKind::Number;
    t.oraType = SQLT_NUM;
    t.dataSize = 22;
    t.precision = 38;
    t.scale = 0;
  } else if (name == "FLOAT" || name == "REAL" || name == "DOUBLE PRECISION" || name == "DOUBLE") {
    t.kind = ColumnKind::Number;
    t.oraType = SQLT_NUM;
    t.dataSize = 22;
    t.precision = name == "FLOAT" ? (args.empty() ? 126 : first) : 63;
  } else if (name == "BINARY_FLOAT" || name == "BINARY_DOUBLE") {
    t.kind = ColumnKind::Number;
    t.oraType = name == "BINARY_FLOAT" ? SQLT_IBFLOAT : SQLT_IBDOUBLE;
    t.dataSize = name == "BINARY_FLOAT" ? 4 : 8;
  } else if (name == "DATE") {
    t.kind = ColumnKind::Date;
    t.oraType = SQLT_DAT;
    t.dataSize = 7;
  } else if (name == "RAW") {
    t.kind = ColumnKind::Raw;
    t.oraType = SQLT_BIN;
    t.length = first > 0 ? first : 0;
    t.dataSize = t.length == 0 ? 2000 : dataSizeOf(t.length);
  } else if (name == "LONG RAW") {
    t.kind = ColumnKind::Raw;
    t.oraType = SQLT_LBI;
    t.dataSize = 0;
  } else if (name == "CLOB" || name == "NCLOB" || name == "TEXT") {
    t.kind = ColumnKind::Clob;
    t.oraType = SQLT_CLOB;
    t.dataSize = 4000;
  } else if (name == "BLOB") {
    t.kind = ColumnKind::Blob;
    t.oraType = SQLT_BLOB;
    t.dataSize = 4000;
  } else if (name == "LONG") {
    t.kind = ColumnKind::Long;
    t.oraType = SQLT_LNG;
    t.dataSize = 0;
  }
  return t;
}

}  // namespace ocilite
