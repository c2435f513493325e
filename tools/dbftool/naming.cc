#include "tools/dbftool/naming.h"

#include <algorithm>
#include <cctype>

#include "xbase/file/file_name.h"

namespace dbftool {
namespace {

// Oracle's reserved words, and the words SQLite refuses (or reads as something
// else, such as CURRENT_DATE) where a table or column name stands.
const char* const kReserved[] = {
    "ACCESS", "ADD", "ALL", "ALTER", "AND", "ANY", "AS", "ASC", "AUDIT", "AUTOINCREMENT",
    "BETWEEN", "BY", "CASE", "CAST", "CHAR", "CHECK", "CLUSTER", "COLLATE", "COLUMN",
    "COLUMN_VALUE", "COMMENT", "COMMIT", "COMPRESS", "CONNECT", "CONSTRAINT", "CREATE",
    "CURRENT", "CURRENT_DATE", "CURRENT_TIME", "CURRENT_TIMESTAMP", "DATE", "DECIMAL",
    "DEFAULT", "DEFERRABLE", "DELETE", "DESC", "DISTINCT", "DROP", "ELSE", "ESCAPE", "EXCEPT",
    "EXCLUSIVE", "EXISTS", "FILE", "FLOAT", "FOR", "FOREIGN", "FROM", "GRANT", "GROUP",
    "HAVING", "IDENTIFIED", "IF", "IMMEDIATE", "IN", "INCREMENT", "INDEX", "INITIAL",
    "INSERT", "INTEGER", "INTERSECT", "INTO", "IS", "ISNULL", "JOIN", "LEVEL", "LIKE",
    "LIMIT", "LOCK", "LONG", "MAXEXTENTS", "MINUS", "MLSLABEL", "MODE", "MODIFY",
    "NESTED_TABLE_ID", "NOAUDIT", "NOCOMPRESS", "NOT", "NOTHING", "NOTNULL", "NOWAIT", "NULL",
    "NUMBER", "OF", "OFFLINE", "ON", "ONLINE", "OPTION", "OR", "ORDER", "PCTFREE", "PRIMARY",
    "PRIOR", "PRIVILEGES", "PUBLIC", "RAISE", "RAW", "REFERENCES", "RENAME", "RESOURCE",
    "RETURNING", "REVOKE", "ROW", "ROWID", "ROWNUM", "ROWS", "SELECT", "SESSION", "SET",
    "SHARE", "SIZE", "SMALLINT", "START", "SUCCESSFUL", "SYNONYM", "SYSDATE", "TABLE", "THEN",
    "TO", "TRANSACTION", "TRIGGER", "UID", "UNION", "UNIQUE", "UPDATE", "USER", "USING",
    "VALIDATE", "VALUES", "VARCHAR", "VARCHAR2", "VIEW", "WHEN", "WHENEVER", "WHERE", "WITH",
};

bool isLetter(char ch) { return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z'); }
bool isDigit(char ch) { return ch >= '0' && ch <= '9'; }

std::string upper(std::string text) {
  for (char& ch : text)
    if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 32);
  return text;
}

}  // namespace

bool isReservedWord(const std::string& word) {
  std::string key = upper(word);
  for (const char* reserved : kReserved)
    if (key == reserved) return true;
  // Names a table cannot take without trouble: DUAL is the one-row table that
  // queries without a table name read, SQLite keeps SQLITE_... for itself, and
  // OCILITE_USERS is the embedded database's table of users.
  return key == "DUAL" || key == "OCILITE_USERS" || key.rfind("SQLITE_", 0) == 0;
}

bool isPlainIdentifier(const std::string& name) {
  if (name.empty() || name.size() > 30 || !isLetter(name[0])) return false;
  for (char ch : name)
    if (!isLetter(ch) && !isDigit(ch) && ch != '_') return false;
  return !isReservedWord(name);
}

std::string uniqueIdentifier(const std::string& stored, const std::string& prefix,
                             bool markChanged, size_t maxLength, std::set<std::string>* taken) {
  std::string name = upper(stored);
  while (!name.empty() && name.back() == ' ') name.pop_back();
  if (!isPlainIdentifier(name)) {
    bool changed = name.empty() || !isLetter(name[0]);
    for (char& ch : name) {
      if (!isLetter(ch) && !isDigit(ch) && ch != '_') {
        ch = '_';
        changed = true;
      }
    }
    if (name.empty() || !isLetter(name[0])) name = prefix + name;
    if (name.size() > maxLength) name.resize(maxLength);
    if (isReservedWord(name) || (changed && markChanged)) name += '_';
    // A reserved prefix (SQLITE_) stays reserved whatever follows it.
    if (isReservedWord(name)) name = prefix + name;
  }
  if (name.size() > maxLength) name.resize(maxLength);
  std::string candidate = name;
  for (int n = 2; taken->count(candidate) || isReservedWord(candidate); ++n) {
    std::string suffix = (name.back() == '_' ? "" : "_") + std::to_string(n);
    candidate = name.substr(0, std::min(name.size(), maxLength - suffix.size())) + suffix;
  }
  taken->insert(candidate);
  return candidate;
}

std::string uniqueFieldName(const std::string& column, std::set<std::string>* taken) {
  std::string name = upper(column);
  for (char& ch : name)
    if (!isLetter(ch) && !isDigit(ch) && ch != '_') ch = '_';
  if (name.empty() || !isLetter(name[0])) name = "F" + name;
  if (name.size() > 10) name.resize(10);
  std::string candidate = name;
  for (int n = 2; taken->count(candidate); ++n) {
    std::string suffix = "_" + std::to_string(n);
    candidate = name.substr(0, std::min(name.size(), 10 - suffix.size())) + suffix;
  }
  taken->insert(candidate);
  return candidate;
}

bool fitsConfiguration(const std::string& name) {
  if (name.empty() || name.size() > 100 || name[0] == '!' || name[0] == '%' ||
      name.find("//") != std::string::npos)
    return false;
  return name.find_first_of(" \t,|=:;<>-\"") == std::string::npos;
}

std::string tableStem(const std::string& path) {
  std::string base(fileBaseName(path));
  size_t dot = base.find_last_of('.');
  if (dot != std::string::npos && dot > 0) base.resize(dot);
  return base;
}

std::string columnTypeFor(int type, int length, int decimals) {
  switch (type) {
    case 'C':
      return "NVARCHAR2(" + std::to_string(length) + ")";
    case 'N':
    case 'F':
      // A number in the field's format has at most length - decimals - 1 digits
      // before the point (length without decimals): NUMBER(length, decimals) holds
      // it, and a whole number written without the point up to length - decimals
      // digits.  Oracle's precision stops at 38.
      if (length > 38) return "NUMBER";
      if (decimals <= 0) return "NUMBER(" + std::to_string(length) + ")";
      return "NUMBER(" + std::to_string(length) + "," + std::to_string(decimals) + ")";
    case 'D':
      return "DATE";
    case 'L':
      return "NUMBER(1)";
    case 'M':
      return "CLOB";
    default:
      return "";
  }
}

}  // namespace dbftool
