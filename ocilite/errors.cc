#include "ocilite/errors.h"
#include "ocilite/values.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace ocilite {

namespace {

struct Message {
  int code;
  const char *text;
};

// Standard texts of the errors libocilite raises (wording of the 11g to 21c
// message files).
constexpr Message kMessages[] = {
    {1, "unique constraint (%s) violated"},
    {54, "resource busy and acquire with NOWAIT specified or timeout expired"},
    {604, "error occurred at recursive SQL level 1"},
    {900, "invalid SQL statement"},
    {903, "invalid table name"},
    {904, "invalid identifier"},
    {911, "invalid character"},
    {933, "SQL command not properly ended"},
    {922, "missing or invalid option"},
    {932, "inconsistent datatypes"},
    {942, "table or view does not exist"},
    {1002, "fetch out of sequence"},
    {1007, "variable not in select list"},
    {1008, "not all variables bound"},
    {1017, "invalid username/password; logon denied"},
    {1034, "ORACLE not available"},
    {1036, "illegal variable name/number"},
    {1400, "cannot insert NULL"},
    {1405, "fetched column value is NULL"},
    {1406, "fetched column value was truncated"},
    {1426, "numeric overflow"},
    {1455, "converting column overflows integer datatype"},
    {1438, "value larger than specified precision allowed for this column"},
    {1453, "SET TRANSACTION must be first statement of transaction"},
    {1456, "may not perform insert/delete/update operation inside a READ ONLY transaction"},
    {1459, "invalid length for variable character string"},
    {1460, "unimplemented or unreasonable conversion requested"},
    {1465, "invalid hex number"},
    {1476, "divisor is equal to zero"},
    {1480, "trailing null missing from STR bind value"},
    {1722, "invalid number"},
    {1821, "date format not recognized"},
    {1830, "date format picture ends before converting entire input string"},
    {1839, "date not valid for month specified"},
    {1840, "input value not long enough for date format"},
    {1841, "(full) year must be between -4713 and +9999, and not be 0"},
    {1843, "not a valid month"},
    {1846, "not a valid day of the week"},
    {1847, "day of month must be between 1 and last day of month"},
    {1850, "hour must be between 0 and 23"},
    {1851, "minutes must be between 0 and 59"},
    {1852, "seconds must be between 0 and 59"},
    {1858, "a non-numeric character was found where a numeric was expected"},
    {1861, "literal does not match format string"},
    {2248, "invalid option for ALTER SESSION"},
    {3001, "unimplemented feature"},
    {3114, "not connected to ORACLE"},
    {12154, "TNS:could not resolve the connect identifier specified"},
    {28001, "the password has expired"},
    {28002, "the password will expire within 7 days"},
    {12705, "Cannot access NLS data files or invalid environment specified"},
    {12715, "invalid character set specified"},
    {12899, "value too large for column"},
    {16000, "database open for read-only access"},
    {24315, "illegal attribute type"},
    {24333, "zero iteration count"},
    {24334, "no descriptor for this position"},
    {24338, "statement handle not executed"},
    {24343, "user defined callback error"},
    {24345, "A Truncation or null fetch error occurred"},
    {24374, "define not done before fetch or execute and fetch"},
    {30006, "resource busy; acquire with WAIT timeout expired"},
};

std::string upper(std::string_view s) {
  std::string out(s);
  for (char &c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// "T.C" -> table T, column C (SQLite's constraint messages name both).
void splitQualified(std::string_view qualified, std::string &table, std::string &column) {
  size_t dot = qualified.find('.');
  if (dot == std::string_view::npos) {
    table.clear();
    column = upper(qualified);
  } else {
    table = upper(qualified.substr(0, dot));
    column = upper(qualified.substr(dot + 1));
  }
}

bool startsWith(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

// "ORA-NNNNN: ..." with five digits.
bool isOraLine(std::string_view s) {
  if (s.size() < 11 || !startsWith(s, "ORA-") || s.substr(9, 2) != ": ") return false;
  for (size_t i = 4; i < 9; ++i)
    if (!std::isdigit(static_cast<unsigned char>(s[i]))) return false;
  return true;
}

}  // namespace

void OraError::add(int code, std::string_view message) {
  char prefix[24];
  std::snprintf(prefix, sizeof prefix, "ORA-%05d: ", code);
  ErrorRecord record;
  record.code = code;
  record.text.reserve(std::strlen(prefix) + message.size() + 1);
  record.text += prefix;
  record.text += message;
  record.text += '\n';
  records_.push_back(std::move(record));
}

std::string_view oraMessage(int code) {
  for (const Message &m : kMessages)
    if (m.code == code) return m.text;
  return {};
}

OraError oraError(int code) { return OraError(code, oraMessage(code)); }

OraError invalidIdentifier(std::string_view name) {
  return OraError(904, "\"" + upper(name) + "\": invalid identifier");
}

OraError cannotInsertNull(std::string_view schema, std::string_view table,
                          std::string_view column) {
  std::string text = "cannot insert NULL into (\"";
  text += schema;
  text += "\".\"";
  text += upper(table);
  text += "\".\"";
  text += upper(column);
  text += "\")";
  return OraError(1400, text);
}

OraError valueTooLarge(std::string_view schema, std::string_view table,
                       std::string_view column, size_t actual, size_t maximum) {
  std::string text = "value too large for column \"";
  text += schema;
  text += "\".\"";
  text += upper(table);
  text += "\".\"";
  text += upper(column);
  text += "\" (actual: " + std::to_string(actual) + ", maximum: " + std::to_string(maximum) + ")";
  return OraError(12899, text);
}

OraError nameColumn(OraError err, const Target &names) {
  if (names.column.empty()) return err;
  for (ErrorRecord &r : err.records()) {
    if (r.code != 1438 && r.code != 1722) continue;
    if (!r.text.empty() && r.text.back() == '\n') r.text.pop_back();
    r.text += " (column \"";
    r.text += names.schema;
    r.text += "\".\"";
    r.text += upper(names.table);
    r.text += "\".\"";
    r.text += upper(names.column);
    r.text += "\")\n";
  }
  return err;
}

OraError unknownService(std::string_view path) {
  std::string text(oraMessage(12154));
  text += ": \"";
  text += path;
  text += "\"";
  return OraError(12154, text);
}

OraError fromSqlite(int rc, const char *message, const SqliteContext &context) {
  std::string_view msg = message ? message : "";
  int primary = rc & 0xff;
  if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) return oraError(30006);
  if (primary == SQLITE_READONLY) return oraError(16000);
  // Refused by the authorizer, which hides the users table (users.h).
  if (primary == SQLITE_AUTH) return oraError(942);
  if (primary == SQLITE_NOTADB || primary == SQLITE_CANTOPEN || primary == SQLITE_CORRUPT) {
    OraError e = oraError(1034);
    e.records().front().text.insert(e.records().front().text.size() - 1, " (" + std::string(msg) + ")");
    return e;
  }
  if (isOraLine(msg)) {
    // Raised by one of our SQL functions (TO_DATE, TO_NUMBER ...), or by a
    // trigger's RAISE with an error stack of its own: each line that starts
    // with "ORA-NNNNN: " is a record, other lines continue the one before.
    OraError e;
    std::string text;
    int code = 0;
    while (!msg.empty()) {
      size_t eol = msg.find('\n');
      std::string_view line = msg.substr(0, eol);
      msg = eol == std::string_view::npos ? std::string_view() : msg.substr(eol + 1);
      if (isOraLine(line)) {
        if (code) e.add(code, text);
        code = std::atoi(std::string(line.substr(4, 5)).c_str());
        text = std::string(line.substr(11));
      } else {
        text += '\n';
        text += line;
      }
    }
    e.add(code, text);
    return e;
  }
  if (startsWith(msg, "no such table: ")) return oraError(942);
  if (startsWith(msg, "no such column: ")) {
    std::string_view name = msg.substr(std::strlen("no such column: "));
    size_t dot = name.rfind('.');
    if (dot != std::string_view::npos) {
      return OraError(904, "\"" + upper(name.substr(0, dot)) + "\".\"" + upper(name.substr(dot + 1)) +
                               "\": invalid identifier");
    }
    return invalidIdentifier(name);
  }
  if (startsWith(msg, "table ") && msg.find(" has no column named ") != std::string_view::npos) {
    return invalidIdentifier(msg.substr(msg.find(" has no column named ") + 21));
  }
  if (startsWith(msg, "NOT NULL constraint failed: ")) {
    std::string table, column;
    splitQualified(msg.substr(std::strlen("NOT NULL constraint failed: ")), table, column);
    return cannotInsertNull(context.schema, table, column);
  }
  if (startsWith(msg, "UNIQUE constraint failed: ") || startsWith(msg, "PRIMARY KEY constraint failed: ")) {
    std::string_view what = msg.substr(msg.find(": ") + 2);
    std::string name = std::string(context.schema) + "." + upper(what);
    for (char &c : name)
      if (c == ',' || c == ' ') c = '_';
    return OraError(1, "unique constraint (" + name + ") violated");
  }
  if (msg.find("syntax error") != std::string_view::npos || msg.find("incomplete input") != std::string_view::npos) {
    // Oracle's text, then SQLite's own detail on a second line so that a user
    // can find the fault in a WHERE or ORDER BY text.
    return OraError(900, std::string(oraMessage(900)) + "\n" + std::string(msg));
  }
  if (startsWith(msg, "no such function: ")) return invalidIdentifier(msg.substr(std::strlen("no such function: ")));
  return OraError(900, std::string(oraMessage(900)) + "\n" + std::string(msg));
}

OraError fromSqlite(sqlite3 *db, int rc, const SqliteContext &context) {
  return fromSqlite(rc, db ? sqlite3_errmsg(db) : sqlite3_errstr(rc), context);
}

}  // namespace ocilite
