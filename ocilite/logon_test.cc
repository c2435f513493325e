// Logon, logoff, handles and error records of libocilite, through OCI only.
#include "ocilite/testing/oci_client.h"

#include <ctime>
#include <sys/stat.h>

namespace ocilite_test {
namespace {

bool exists(const std::string &path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

// Runs the rest of a test in another directory, and returns on destruction.
class InDirectory {
 public:
  explicit InDirectory(const std::string &dir) {
    char buf[4096];
    if (getcwd(buf, sizeof buf)) old_ = buf;
    EXPECT_EQ(chdir(dir.c_str()), 0);
  }
  ~InDirectory() {
    if (!old_.empty()) {
      EXPECT_EQ(chdir(old_.c_str()), 0);
    }
  }

 private:
  std::string old_;
};

TEST(Logon, ServiceNameIsTheDatabaseFile) {
  TempDb db;
  Client c;
  ASSERT_EQ(c.logon(db.path()), OCI_SUCCESS) << c.errors();
  EXPECT_NE(c.svc, nullptr);
  c.ok("CREATE TABLE t (a NUMBER)");
  c.ok("INSERT INTO t VALUES (1)");
  c.ok("COMMIT");
  c.logoff();
  Client other;
  ASSERT_EQ(other.logon(db.path()), OCI_SUCCESS);
  EXPECT_EQ(other.value("SELECT a FROM t"), "1");
}

TEST(Logon, AMissingFileIsAnUnknownServiceAndIsNotCreated) {
  TempDb db;
  Client c;
  std::string missing = db.dir() + "/nothere.db";
  EXPECT_EQ(c.logon(missing), OCI_ERROR);
  EXPECT_EQ(c.code(), 12154);
  // The path follows Oracle's text, so the user sees which file is missing.
  EXPECT_EQ(c.errors(), "ORA-12154: TNS:could not resolve the connect identifier specified: \"" + missing + "\"\n");
  EXPECT_EQ(c.svc, nullptr);
  EXPECT_FALSE(exists(missing));
  // A directory is no database either.
  EXPECT_EQ(c.logon(db.dir()), OCI_ERROR);
  EXPECT_EQ(c.code(), 12154);
}

TEST(Logon, EmptyServiceNameIsLocalDbInTheCurrentDirectory) {
  TempDb db;
  InDirectory in(db.dir());
  Client c;
  EXPECT_EQ(c.logon(""), OCI_ERROR);
  EXPECT_EQ(c.code(), 12154);
  EXPECT_FALSE(exists(db.dir() + "/local.db"));

  std::rename(db.path().c_str(), (db.dir() + "/local.db").c_str());
  ASSERT_EQ(c.logon(""), OCI_SUCCESS) << c.errors();
  c.ok("CREATE TABLE here (a NUMBER)");
  c.logoff();
  Client byName;
  ASSERT_EQ(byName.logon(db.dir() + "/local.db"), OCI_SUCCESS);
  EXPECT_EQ(byName.value("SELECT COUNT(*) FROM here"), "0");
}

TEST(Logon, UsersTableChecksNameIgnoringCaseAndPasswordExactly) {
  TempDb db;
  db.admin("CREATE TABLE ocilite_users (name TEXT PRIMARY KEY, password TEXT);"
           "INSERT INTO ocilite_users VALUES ('scott', 'Tiger')");
  Client c;
  EXPECT_EQ(c.logon(db.path(), "scott", "tiger"), OCI_ERROR);
  EXPECT_EQ(c.errors(), "ORA-01017: invalid username/password; logon denied\n");
  EXPECT_EQ(c.svc, nullptr);
  EXPECT_EQ(c.logon(db.path(), "nobody", "Tiger"), OCI_ERROR);
  EXPECT_EQ(c.code(), 1017);
  EXPECT_EQ(c.logon(db.path(), "scott", ""), OCI_ERROR);
  EXPECT_EQ(c.code(), 1017);
  EXPECT_EQ(c.logon(db.path(), "SCOTT", "Tiger"), OCI_SUCCESS) << c.errors();
}

// Local time `hours` from now as the store keeps dates.
std::string hoursFromNow(long hours) {
  time_t when = time(nullptr) + hours * 3600;
  struct tm local;
  localtime_r(&when, &local);
  char text[32];
  strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

TEST(Logon, AnExpiryDateInTheGracePeriodLogsOnWithTheServersWarning) {
  TempDb db;
  db.admin("CREATE TABLE ocilite_users (name TEXT PRIMARY KEY, password TEXT, expires TEXT);"
           "INSERT INTO ocilite_users VALUES ('soon', 'pw', '" + hoursFromNow(71) + "');"
           "INSERT INTO ocilite_users VALUES ('later', 'pw', '" + hoursFromNow(24 * 30) + "');"
           "INSERT INTO ocilite_users VALUES ('gone', 'pw', '" + hoursFromNow(-24) + "');"
           "INSERT INTO ocilite_users VALUES ('never', 'pw', NULL);"
           "CREATE TABLE t (n NUMBER)");
  Client c;
  EXPECT_EQ(c.logon(db.path(), "soon", "pw"), OCI_SUCCESS_WITH_INFO);
  EXPECT_EQ(c.errors(), "ORA-28002: the password will expire within 3 days\n");
  ASSERT_NE(c.svc, nullptr);  // logged on: the session works
  c.ok("SELECT COUNT(*) FROM t");
  c.logoff();
  EXPECT_EQ(c.logon(db.path(), "later", "pw"), OCI_SUCCESS) << c.errors();
  c.logoff();
  EXPECT_EQ(c.logon(db.path(), "never", "pw"), OCI_SUCCESS) << c.errors();
  c.logoff();
  EXPECT_EQ(c.logon(db.path(), "gone", "pw"), OCI_ERROR);
  EXPECT_EQ(c.errors(), "ORA-28001: the password has expired\n");
  EXPECT_EQ(c.svc, nullptr);
  // The password is checked first: a wrong one says nothing of the expiry.
  EXPECT_EQ(c.logon(db.path(), "soon", "wrong"), OCI_ERROR);
  EXPECT_EQ(c.code(), 1017);
}

TEST(Logon, WithoutAUsersTableAnyUserIsAccepted) {
  TempDb db;
  Client c;
  EXPECT_EQ(c.logon(db.path(), "whoever", "whatever"), OCI_SUCCESS);
  c.logoff();
  EXPECT_EQ(c.logon(db.path(), "", ""), OCI_SUCCESS);
}

TEST(Logon, LogonReturnsItsOwnServiceContextAndLogoffFreesIt) {
  TempDb db;
  Client c;
  OCISvcCtx *mine = nullptr;
  ASSERT_EQ(OCIHandleAlloc(c.env, reinterpret_cast<void **>(&mine), OCI_HTYPE_SVCCTX, 0, nullptr), OCI_SUCCESS);
  c.svc = mine;
  ASSERT_EQ(c.logon(db.path()), OCI_SUCCESS);
  EXPECT_NE(c.svc, mine);
  OCIServer *server = nullptr;
  ASSERT_EQ(OCIAttrGet(c.svc, OCI_HTYPE_SVCCTX, &server, nullptr, OCI_ATTR_SERVER, c.err), OCI_SUCCESS);
  EXPECT_NE(server, nullptr);

  OCISvcCtx *made = c.svc;
  EXPECT_EQ(OCILogoff(made, c.err), OCI_SUCCESS);
  c.svc = nullptr;
  // What the logoff freed is gone: a second free, or any use, is answered
  // without touching it.
  EXPECT_EQ(OCIHandleFree(made, OCI_HTYPE_SVCCTX), OCI_INVALID_HANDLE);
  EXPECT_EQ(OCIHandleFree(server, OCI_HTYPE_SERVER), OCI_INVALID_HANDLE);
  EXPECT_EQ(OCILogoff(made, c.err), OCI_INVALID_HANDLE);
  EXPECT_EQ(OCITransCommit(made, c.err, OCI_DEFAULT), OCI_INVALID_HANDLE);
  // The handle the caller allocated is still the caller's.
  EXPECT_EQ(OCIHandleFree(mine, OCI_HTYPE_SVCCTX), OCI_SUCCESS);
  EXPECT_EQ(OCIHandleFree(mine, OCI_HTYPE_SVCCTX), OCI_INVALID_HANDLE);
}

TEST(Logon, LogoffCommitsOpenWork) {
  TempDb db;
  {
    Client c;
    ASSERT_EQ(c.logon(db.path()), OCI_SUCCESS);
    c.ok("CREATE TABLE t (a NUMBER)");
    c.ok("INSERT INTO t VALUES (7)");
  }
  Client other;
  ASSERT_EQ(other.logon(db.path()), OCI_SUCCESS);
  EXPECT_EQ(other.value("SELECT a FROM t"), "7");
}

TEST(Logon, AStatementOutlivingItsLogoffFailsCleanly) {
  TempDb db;
  Client c;
  ASSERT_EQ(c.logon(db.path()), OCI_SUCCESS);
  c.ok("CREATE TABLE t (a NUMBER)");
  OCIStmt *stmt = c.prepare("SELECT a FROM t");
  OCISvcCtx *dead = c.svc;
  c.logoff();
  EXPECT_EQ(OCIStmtExecute(dead, stmt, c.err, 0, 0, nullptr, nullptr, OCI_DEFAULT), OCI_INVALID_HANDLE);
  EXPECT_EQ(OCIStmtFetch(stmt, c.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_ERROR);
  EXPECT_EQ(c.code(), 24338);
}

TEST(Logon, LogoffEndsOpenQueriesAndReleasesTheirLocks) {
  TempDb db;
  setenv("OCILITE_BUSY_TIMEOUT_MS", "200", 1);
  Client reader, writer;
  ASSERT_EQ(reader.logon(db.path()), OCI_SUCCESS);
  ASSERT_EQ(writer.logon(db.path()), OCI_SUCCESS);
  unsetenv("OCILITE_BUSY_TIMEOUT_MS");
  reader.ok("CREATE TABLE t (a NUMBER)");
  reader.ok("INSERT INTO t VALUES (1)");
  reader.ok("INSERT INTO t VALUES (2)");
  reader.ok("COMMIT");
  OCIStmt *stmt = reader.prepare("SELECT a FROM t");
  ASSERT_EQ(reader.execute(stmt, 0), OCI_SUCCESS);
  int a = 0;
  OCIDefine *def = nullptr;
  ASSERT_EQ(OCIDefineByPos(stmt, &def, reader.err, 1, &a, sizeof a, SQLT_INT, nullptr, nullptr, nullptr, OCI_DEFAULT),
            OCI_SUCCESS);
  ASSERT_EQ(OCIStmtFetch(stmt, reader.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_SUCCESS);
  // The open query keeps the writer from committing...
  writer.ok("INSERT INTO t VALUES (3)");
  EXPECT_EQ(writer.run("COMMIT"), OCI_ERROR);
  EXPECT_EQ(writer.code(), 30006);
  // ... until its session ends, though its handle lives on.
  reader.logoff();
  writer.ok("COMMIT");
  EXPECT_EQ(OCIStmtFetch(stmt, reader.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_ERROR);
  EXPECT_EQ(reader.errors(), "ORA-03114: not connected to ORACLE\n");
}

TEST(Logon, AFailedLogoffLeavesItsHandlesToTheCaller) {
  TempDb db;
  setenv("OCILITE_BUSY_TIMEOUT_MS", "200", 1);
  Client reader, writer;
  ASSERT_EQ(reader.logon(db.path()), OCI_SUCCESS);
  ASSERT_EQ(writer.logon(db.path()), OCI_SUCCESS);
  unsetenv("OCILITE_BUSY_TIMEOUT_MS");
  reader.ok("CREATE TABLE t (a NUMBER)");
  reader.ok("INSERT INTO t VALUES (1)");
  reader.ok("COMMIT");
  OCIStmt *stmt = reader.prepare("SELECT a FROM t");
  int a = 0;
  OCIDefine *def = nullptr;
  ASSERT_EQ(OCIDefineByPos(stmt, &def, reader.err, 1, &a, sizeof a, SQLT_INT, nullptr, nullptr, nullptr, OCI_DEFAULT),
            OCI_SUCCESS);
  ASSERT_EQ(reader.execute(stmt, 0), OCI_SUCCESS);
  ASSERT_EQ(OCIStmtFetch(stmt, reader.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_SUCCESS);  // holds a read lock

  writer.ok("INSERT INTO t VALUES (2)");
  OCISvcCtx *svc = writer.svc;
  EXPECT_EQ(OCILogoff(svc, writer.err), OCI_ERROR);
  EXPECT_EQ(writer.code(), 30006);
  // The session is over, but its handle is still the caller's to free.
  EXPECT_EQ(writer.run("INSERT INTO t VALUES (3)"), OCI_ERROR);
  EXPECT_EQ(writer.errors(), "ORA-03114: not connected to ORACLE\n");
  EXPECT_EQ(OCITransCommit(svc, writer.err, OCI_DEFAULT), OCI_ERROR);
  EXPECT_EQ(OCIHandleFree(svc, OCI_HTYPE_SVCCTX), OCI_SUCCESS);
  EXPECT_EQ(OCIHandleFree(svc, OCI_HTYPE_SVCCTX), OCI_INVALID_HANDLE);
  writer.svc = nullptr;
  reader.freeStatements();
  EXPECT_EQ(reader.value("SELECT COUNT(*) FROM t"), "1");
}

TEST(Logon, AFileThatIsNoDatabaseFailsWithAClearError) {
  TempDb db;
  FILE *f = std::fopen(db.path().c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fputs("this is a text file, long enough to have a header of its own ......................", f);
  std::fclose(f);
  Client c;
  EXPECT_EQ(c.logon(db.path()), OCI_ERROR);
  EXPECT_EQ(c.code(), 1034);
  EXPECT_NE(c.errors().find("ORA-01034: ORACLE not available"), std::string::npos) << c.errors();
  EXPECT_EQ(c.svc, nullptr);
}

TEST(Handles, DeadWrongOrNullHandlesAreInvalid) {
  Client c;
  EXPECT_EQ(OCIHandleFree(nullptr, OCI_HTYPE_STMT), OCI_INVALID_HANDLE);
  // A handle of another type.
  EXPECT_EQ(OCIHandleFree(c.err, OCI_HTYPE_STMT), OCI_INVALID_HANDLE);
  OCIStmt *stmt = nullptr;
  ASSERT_EQ(OCIHandleAlloc(c.env, reinterpret_cast<void **>(&stmt), OCI_HTYPE_STMT, 0, nullptr), OCI_SUCCESS);
  EXPECT_EQ(OCIHandleFree(stmt, OCI_HTYPE_STMT), OCI_SUCCESS);
  EXPECT_EQ(OCIHandleFree(stmt, OCI_HTYPE_STMT), OCI_INVALID_HANDLE);
  EXPECT_EQ(OCIStmtPrepare(stmt, c.err, ot("SELECT 1 FROM DUAL"), 18, OCI_NTV_SYNTAX, OCI_DEFAULT),
            OCI_INVALID_HANDLE);
  // A bad parent.
  void *h = nullptr;
  EXPECT_EQ(OCIHandleAlloc(c.err, &h, OCI_HTYPE_STMT, 0, nullptr), OCI_INVALID_HANDLE);
  EXPECT_EQ(h, nullptr);
  // Bind and define handles are made only by their calls.
  EXPECT_EQ(OCIHandleAlloc(c.env, &h, OCI_HTYPE_BIND, 0, nullptr), OCI_ERROR);
  EXPECT_EQ(errorRecords(c.env, OCI_HTYPE_ENV), "ORA-24315: illegal attribute type\n");
  EXPECT_EQ(OCIInitialize(OCI_DEFAULT, nullptr, nullptr, nullptr, nullptr), OCI_SUCCESS);
}

TEST(Errors, RecordsAreNumberedFromOneAndCutToTheBuffer) {
  TempDb db;
  Client c;
  ASSERT_EQ(c.logon(db.dir() + "/missing.db"), OCI_ERROR);
  sb4 code = 0;
  char buf[64];
  EXPECT_EQ(OCIErrorGet(c.err, 0, nullptr, &code, reinterpret_cast<OraText *>(buf), sizeof buf, OCI_HTYPE_ERROR),
            OCI_NO_DATA);
  ASSERT_EQ(OCIErrorGet(c.err, 1, nullptr, &code, reinterpret_cast<OraText *>(buf), sizeof buf, OCI_HTYPE_ERROR),
            OCI_SUCCESS);
  EXPECT_EQ(code, 12154);
  EXPECT_EQ(OCIErrorGet(c.err, 2, nullptr, &code, reinterpret_cast<OraText *>(buf), sizeof buf, OCI_HTYPE_ERROR),
            OCI_NO_DATA);
  char small[10];
  ASSERT_EQ(OCIErrorGet(c.err, 1, nullptr, &code, reinterpret_cast<OraText *>(small), sizeof small,
                        OCI_HTYPE_ERROR),
            OCI_SUCCESS);
  EXPECT_STREQ(small, "ORA-12154");
  // The next call that reports into the handle replaces the records.
  ASSERT_EQ(c.logon(db.path()), OCI_SUCCESS);
  EXPECT_EQ(c.errors(), "");
}

TEST(Errors, ThreeRecordsComeInOrderThenNoData) {
  TempDb db;
  Client c;
  ASSERT_EQ(c.logon(db.path()), OCI_SUCCESS);
  c.ok("CREATE TABLE t (a NUMBER)");
  // A trigger that refuses a row with an error stack of its own.
  c.ok("CREATE TRIGGER t_check BEFORE INSERT ON t WHEN new.a < 0 BEGIN SELECT RAISE(ABORT, "
       "'ORA-20001: negative amount\nORA-06512: at \"SCOTT.T_CHECK\", line 2\n"
       "ORA-04088: error during execution of trigger ''SCOTT.T_CHECK''');"
       " END");
  EXPECT_EQ(c.run("INSERT INTO t VALUES (-1)"), OCI_ERROR);
  sb4 codes[4] = {0, 0, 0, 0};
  std::string texts[3];
  char buf[256];
  for (ub4 n = 1; n <= 3; ++n) {
    ASSERT_EQ(OCIErrorGet(c.err, n, nullptr, &codes[n - 1], reinterpret_cast<OraText *>(buf), sizeof buf,
                          OCI_HTYPE_ERROR),
              OCI_SUCCESS);
    texts[n - 1] = buf;
  }
  EXPECT_EQ(OCIErrorGet(c.err, 4, nullptr, &codes[3], reinterpret_cast<OraText *>(buf), sizeof buf,
                        OCI_HTYPE_ERROR),
            OCI_NO_DATA);
  EXPECT_EQ(codes[0], 20001);
  EXPECT_EQ(codes[1], 6512);
  EXPECT_EQ(codes[2], 4088);
  EXPECT_EQ(texts[0], "ORA-20001: negative amount\n");
  EXPECT_EQ(texts[1], "ORA-06512: at \"SCOTT.T_CHECK\", line 2\n");
  EXPECT_EQ(texts[2], "ORA-04088: error during execution of trigger 'SCOTT.T_CHECK'\n");
  EXPECT_EQ(c.value("SELECT COUNT(*) FROM t"), "0");
}

TEST(Errors, UnknownTableColumnAndRejectedSql) {
  TempDb db;
  Client c;
  ASSERT_EQ(c.logon(db.path()), OCI_SUCCESS);
  c.ok("CREATE TABLE t (a NUMBER)");
  EXPECT_EQ(c.run("SELECT a FROM nosuch"), OCI_ERROR);
  EXPECT_EQ(c.errors(), "ORA-00942: table or view does not exist\n");
  EXPECT_EQ(c.run("SELECT b FROM t"), OCI_ERROR);
  EXPECT_EQ(c.errors(), "ORA-00904: \"B\": invalid identifier\n");
  EXPECT_EQ(c.run("INSERT INTO t (b) VALUES (1)"), OCI_ERROR);
  EXPECT_EQ(c.code(), 904);
  EXPECT_EQ(c.run("SELECT FROM WHERE"), OCI_ERROR);
  EXPECT_EQ(c.code(), 900);
  EXPECT_EQ(c.errors().rfind("ORA-00900: invalid SQL statement\n", 0), 0u) << c.errors();
}

TEST(Locking, ABusyDatabaseFailsAfterABoundedWait) {
  TempDb db;
  setenv("OCILITE_BUSY_TIMEOUT_MS", "200", 1);
  Client a, b;
  ASSERT_EQ(a.logon(db.path()), OCI_SUCCESS);
  ASSERT_EQ(b.logon(db.path()), OCI_SUCCESS);
  unsetenv("OCILITE_BUSY_TIMEOUT_MS");
  a.ok("CREATE TABLE t (a NUMBER)");
  a.ok("INSERT INTO t VALUES (1)");  // holds the write lock until commit
  EXPECT_EQ(b.run("INSERT INTO t VALUES (2)"), OCI_ERROR);
  EXPECT_EQ(b.errors(), "ORA-30006: resource busy; acquire with WAIT timeout expired\n");
  // Not yet committed: invisible to the other session.
  EXPECT_EQ(b.value("SELECT COUNT(*) FROM t"), "0");
  a.ok("COMMIT");
  EXPECT_EQ(b.value("SELECT COUNT(*) FROM t"), "1");
  b.ok("INSERT INTO t VALUES (2)");
  b.ok("COMMIT");
  EXPECT_EQ(a.value("SELECT COUNT(*) FROM t"), "2");
}

}  // namespace
}  // namespace ocilite_test
