// Error records of libocilite.
//
// Every failure that a call reports with OCI_ERROR (or OCI_SUCCESS_WITH_INFO)
// leaves one or more records in the error handle passed to the call, each an
// Oracle error number and its text "ORA-NNNNN: message\n".  The texts are the
// server's own; the few that carry names or values are built by the helpers
// below.  Failures reported by SQLite are turned into ORA records in exactly
// one place, fromSqlite().
#ifndef DRIFT_OCILITE_ERRORS_H
#define DRIFT_OCILITE_ERRORS_H

#include <sqlite3.h>

#include <string>
#include <string_view>
#include <vector>

namespace ocilite {

struct ErrorRecord {
  int code = 0;       // positive Oracle error number, e.g. 942
  std::string text;   // "ORA-00942: table or view does not exist\n"
};

// What a failing internal step hands back to the OCI entry point: a list of
// records, usually one.  Empty means success.
class OraError {
 public:
  OraError() = default;
  OraError(int code, std::string_view message) { add(code, message); }
  void add(int code, std::string_view message);
  bool failed() const { return !records_.empty(); }
  int code() const { return records_.empty() ? 0 : records_.front().code; }
  const std::vector<ErrorRecord> &records() const { return records_; }
  std::vector<ErrorRecord> &records() { return records_; }

 private:
  std::vector<ErrorRecord> records_;
};

// The standard message of an Oracle error number (without the "ORA-NNNNN: "
// prefix), for the numbers libocilite raises.  Unknown numbers give "".
std::string_view oraMessage(int code);

// A record with the standard message.
OraError oraError(int code);

// Messages that carry names or values.
OraError invalidIdentifier(std::string_view name);                    // 00904
OraError cannotInsertNull(std::string_view schema, std::string_view table,
                          std::string_view column);                   // 01400
OraError valueTooLarge(std::string_view schema, std::string_view table,
                       std::string_view column, size_t actual, size_t maximum);  // 12899
// Names the target column after the text of ORA-01438 and ORA-01722, as newer
// servers do; other records pass unchanged.
struct Target;
OraError nameColumn(OraError err, const Target &names);
// A service (database file) that does not exist, named after Oracle's text.
OraError unknownService(std::string_view path);                       // 12154

// The context that fromSqlite() needs to name things the way Oracle does.
struct SqliteContext {
  std::string_view schema;  // the logged-on user, upper case
};

// Turns a SQLite failure (result code and the connection's message) into ORA
// records.  Busy and locked results become ORA-30006 (lock wait timed out).
OraError fromSqlite(int rc, const char *message, const SqliteContext &context);
OraError fromSqlite(sqlite3 *db, int rc, const SqliteContext &context);

}  // namespace ocilite

#endif
