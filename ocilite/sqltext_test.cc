// Oracle forms of SQL that libocilite takes (schema prefixes, DUAL, hints,
// TO_CHAR, TO_DATE, NVL), and texts it must refuse without harm.
#include "ocilite/testing/oci_client.h"

namespace ocilite_test {
namespace {

TEST_F(OciTest, OracleFormsOfSql) {
  c.ok("ALTER SESSION SET NLS_DATE_FORMAT = 'YYYYMMDD'");
  c.ok("CREATE TABLE orders (id NUMBER(6), placed DATE, note VARCHAR2(20))");
  c.ok("INSERT /*+ APPEND */ INTO scott.orders (id, placed, note) VALUES (1, TO_DATE('20240105', 'YYYYMMDD'), 'a')");
  c.ok("insert into ORDERS values (2, '20240301', NULL) -- a comment");
  EXPECT_EQ(c.column("SELECT UNIQUE note FROM scott.orders WHERE note IS NOT NULL"),
            (std::vector<std::string>{"a"}));
  EXPECT_EQ(c.column("SELECT TO_CHAR(placed, 'DD.MM.YYYY') FROM orders ORDER BY id"),
            (std::vector<std::string>{"05.01.2024", "01.03.2024"}));
  EXPECT_EQ(c.column("SELECT NVL(note, '-') FROM orders ORDER BY id"), (std::vector<std::string>{"a", "-"}));
  EXPECT_EQ(c.column("SELECT id FROM orders WHERE placed > TO_DATE('20240201') ORDER BY id"),
            (std::vector<std::string>{"2"}));
  // Text compared with a DATE column is read as a date.
  EXPECT_EQ(c.column("SELECT id FROM orders WHERE placed > '20240201' ORDER BY id"),
            (std::vector<std::string>{"2"}));
  EXPECT_EQ(c.column("SELECT id FROM orders o WHERE '20240201' >= o.placed"), (std::vector<std::string>{"1"}));
  EXPECT_EQ(c.column("SELECT id FROM orders WHERE placed BETWEEN '20240101' AND '20240110'"),
            (std::vector<std::string>{"1"}));
  EXPECT_EQ(c.column("SELECT id FROM orders WHERE placed <> '20240105'"), (std::vector<std::string>{"2"}));
  EXPECT_EQ(c.column("SELECT id FROM orders WHERE note = '20240105'"), (std::vector<std::string>{}));
  OCIStmt *badDate = c.prepare("SELECT id FROM orders WHERE placed = '2024011'");
  char idText[8];
  OCIDefine *idDef = nullptr;
  ASSERT_EQ(OCIDefineByPos(badDate, &idDef, c.err, 1, idText, sizeof idText, SQLT_STR, nullptr, nullptr, nullptr,
                           OCI_DEFAULT),
            OCI_SUCCESS);
  EXPECT_EQ(c.execute(badDate, 1), OCI_ERROR);
  EXPECT_EQ(c.errors(), "ORA-01840: input value not long enough for date format\n");
  EXPECT_EQ(c.column("SELECT id FROM orders WHERE placed = '2024-01-05'"), (std::vector<std::string>{"1"}));
  // DATE plus or minus days.
  EXPECT_EQ(c.column("SELECT TO_CHAR(placed + 30) FROM orders ORDER BY id"),
            (std::vector<std::string>{"20240204", "20240331"}));
  EXPECT_EQ(c.value("SELECT TO_CHAR(o.placed - 5, 'YYYY-MM-DD HH24:MI') FROM orders o WHERE id = 2"),
            "2024-02-25 00:00");
  EXPECT_EQ(c.value("SELECT TO_CHAR(placed - 1/24, 'YYYY-MM-DD HH24:MI') FROM orders WHERE id = 1"),
            "2024-01-04 23:00");
  EXPECT_EQ(c.column("SELECT id FROM orders WHERE placed > SYSDATE - 36500 ORDER BY id"),
            (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(c.column("SELECT id FROM orders WHERE placed + 60 > SYSDATE"), (std::vector<std::string>{}));
  EXPECT_EQ(c.column("SELECT id FROM orders WHERE placed - 2*7 < '20240101'"), (std::vector<std::string>{"1"}));
  EXPECT_EQ(c.value("SELECT 'x' FROM DUAL"), "x");
  EXPECT_EQ(c.value("SELECT TO_NUMBER(' 12.50 ') FROM DUAL"), "12.5");
  EXPECT_EQ(c.run("SELECT TO_NUMBER('12,5') FROM DUAL"), OCI_SUCCESS);
  // A conversion error inside a query comes from the fetch.
  OCIStmt *bad = c.prepare("SELECT TO_DATE('20241301') FROM DUAL");
  char buf[16];
  OCIDefine *def = nullptr;
  ASSERT_EQ(OCIDefineByPos(bad, &def, c.err, 1, buf, sizeof buf, SQLT_STR, nullptr, nullptr, nullptr, OCI_DEFAULT),
            OCI_SUCCESS);
  EXPECT_EQ(c.execute(bad, 1), OCI_ERROR);
  EXPECT_EQ(c.errors(), "ORA-01843: not a valid month\n");

  // Placeholders match ignoring case, and a name bound twice is one value.
  OCIStmt *upd = c.prepare("UPDATE orders SET note = :Note WHERE id = :ID OR note = :note");
  char note[] = "b", id[] = "2";
  OCIBind *b = nullptr;
  ASSERT_EQ(OCIBindByName(upd, &b, c.err, ot(":NOTE"), -1, note, sizeof note, SQLT_STR, nullptr, nullptr, nullptr, 0,
                          nullptr, OCI_DEFAULT),
            OCI_SUCCESS);
  ASSERT_EQ(OCIBindByName(upd, &b, c.err, ot(":id"), -1, id, sizeof id, SQLT_STR, nullptr, nullptr, nullptr, 0,
                          nullptr, OCI_DEFAULT),
            OCI_SUCCESS);
  ASSERT_EQ(c.execute(upd), OCI_SUCCESS) << c.errors();
  EXPECT_EQ(c.rowCount(upd), 1u);
  EXPECT_EQ(c.value("SELECT note FROM orders WHERE id = 2"), "b");
  // Literal values follow the rules of bound ones.
  c.ok("CREATE TABLE v (n NUMBER(5,2) NOT NULL, s VARCHAR2(3), c CHAR(3))");
  c.ok("INSERT INTO v VALUES (1.005, 'ab', 'x')");
  c.ok("INSERT INTO v (s, n) VALUES ('', -2)");
  EXPECT_EQ(c.column("SELECT n FROM v ORDER BY n"), (std::vector<std::string>{"-2", "1.01"}));
  EXPECT_EQ(c.value("SELECT COUNT(*) FROM v WHERE s IS NULL"), "1");
  EXPECT_EQ(c.value("SELECT c FROM v WHERE n > 0"), "x  ");
  EXPECT_EQ(c.run("INSERT INTO v (n, s) VALUES (1, 'abcd')"), OCI_ERROR);
  EXPECT_EQ(c.code(), 12899);
  EXPECT_EQ(c.run("INSERT INTO v (n) VALUES (1234)"), OCI_ERROR);
  EXPECT_EQ(c.code(), 1438);
  EXPECT_EQ(c.run("INSERT INTO v (n) VALUES ('')"), OCI_ERROR);
  EXPECT_EQ(c.code(), 1400);
  EXPECT_EQ(c.run("UPDATE v SET s = 'toolong' WHERE n = -2"), OCI_ERROR);
  EXPECT_EQ(c.code(), 12899);
  c.ok("UPDATE v SET s = 'it''', n = n + 1 WHERE n = -2");
  EXPECT_EQ(c.value("SELECT s FROM v WHERE n = -1"), "it'");
  // SQL literals do not follow the session's decimal character.
  c.ok("ALTER SESSION SET NLS_TERRITORY = GERMANY");
  c.ok("INSERT INTO v (n) VALUES (2.5)");
  EXPECT_EQ(c.value("SELECT COUNT(*) FROM v WHERE n = 2.5"), "1");
  c.ok("ALTER SESSION SET NLS_TERRITORY = AMERICA");

  // An UPDATE or DELETE that touches nothing succeeds with a count of 0.

  OCIStmt *none = c.prepare("DELETE FROM orders WHERE id = 99");
  EXPECT_EQ(c.execute(none), OCI_SUCCESS);
  EXPECT_EQ(c.rowCount(none), 0u);
}

// Oracle raises what SQLite would answer with NULL or an infinity.  The
// error of a query comes from its fetch.
TEST_F(OciTest, DivisionByZeroAndNumericOverflowRaiseOracleErrors) {
  c.ok("CREATE TABLE q (id NUMBER(4), qty NUMBER(6,2), t VARCHAR2(8))");
  c.ok("INSERT INTO q VALUES (1, 5, '0')");
  c.ok("INSERT INTO q VALUES (2, 0, 'x')");
  c.ok("INSERT INTO q VALUES (3, NULL, ' 2.5 ')");
  auto fails = [&](const char *sql) {
    std::vector<std::string> none;
    OCIStmt *stmt = c.prepare(sql);
    char buf[64];
    OCIDefine *def = nullptr;
    EXPECT_EQ(OCIDefineByPos(stmt, &def, c.err, 1, buf, sizeof buf, SQLT_STR, nullptr, nullptr, nullptr,
                             OCI_DEFAULT),
              OCI_SUCCESS);
    sword rc = c.execute(stmt, 0);
    while (rc == OCI_SUCCESS) rc = OCIStmtFetch(stmt, c.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT);
    EXPECT_EQ(rc, OCI_ERROR) << sql;
    return rc == OCI_ERROR ? c.errors() : std::string();
  };
  const std::string zero = "ORA-01476: divisor is equal to zero\n";
  for (const char *sql : {"SELECT 10/qty FROM q ORDER BY id", "SELECT 10 / 0 FROM DUAL",
                          "SELECT id FROM q WHERE 10 / -q.qty > 1", "SELECT 1/(qty - 5) FROM q WHERE id = 1",
                          "SELECT 1/ABS(qty) FROM q WHERE id = 2", "SELECT 1/CASE WHEN id = 2 THEN qty END FROM q WHERE id = 2",
                          "SELECT 7/t FROM q WHERE id = 1", "SELECT 7/0.0 FROM DUAL",
                          "SELECT TO_CHAR(SYSDATE + 1/0) FROM DUAL"})
    EXPECT_EQ(fails(sql), zero) << sql;
  EXPECT_EQ(fails("SELECT 7/t FROM q WHERE id = 2"), "ORA-01722: invalid number\n");
  // Only the operand right of "/" is the divisor: 10/qty*2 is (10/qty)*2.
  EXPECT_EQ(c.value("SELECT 10/qty*2 FROM q WHERE id = 1"), "4");
  EXPECT_EQ(c.value("SELECT 30/q.qty/3 FROM q WHERE id = 1"), "2");
  EXPECT_EQ(c.value("SELECT 5/t FROM q WHERE id = 3"), "2");
  EXPECT_EQ(c.value("SELECT 10/qty FROM q WHERE id = 3"), "<null>");

  EXPECT_EQ(fails("SELECT TO_NUMBER('1e400') FROM DUAL"), "ORA-01426: numeric overflow\n");
  EXPECT_EQ(fails("SELECT TO_NUMBER('-1E126') FROM DUAL"), "ORA-01426: numeric overflow\n");
  EXPECT_EQ(c.value("SELECT TO_NUMBER('9.5E125') FROM DUAL"), "9.5E+125");
}

TEST_F(OciTest, HostileTextsAreRefusedWithAnOraRecord) {
  c.ok("CREATE TABLE t (a NUMBER)");
  const char *texts[] = {"'unterminated",
                         "\"",
                         "SELECT :",
                         "SELECT a FROM t WHERE a = :",
                         "SELECT ((((a FROM t",
                         "INSERT INTO",
                         "INSERT INTO t (",
                         "INSERT INTO t VALUES (",
                         "UPDATE t SET",
                         "ALTER SESSION SET",
                         "ALTER SESSION SET NLS_DATE_FORMAT",
                         "ALTER SESSION SET NLS_DATE_FORMAT = 'QQQ'",
                         "ALTER SESSION SET NLS_TERRITORY = NOWHERE",
                         "ALTER SESSION SET bogus = 1",
                         "TRUNCATE TABLE",
                         "TRUNCATE t",
                         "ALTER TABLE DEALLOCATE UNUSED",
                         "DELETE FROM t; DROP TABLE t",
                         "SELECT TO_CHAR( FROM t",
                         "SELECT TO_DATE('1', 'YYYYQQ') FROM DUAL",
                         "-- only a comment",
                         "/* only a comment */",
                         "SELECT a FROM \"T\".\"\".\"\"",
                         "FOO BAR"};
  for (const char *text : texts) {
    OCIStmt *stmt = nullptr;
    ASSERT_EQ(OCIHandleAlloc(c.env, reinterpret_cast<void **>(&stmt), OCI_HTYPE_STMT, 0, nullptr), OCI_SUCCESS);
    sword rc = OCIStmtPrepare(stmt, c.err, ot(text), len(text), OCI_NTV_SYNTAX, OCI_DEFAULT);
    if (rc == OCI_SUCCESS) {
      char buf[8];
      OCIDefine *def = nullptr;
      OCIDefineByPos(stmt, &def, c.err, 1, buf, sizeof buf, SQLT_STR, nullptr, nullptr, nullptr, OCI_DEFAULT);
      rc = c.execute(stmt, 1);
    }
    EXPECT_EQ(rc, OCI_ERROR) << text;
    EXPECT_EQ(c.errors().rfind("ORA-", 0), 0u) << text << ": " << c.errors();
    OCIHandleFree(stmt, OCI_HTYPE_STMT);
  }
  // Nothing of the above dropped or changed the table.
  EXPECT_EQ(c.value("SELECT COUNT(*) FROM t"), "0");
  OCIStmt *stmt = nullptr;
  ASSERT_EQ(OCIHandleAlloc(c.env, reinterpret_cast<void **>(&stmt), OCI_HTYPE_STMT, 0, nullptr), OCI_SUCCESS);
  EXPECT_EQ(OCIStmtPrepare(stmt, c.err, ot("SELECT 1"), 0, OCI_NTV_SYNTAX, OCI_DEFAULT), OCI_ERROR);
  EXPECT_EQ(OCIStmtExecute(c.svc, stmt, c.err, 0, 0, nullptr, nullptr, OCI_DEFAULT), OCI_ERROR);
  EXPECT_EQ(c.code(), 24338);
  OCIHandleFree(stmt, OCI_HTYPE_STMT);
}

}  // namespace
}  // namespace ocilite_test
