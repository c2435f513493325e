// The session layer over the OCI library the programs link (libocilite by
// default, or the library named by DRIFT_ORACLE_CLIENT when it is a build of
// libocilite): logon and its messages, describe, the export's defines and
// block fetch, the import's array insert, error stacks and teardown.  Built
// once per build of the layer.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "oracle/oracle_session.h"
#include "tests/scratch_dir.h"

namespace {

#if DRIFT_IMPORT_BUILD
constexpr bool kImport = true;
#else
constexpr bool kImport = false;
#endif

template <typename Action>
int codeOf(Action action) {
  try {
    action();
  } catch (int code) {
    return code;
  }
  return 0;
}

class LayerOverOcilite : public ::testing::Test {
 protected:
  void SetUp() override {
    path = dir + "/drift.db";
    FILE *f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
  }
  // Runs one statement that must succeed.
  void run(OracleSession &session, const char *sql) {
    OracleStatement st(&session);
    try {
      st.prepare(sql);
      st.execute(1);
    } catch (int code) {
      FAIL() << sql << ": " << session.errorText(code);
    }
  }
  ScratchDir scratch{"oracle_ocilite"};
  const std::string dir = scratch.path();
  std::string path;
};

TEST_F(LayerOverOcilite, LogonFailuresCarryTheServerText) {
  OracleSession session;
  int code = codeOf([&] { session.open("scott", "tiger", (dir + "/none.db").c_str()); });
  EXPECT_EQ(code, OracleErrorCode::Logon);
  EXPECT_FALSE(session.isOpen());
  EXPECT_EQ(session.errorText(code),
            std::string("Can't logon to database.\nORA-12154: TNS:could not resolve the connect identifier "
                        "specified: \"") +
                dir + "/none.db\"" + (kImport ? " " : "\n"));
  // The users table is its administrator's, made with sqlite3: no session
  // may reach it.
  FILE *admin = popen(("/usr/bin/sqlite3 '" + path + "'").c_str(), "w");
  ASSERT_NE(admin, nullptr);
  std::fputs("CREATE TABLE ocilite_users (name TEXT PRIMARY KEY, password TEXT);\n"
             "INSERT INTO ocilite_users VALUES ('SCOTT', 'tiger');\n",
             admin);
  ASSERT_EQ(pclose(admin), 0);
  code = codeOf([&] { session.open("scott", "TIGER", path.c_str()); });
  EXPECT_EQ(code, OracleErrorCode::Logon);
  EXPECT_NE(session.errorText(code).find("ORA-01017: invalid username/password; logon denied"), std::string::npos);
  // The same session logs on once the password is right, and again after a close.
  ASSERT_EQ(codeOf([&] { session.open("scott", "tiger", path.c_str()); }), 0) << session.errorText(5);
  EXPECT_EQ(codeOf([&] { session.open("scott", "tiger", path.c_str()); }), OracleErrorCode::AlreadyOpen);
  EXPECT_EQ(session.errorText(OracleErrorCode::AlreadyOpen), "Database already opened.\n");
  session.close();
  ASSERT_EQ(codeOf([&] { session.open("scott", "tiger", path.c_str()); }), 0);
  session.close();
  session.close();  // nothing left to do
}

// Logoff frees the service context it made; the session forgets it, so the
// destructor frees only the handles still its own.
TEST_F(LayerOverOcilite, CloseAndTeardownFreeEachHandleOnce) {
  for (int round = 0; round < 3; ++round) {
    OracleSession session;
    session.open("u", "p", path.c_str());
    OracleStatement st(&session);
    st.prepare("SELECT 1 FROM DUAL");
    if (round == 1) session.close();
    // round 2: the destructor logs off.
  }
  SUCCEED();
}

// A logoff whose commit cannot get the database: Logoff with the server's
// text, the session closed, and the destructor frees the handles still its own.
TEST_F(LayerOverOcilite, AFailedLogoffClosesAndTheDestructorFreesWhatIsLeft) {
  setenv("OCILITE_BUSY_TIMEOUT_MS", "200", 1);
  {
    OracleSession setup;
    setup.open("u", "p", path.c_str());
    run(setup, "CREATE TABLE t (a NUMBER)");
    run(setup, "INSERT INTO t VALUES (1)");
    setup.close();
  }
  // Another client keeps a query open: its read lock stops any commit.
  OCIEnv *env = nullptr;
  OCIError *err = nullptr;
  OCISvcCtx *svc = nullptr;
  OCIStmt *stmt = nullptr;
  ASSERT_EQ(OCIEnvInit(&env, OCI_DEFAULT, 0, nullptr), OCI_SUCCESS);
  ASSERT_EQ(OCIHandleAlloc(env, reinterpret_cast<void **>(&err), OCI_HTYPE_ERROR, 0, nullptr), OCI_SUCCESS);
  ASSERT_EQ(OCILogon(env, err, &svc, reinterpret_cast<const OraText *>("r"), 1, nullptr, 0,
                     reinterpret_cast<const OraText *>(path.c_str()), static_cast<ub4>(path.size())),
            OCI_SUCCESS);
  ASSERT_EQ(OCIHandleAlloc(env, reinterpret_cast<void **>(&stmt), OCI_HTYPE_STMT, 0, nullptr), OCI_SUCCESS);
  const char *query = "SELECT a FROM t";
  ASSERT_EQ(OCIStmtPrepare(stmt, err, reinterpret_cast<const OraText *>(query), 15, OCI_NTV_SYNTAX, OCI_DEFAULT),
            OCI_SUCCESS);
  int a = 0;
  OCIDefine *def = nullptr;
  ASSERT_EQ(OCIDefineByPos(stmt, &def, err, 1, &a, sizeof a, SQLT_INT, nullptr, nullptr, nullptr, OCI_DEFAULT),
            OCI_SUCCESS);
  ASSERT_EQ(OCIStmtExecute(svc, stmt, err, 0, 0, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS);
  ASSERT_EQ(OCIStmtFetch(stmt, err, 1, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_SUCCESS);
  {
    OracleSession session;
    session.open("u", "p", path.c_str());
    unsetenv("OCILITE_BUSY_TIMEOUT_MS");
    run(session, "INSERT INTO t VALUES (2)");
    int code = codeOf([&] { session.close(); });
    EXPECT_EQ(code, OracleErrorCode::Logoff);
    EXPECT_FALSE(session.isOpen());
    EXPECT_EQ(session.errorText(code),
              kImport ? "Can't logoff from database.\nORA-30006: resource busy; acquire with WAIT timeout expired "
                      : "Can't logoff from database.\nORA-30006: resource busy; acquire with WAIT timeout expired\n");
  }
  OCIHandleFree(stmt, OCI_HTYPE_STMT);
  EXPECT_EQ(OCILogoff(svc, err), OCI_SUCCESS);
  OCIHandleFree(err, OCI_HTYPE_ERROR);
  OracleSession check;
  check.open("u", "p", path.c_str());
  OracleStatement st(&check);
  st.prepare("DELETE FROM t");
  st.execute(1);
  check.close();
}

TEST_F(LayerOverOcilite, StatementsOutlivingTheirLogonFailCleanly) {
  OracleSession session;
  session.open("u", "p", path.c_str());
  run(session, "CREATE TABLE t (a NUMBER)");
  OracleStatement st(&session);
  st.prepare("SELECT a FROM t");
  session.close();
  int code = codeOf([&] { st.execute(0); });
  EXPECT_EQ(code, OracleErrorCode::Execute);
  EXPECT_EQ(session.errorText(code), "Error while execute SQL-statement.\nError - OCI_INVALID_HANDLE.");
  EXPECT_EQ(codeOf([&] { st.prepare("SELECT a FROM t"); }), OracleErrorCode::NotOpen);
}

TEST_F(LayerOverOcilite, ErrorStacksAreJoinedInOrder) {
  OracleSession session;
  session.open("scott", "", path.c_str());
  run(session, "CREATE TABLE t (a NUMBER)");
  run(session,
      "CREATE TRIGGER t_check BEFORE INSERT ON t WHEN new.a < 0 BEGIN SELECT RAISE(ABORT, "
      "'ORA-20001: negative amount\nORA-06512: at line 2\nORA-04088: error during execution of trigger'); END");
  OracleStatement st(&session);
  st.prepare("INSERT INTO t VALUES (-1)");
  int code = codeOf([&] { st.execute(1); });
  ASSERT_EQ(code, OracleErrorCode::Execute);
  EXPECT_EQ(session.errorText(code),
            kImport ? "Error while execute SQL-statement.\nORA-20001: negative amount ORA-06512: at line 2 ORA-04088: error during "
                      "execution of trigger "
                    : "Error while execute SQL-statement.\nORA-20001: negative amount\nORA-06512: at line 2\n"
                      "ORA-04088: error during execution of trigger\n");
}

TEST_F(LayerOverOcilite, DescribeGivesTypeCodesAndBeyondTheListFails) {
  OracleSession session;
  session.open("u", "p", path.c_str());
  run(session, "CREATE TABLE t (n NUMBER(8,2), s VARCHAR2(12), d DATE, c CHAR(3))");
  OracleStatement st(&session);
  st.prepare("SELECT n, s, d, c FROM t");
  st.describe();
  EXPECT_EQ(st.columnType(1), SQLT_NUM);
  EXPECT_EQ(st.columnType(2), SQLT_CHR);
  EXPECT_EQ(st.columnType(3), SQLT_DAT);
  EXPECT_EQ(st.columnType(4), SQLT_AFC);
  int code = codeOf([&] { st.columnType(5); });
  EXPECT_EQ(code, OracleErrorCode::ParamGet);
  // The import build's table stops at code 11.
  EXPECT_EQ(session.errorText(code),
            kImport ? "Unexpected error.\nORA-24334: no descriptor for this position "
                    : "Can't get '5' parameter description.\nORA-24334: no descriptor for this position\n");
#if !DRIFT_IMPORT_BUILD
  char name[8];
  st.columnName(2, name, sizeof name);
  EXPECT_STREQ(name, "S");
  EXPECT_EQ(st.columnSize(2), 12);
  EXPECT_EQ(st.columnSize(3), 7);
#endif
  OracleStatement missing(&session);
  missing.prepare("SELECT x FROM nosuch");
  code = codeOf([&] { missing.describe(); });
  EXPECT_EQ(code, OracleErrorCode::Execute);
  EXPECT_NE(session.errorText(code).find("ORA-00942: table or view does not exist"), std::string::npos);
}

#if !DRIFT_IMPORT_BUILD
// The export's way: session settings, a read-only transaction, TO_CHAR in
// the select list, code page 866 defines and blocks of rows.
TEST_F(LayerOverOcilite, ExportFetchesBlocksWithRunningRowCounts) {
  OracleSession session;
  session.open("u", "p", path.c_str());
  run(session, "CREATE TABLE t (id NUMBER(4), amount NUMBER(8,2), day DATE, name VARCHAR2(20))");
  for (int k = 1; k <= 25; ++k) {
    char sql[160];
    std::snprintf(sql, sizeof sql, "INSERT INTO t VALUES (%d, %d.5, TO_DATE('2024-01-%02d', 'YYYY-MM-DD'), %s)", k, k, k,
                  k % 5 == 0 ? "NULL" : "'Иван'");
    run(session, sql);
  }
  run(session, "COMMIT");
  run(session, "ALTER SESSION SET NLS_TERRITORY=AMERICA");
  run(session, "ALTER SESSION SET NLS_DATE_FORMAT=\"YYYYMMDD\"");
  session.startTransaction(OCI_TRANS_READONLY);

  OracleStatement st(&session);
  st.prepare("SELECT TO_CHAR(amount), TO_CHAR(day), name FROM t ORDER BY id");
  char amount[10][41], day[10][9], name[10][21];
  sb2 ia[10], id[10], in[10];
  ub2 la[10], ld[10], ln[10];
  st.defineColumn(1, amount, 41, 0, ia, la, 0);
  st.defineColumn(2, day, 9, 0, id, ld, 0);
  st.defineColumn(3, name, 21, 0, in, ln, 152);
  EXPECT_EQ(st.definesUsed(), 3);
  ASSERT_EQ(st.execute(0), 0);
  int total = 0, seen = 0;
  int results[3], totals[3];
  for (int call = 0; call < 3; ++call) {
    results[call] = st.fetch(10, &total);
    totals[call] = total;
    for (int r = 0; r < total - seen; ++r) {
      int idNumber = seen + r + 1;
      EXPECT_EQ(std::string(amount[r]), std::to_string(idNumber) + ".5");
      char wantDay[32];
      std::snprintf(wantDay, sizeof wantDay, "202401%02d", idNumber);
      EXPECT_STREQ(day[r], wantDay);
      if (idNumber % 5 == 0) {
        EXPECT_EQ(in[r], -1);
      } else {
        EXPECT_EQ(in[r], 0);
        EXPECT_STREQ(name[r], "\x88\xA2\xA0\xAD");  // "Иван" in code page 866
      }
    }
    seen = total;
  }
  EXPECT_EQ(results[0], 0);
  EXPECT_EQ(results[1], 0);
  EXPECT_EQ(results[2], 100);
  EXPECT_EQ(totals[0], 10);
  EXPECT_EQ(totals[1], 20);
  EXPECT_EQ(totals[2], 25);
  session.commit(OCI_DEFAULT);
  session.close();
}
#endif

// The import's way: an array INSERT of a block, then COMMIT, TRUNCATE and
// DEALLOCATE; a bad row stops the block with the server's text.
TEST_F(LayerOverOcilite, ImportInsertsBlocksAndStopsAtABadRow) {
  OracleSession session;
  session.open("u", "p", path.c_str());
  // Four Cyrillic letters are 8 bytes in the store's UTF-8.
  run(session, "CREATE TABLE t (id NUMBER(4), amount NUMBER(6,2), day DATE, name VARCHAR2(8))");
  run(session, "ALTER SESSION SET NLS_TERRITORY=AMERICA");
  run(session, "ALTER SESSION SET NLS_DATE_FORMAT=\"YYYYMMDD\"");
  OracleStatement ins(&session);
  ins.prepare("INSERT /*+ APPEND */ INTO t (id,amount,day,name) VALUES (:param0,:param1,:param2,:param3)");
  char ids[3][5] = {"1", "2", "3"};
  char amounts[3][9] = {"   12.50", "  -0.005", "    7"};
  char days[3][9] = {"20240131", "", "19991231"};
  char names[3][5] = {"\x88\xA2\xA0\xAD", "ab", ""};
  ins.bindParameter(":param0", ids, 5, 0, nullptr, 0);
  ins.bindParameter(":param1", amounts, 9, 0, nullptr, 0);
  ins.bindParameter(":param2", days, 9, 0, nullptr, 0);
  ins.bindParameter(":param3", names, 5, 0, nullptr, 152);
  EXPECT_EQ(ins.bindsUsed(), 4);
  ASSERT_EQ(codeOf([&] { ins.execute(3); }), 0) << session.errorText(OracleErrorCode::Execute);
  run(session, "COMMIT");

  std::strcpy(ids[1], "5");
  std::strcpy(days[1], "20240230");
  int code = codeOf([&] { ins.execute(3); });
  ASSERT_EQ(code, OracleErrorCode::Execute);
  EXPECT_EQ(session.errorText(code), kImport ? "Error while execute SQL-statement.\nORA-01839: date not valid for month specified "
                                             : "Error while execute SQL-statement.\nORA-01839: date not valid for "
                                               "month specified\n");
  run(session, "COMMIT");
  run(session, "ALTER TABLE t DEALLOCATE UNUSED");
  session.close();

  OracleSession check;
  check.open("u", "p", path.c_str());
  OracleStatement count(&check);
#if !DRIFT_IMPORT_BUILD
  count.prepare("SELECT TO_CHAR(id) || '|' || TO_CHAR(amount) || '|' || NVL(TO_CHAR(day, 'YYYYMMDD'), '-') || "
                "'|' || NVL(name, '-') FROM t ORDER BY id, amount");
  char rows[5][40];
  sb2 ind[5];
  ub2 lens[5];
  count.defineColumn(1, rows, 40, 0, ind, lens, 0);
  count.execute(0);
  int total = 0;
  EXPECT_EQ(count.fetch(5, &total), 100);
  ASSERT_EQ(total, 4);
  EXPECT_STREQ(rows[0], "1|12.5|20240131|Иван");
  EXPECT_STREQ(rows[1], "1|12.5|20240131|Иван");  // the row before the bad one
  EXPECT_STREQ(rows[2], "2|-.01|-|ab");
  EXPECT_STREQ(rows[3], "3|7|19991231|-");
#endif
  OracleStatement truncate(&check);
  truncate.prepare("TRUNCATE TABLE t");
  truncate.execute(1);
  check.close();
}

}  // namespace
