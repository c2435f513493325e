// A scriptable stand-in for the OCI functions of ocilite/oci.h, for the
// session layer's unit tests.  It records every call with its arguments,
// answers with scripted return codes (OCI_SUCCESS when none is queued), keeps
// scripted error records for OCIErrorGet and a scripted select list for
// OCIParamGet/OCIAttrGet, and tracks which handles are live so that tests
// can see leaks and double frees.
//
// Handles behave as the vendor's library documents: OCILogon hands out a
// service context of its own and OCILogoff frees it; freeing a handle that
// is not live answers OCI_INVALID_HANDLE (and is counted).
#ifndef DRIFT_ORACLE_TESTING_FAKE_OCI_H
#define DRIFT_ORACLE_TESTING_FAKE_OCI_H

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "ocilite/oci.h"

namespace fakeoci {

struct Call {
  std::string fn;
  const void *handle = nullptr;   // the call's target handle (stmt, svc, parent, freed handle)
  const void *error = nullptr;    // the error handle passed
  const void *service = nullptr;  // OCIStmtExecute / OCITrans* / OCILogoff service context
  ub4 type = 0;                   // handle or descriptor type
  ub4 attr = 0;                   // attribute code
  ub4 mode = 0;                   // mode or flags
  ub4 number = 0;                 // iters, nrows, position, timeout, record number, language
  ub4 rowOffset = 0;              // OCIStmtExecute rowoff
  ub2 orientation = 0;            // OCIStmtFetch
  std::string text;               // SQL text, placeholder, user name
  std::string password;
  std::string database;
  sb4 length = 0;                 // length argument of text (stmt_len, placeh_len, uname_len)
  ub4 passwordLength = 0;
  ub4 databaseLength = 0;
  void *value = nullptr;          // value buffer of a define/bind
  sb4 size = 0;                   // value_sz of a define/bind, size of an attribute set
  ub2 dataType = 0;
  void *indicators = nullptr;
  ub2 *lengths = nullptr;
  ub2 *returnCodes = nullptr;
  ub4 maxArray = 0;
  ub4 *currentElements = nullptr;
  const void *snapIn = nullptr;
  const void *snapOut = nullptr;
  bool nullSqlState = true;       // OCIErrorGet
  ub4 bufferSize = 0;             // OCIErrorGet
  ub4 attrValue = 0;              // OCIAttrSet: the 32-bit value at attributep
  bool sizePointer = false;       // OCIAttrGet got a sizep
  const void *produced = nullptr; // the handle the call handed out, if any
};

struct ErrorRecord {
  sb4 code;
  std::string text;
};

struct Column {
  std::string name;
  ub2 type;
  ub2 size;
};

class Fake {
 public:
  // Forgets calls, scripts, records and handles (call before every test).
  void reset();

  // Queues the results of the next calls of `fn` (e.g. "OCIStmtExecute").
  void script(const std::string &fn, std::vector<sword> results);
  sword next(const std::string &fn);

  // Calls of one function, in order; the names of all calls, in order.
  std::vector<Call> callsOf(const std::string &fn) const;
  std::vector<std::string> callNames() const;
  int count(const std::string &fn) const;

  // Handle bookkeeping.
  void *allocate(ub4 type);
  bool isLive(const void *handle) const;
  int liveCount(ub4 type) const;
  bool release(const void *handle, ub4 type);  // false when not live

  std::vector<Call> calls;
  std::vector<ErrorRecord> records;      // what OCIErrorGet yields from record 1 on
  std::vector<ErrorRecord> envRecords;   // what it yields for the environment handle
  bool endWithCode100 = false;           // after the last record: success with code 100
  std::vector<Column> columns;           // the select list
  ub4 rowCount = 0;                      // OCI_ATTR_ROW_COUNT of every statement
  int invalidFrees = 0;                  // frees of handles that were not live

 private:
  struct Handle {
    ub4 type;
    bool live;
  };
  std::deque<Handle> handles_;  // stable addresses, never reused within a test
  std::map<std::string, std::deque<sword>> scripts_;

 public:
  std::map<const void *, int> paramIndex;  // descriptor -> select-list index
};

Fake &fake();

}  // namespace fakeoci

#endif  // DRIFT_ORACLE_TESTING_FAKE_OCI_H
