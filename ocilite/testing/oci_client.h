// A small OCI client for the tests of libocilite: everything goes through
// the documented calls of oci.h, as a C program would make them.  Each test
// gets a fresh database file in a temporary directory.
#ifndef DRIFT_OCILITE_TESTING_OCI_CLIENT_H
#define DRIFT_OCILITE_TESTING_OCI_CLIENT_H

#include "ocilite/oci.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "tests/scratch_dir.h"

namespace ocilite_test {

inline const OraText *ot(const char *s) { return reinterpret_cast<const OraText *>(s); }
inline ub4 len(const char *s) { return static_cast<ub4>(std::strlen(s)); }

// All records of an error (or environment) handle, joined.
inline std::string errorRecords(void *handle, ub4 type = OCI_HTYPE_ERROR) {
  std::string out;
  char buf[1024];
  for (ub4 n = 1;; ++n) {
    sb4 code = 0;
    if (OCIErrorGet(handle, n, nullptr, &code, reinterpret_cast<OraText *>(buf), sizeof buf, type) != OCI_SUCCESS)
      break;
    out += buf;
  }
  return out;
}

// A temporary directory with an (empty, valid) database file "test.db".
class TempDb {
 public:
  TempDb() : path_(dir_.path("test.db")) {
    // A zero-length file is an empty SQLite database.
    if (FILE *f = std::fopen(path_.c_str(), "wb")) std::fclose(f);
  }
  const std::string &path() const { return path_; }
  const std::string &dir() const { return dir_.path(); }

  // Runs SQL on the file as its administrator does, with SQLite itself and
  // not through OCI (the users table is out of reach of OCI sessions).
  void admin(const std::string &sql) const {
    sqlite3 *db = nullptr;
    char *message = nullptr;
    ASSERT_EQ(sqlite3_open_v2(path_.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message), SQLITE_OK) << sql << ": " << message;
    sqlite3_free(message);
    sqlite3_close(db);
  }

 private:
  ScratchDir dir_{"ocilite_test"};
  std::string path_;
};

// One logged-on session.
class Client {
 public:
  Client() {
    OCIEnvInit(&env, OCI_DEFAULT, 0, nullptr);
    OCIHandleAlloc(env, reinterpret_cast<void **>(&err), OCI_HTYPE_ERROR, 0, nullptr);
  }
  ~Client() {
    freeStatements();
    logoff();
    OCIHandleFree(err, OCI_HTYPE_ERROR);
    OCIHandleFree(env, OCI_HTYPE_ENV);
  }
  Client(const Client &) = delete;
  Client &operator=(const Client &) = delete;

  sword logon(const std::string &db, const char *user = "scott", const char *password = "tiger") {
    return OCILogon(env, err, &svc, ot(user), len(user), ot(password), len(password), ot(db.c_str()),
                    static_cast<ub4>(db.size()));
  }
  void logoff() {
    if (svc) OCILogoff(svc, err);
    svc = nullptr;
  }

  // Prepares `sql` into a new statement handle (freed with the client).
  OCIStmt *prepare(const char *sql) {
    OCIStmt *stmt = nullptr;
    EXPECT_EQ(OCIHandleAlloc(env, reinterpret_cast<void **>(&stmt), OCI_HTYPE_STMT, 0, nullptr), OCI_SUCCESS);
    EXPECT_EQ(OCIStmtPrepare(stmt, err, ot(sql), len(sql), OCI_NTV_SYNTAX, OCI_DEFAULT), OCI_SUCCESS) << sql;
    stmts_.push_back(stmt);
    return stmt;
  }
  sword execute(OCIStmt *stmt, ub4 iters = 1, ub4 mode = OCI_DEFAULT) {
    return OCIStmtExecute(svc, stmt, err, iters, 0, nullptr, nullptr, mode);
  }
  // Prepares and executes once; returns the status.
  sword run(const char *sql, ub4 mode = OCI_DEFAULT) {
    OCIStmt *stmt = prepare(sql);
    ub2 type = 0;
    OCIAttrGet(stmt, OCI_HTYPE_STMT, &type, nullptr, OCI_ATTR_STMT_TYPE, err);
    return execute(stmt, type == OCI_STMT_SELECT ? 0 : 1, mode);
  }
  // run() that must succeed.
  void ok(const char *sql) { ASSERT_EQ(run(sql), OCI_SUCCESS) << sql << ": " << errors(); }

  ub4 rowCount(OCIStmt *stmt) {
    ub4 n = 0;
    EXPECT_EQ(OCIAttrGet(stmt, OCI_HTYPE_STMT, &n, nullptr, OCI_ATTR_ROW_COUNT, err), OCI_SUCCESS);
    return n;
  }

  // The first error code and all records of the error handle.
  sb4 code() {
    sb4 c = 0;
    char buf[8];
    OCIErrorGet(err, 1, nullptr, &c, reinterpret_cast<OraText *>(buf), sizeof buf, OCI_HTYPE_ERROR);
    return c;
  }
  std::string errors() { return errorRecords(err); }

  // The texts of column 1 of a query, NULL as "<null>" (SQLT_STR define).
  std::vector<std::string> column(const char *sql) {
    std::vector<std::string> out;
    OCIStmt *stmt = prepare(sql);
    if (execute(stmt, 0) != OCI_SUCCESS) {
      ADD_FAILURE() << sql << ": " << errors();
      return out;
    }
    char buf[512];
    sb2 ind = 0;
    OCIDefine *def = nullptr;
    EXPECT_EQ(OCIDefineByPos(stmt, &def, err, 1, buf, sizeof buf, SQLT_STR, &ind, nullptr, nullptr, OCI_DEFAULT),
              OCI_SUCCESS);
    sword rc;
    while ((rc = OCIStmtFetch(stmt, err, 1, OCI_FETCH_NEXT, OCI_DEFAULT)) == OCI_SUCCESS)
      out.push_back(ind == -1 ? "<null>" : buf);
    EXPECT_EQ(rc, OCI_NO_DATA) << errors();
    return out;
  }
  std::string value(const char *sql) {
    std::vector<std::string> v = column(sql);
    return v.size() == 1 ? v[0] : "<" + std::to_string(v.size()) + " rows>";
  }

  OCIEnv *env = nullptr;
  OCIError *err = nullptr;
  OCISvcCtx *svc = nullptr;

 private:
  std::vector<OCIStmt *> stmts_;

 public:
  void freeStatements() {
    for (OCIStmt *s : stmts_) OCIHandleFree(s, OCI_HTYPE_STMT);
    stmts_.clear();
  }
};

// A fixture with a database and one logged-on client.
class OciTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(c.logon(db.path()), OCI_SUCCESS) << c.errors(); }
  TempDb db;
  Client c;
};

}  // namespace ocilite_test

#endif
