// Binds, array execution, Oracle's value rules and transactions of
// libocilite, through OCI only.
#include "ocilite/testing/oci_client.h"

#include <cmath>

namespace ocilite_test {
namespace {

// Binds :name to one NUL-terminated text.
void bindText(Client &c, OCIStmt *stmt, const char *name, const char *value) {
  OCIBind *b = nullptr;
  ASSERT_EQ(OCIBindByName(stmt, &b, c.err, ot(name), -1, const_cast<char *>(value),
                          static_cast<sb4>(std::strlen(value) + 1), SQLT_STR, nullptr, nullptr, nullptr, 0, nullptr,
                          OCI_DEFAULT),
            OCI_SUCCESS)
      << c.errors();
}

// Inserts one text into t(:v); returns the status.
sword insertText(Client &c, const char *sql, const char *value) {
  OCIStmt *stmt = c.prepare(sql);
  bindText(c, stmt, ":v", value);
  return c.execute(stmt);
}

TEST_F(OciTest, ArrayInsertStopsAtATooLongRowAndKeepsTheRowsBefore) {
  c.ok("CREATE TABLE t (id NUMBER(3), name VARCHAR2(10))");
  OCIStmt *ins = c.prepare("INSERT /*+ APPEND */ INTO t (id, name) VALUES (:id, :name)");
  char ids[3][4] = {"1", "2", "3"};
  char names[3][16] = {"first", "much too long", "third"};
  ub2 lens[3] = {5, 13, 5};
  OCIBind *b = nullptr;
  ASSERT_EQ(OCIBindByName(ins, &b, c.err, ot(":id"), 3, ids, 4, SQLT_STR, nullptr, nullptr, nullptr, 0, nullptr,
                          OCI_DEFAULT),
            OCI_SUCCESS);
  ASSERT_EQ(OCIBindByName(ins, &b, c.err, ot(":name"), 5, names, 16, SQLT_CHR, nullptr, lens, nullptr, 0, nullptr,
                          OCI_DEFAULT),
            OCI_SUCCESS);
  EXPECT_EQ(c.execute(ins, 3), OCI_ERROR);
  EXPECT_EQ(c.errors(),
            "ORA-12899: value too large for column \"SCOTT\".\"T\".\"NAME\" (actual: 13, maximum: 10)\n");
  EXPECT_EQ(c.rowCount(ins), 1u);
  c.ok("COMMIT");
  Client other;
  ASSERT_EQ(other.logon(db.path()), OCI_SUCCESS);
  EXPECT_EQ(other.column("SELECT name FROM t"), (std::vector<std::string>{"first"}));

  // The same statement again with the fault fixed: all three rows, the
  // lengths array deciding where each value ends.
  c.ok("TRUNCATE TABLE t");
  std::memcpy(names[1], "secondXXXXXXXX", 14);
  lens[1] = 6;
  ASSERT_EQ(c.execute(ins, 3), OCI_SUCCESS) << c.errors();
  EXPECT_EQ(c.rowCount(ins), 3u);
  EXPECT_EQ(c.column("SELECT name FROM t ORDER BY id"), (std::vector<std::string>{"first", "second", "third"}));
}

TEST_F(OciTest, BindIndicatorsAndEmptyTextAreNull) {
  c.ok("CREATE TABLE t (id NUMBER, a VARCHAR2(5), b VARCHAR2(5) NOT NULL)");
  EXPECT_EQ(insertText(c, "INSERT INTO t VALUES (1, :v, 'x')", ""), OCI_SUCCESS) << c.errors();
  EXPECT_EQ(c.value("SELECT a FROM t WHERE id = 1"), "<null>");
  EXPECT_EQ(c.value("SELECT COUNT(*) FROM t WHERE a IS NULL"), "1");

  EXPECT_EQ(insertText(c, "INSERT INTO t VALUES (2, 'y', :v)", ""), OCI_ERROR);
  EXPECT_EQ(c.errors(), "ORA-01400: cannot insert NULL into (\"SCOTT\".\"T\".\"B\")\n");

  // Indicator -1: NULL whatever the buffer holds.
  OCIStmt *ins = c.prepare("INSERT INTO t VALUES (3, :a, 'z')");
  char value[6] = "abc";
  sb2 ind = -1;
  OCIBind *bnd = nullptr;
  ASSERT_EQ(OCIBindByName(ins, &bnd, c.err, ot(":a"), -1, value, sizeof value, SQLT_STR, &ind, nullptr, nullptr, 0,
                          nullptr, OCI_DEFAULT),
            OCI_SUCCESS);
  ASSERT_EQ(c.execute(ins), OCI_SUCCESS);
  ind = 0;
  ASSERT_EQ(c.execute(ins), OCI_SUCCESS);
  EXPECT_EQ(c.column("SELECT a FROM t WHERE id = 3"), (std::vector<std::string>{"<null>", "abc"}));
  EXPECT_EQ(c.value("SELECT COUNT(*) FROM t"), "3");
}

TEST_F(OciTest, TextToNumberConversionsRoundingAndOverflow) {
  c.ok("CREATE TABLE t (n NUMBER(5,2))");
  const char *sql = "INSERT INTO t VALUES (:v)";
  struct Good {
    const char *in, *out;
  } good[] = {{"   12.50", "12.5"}, {"1.005", "1.01"}, {"-1.005", "-1.01"}, {"999.994", "999.99"},
              {".5e1", "5"},       {"-00001.", "-1"}, {"12 ", "12"},       {"+3", "3"}};
  for (const Good &g : good) {
    c.ok("DELETE FROM t");
    ASSERT_EQ(insertText(c, sql, g.in), OCI_SUCCESS) << g.in << ": " << c.errors();
    EXPECT_EQ(c.value("SELECT n FROM t"), g.out) << g.in;
  }
  c.ok("DELETE FROM t");
  for (const char *over : {"1000", "999.995", "-1234.5"}) {
    EXPECT_EQ(insertText(c, sql, over), OCI_ERROR) << over;
    // Oracle's text first, then the column, as newer servers name it.
    EXPECT_EQ(c.errors(),
              "ORA-01438: value larger than specified precision allowed for this column (column "
              "\"SCOTT\".\"T\".\"N\")\n")
        << over;
  }
  for (const char *bad : {"abc", "1,5", "12-", "1e", "--1", "."}) {
    EXPECT_EQ(insertText(c, sql, bad), OCI_ERROR) << bad;
    EXPECT_EQ(c.errors(), "ORA-01722: invalid number (column \"SCOTT\".\"T\".\"N\")\n") << bad;
  }
  EXPECT_EQ(c.value("SELECT COUNT(*) FROM t"), "0");

  // NUMBER(p) rounds to an integer; NUMBER(p,-2) to hundreds.
  c.ok("CREATE TABLE u (i NUMBER(3), h NUMBER(6,-2))");
  OCIStmt *ins = c.prepare("INSERT INTO u VALUES (:i, :h)");
  bindText(c, ins, ":i", "123.89");
  bindText(c, ins, ":h", "123.89");
  ASSERT_EQ(c.execute(ins), OCI_SUCCESS) << c.errors();
  EXPECT_EQ(c.value("SELECT i FROM u"), "124");
  EXPECT_EQ(c.value("SELECT h FROM u"), "100");
}

TEST_F(OciTest, NumbersKeepEveryDigitThatFitsTheirColumn) {
  c.ok("CREATE TABLE t (id NUMBER, n NUMBER, p NUMBER(38,10))");
  const char *values[] = {"12345678901234567890123456789012345678", "0.1", "123456789.0123456789",
                          "-9223372036854775809", "9223372036854775807", "3.14159265358979323846"};
  for (int k = 0; k < 6; ++k) {
    OCIStmt *ins = c.prepare("INSERT INTO t (id, n) VALUES (:id, :n)");
    char id[4];
    std::snprintf(id, sizeof id, "%d", k);
    bindText(c, ins, ":id", id);
    bindText(c, ins, ":n", values[k]);
    ASSERT_EQ(c.execute(ins), OCI_SUCCESS) << values[k] << ": " << c.errors();
  }
  std::vector<std::string> n = c.column("SELECT n FROM t ORDER BY id");
  ASSERT_EQ(n.size(), 6u);
  EXPECT_EQ(n[0], "12345678901234567890123456789012345678");
  EXPECT_EQ(n[1], ".1");
  EXPECT_EQ(n[2], "123456789.0123456789");
  EXPECT_EQ(n[3], "-9223372036854775809");
  EXPECT_EQ(n[4], "9223372036854775807");
  EXPECT_EQ(n[5], "3.14159265358979323846");
  // Digits beyond the scale are rounded away, and an integer part longer
  // than p - s is refused.
  EXPECT_EQ(insertText(c, "INSERT INTO t (id, p) VALUES (9, :v)", values[5]), OCI_SUCCESS) << c.errors();
  EXPECT_EQ(c.value("SELECT p FROM t WHERE id = 9"), "3.1415926536");
  EXPECT_EQ(insertText(c, "INSERT INTO t (id, p) VALUES (10, :v)", values[0]), OCI_ERROR);
  EXPECT_EQ(c.code(), 1438);
  EXPECT_EQ(c.value("SELECT TO_CHAR(n) FROM t WHERE id = 2"), "123456789.0123456789");
  // Doubles written by other programs keep the digits they have.
  c.ok("INSERT INTO t (id, n) VALUES (20, 1234567890.1234567)");
  c.ok("INSERT INTO t (id, n) VALUES (21, 0.1)");
  EXPECT_EQ(c.value("SELECT n FROM t WHERE id = 20"), "1234567890.1234567");
  EXPECT_EQ(c.value("SELECT n FROM t WHERE id = 21"), ".1");
}

TEST_F(OciTest, CharPadsAndVarchar2RefusesLongerValues) {
  c.ok("CREATE TABLE t (c CHAR(5), v VARCHAR2(3), w NVARCHAR2(3))");
  OCIStmt *ins = c.prepare("INSERT INTO t VALUES (:c, :v, :w)");
  bindText(c, ins, ":c", "ab");
  bindText(c, ins, ":v", "abc");
  bindText(c, ins, ":w", "ёлк");
  ASSERT_EQ(c.execute(ins), OCI_SUCCESS) << c.errors();
  EXPECT_EQ(c.value("SELECT c FROM t"), "ab   ");
  EXPECT_EQ(c.value("SELECT COUNT(*) FROM t WHERE c = 'ab   '"), "1");
  EXPECT_EQ(insertText(c, "INSERT INTO t (c) VALUES (:v)", "abcdef"), OCI_ERROR);
  EXPECT_EQ(c.errors(), "ORA-12899: value too large for column \"SCOTT\".\"T\".\"C\" (actual: 6, maximum: 5)\n");
  EXPECT_EQ(insertText(c, "INSERT INTO t (v) VALUES (:v)", "ёл"), OCI_ERROR);
  EXPECT_EQ(c.errors(), "ORA-12899: value too large for column \"SCOTT\".\"T\".\"V\" (actual: 4, maximum: 3)\n");
  EXPECT_EQ(insertText(c, "INSERT INTO t (w) VALUES (:v)", "ёлка"), OCI_ERROR);
  EXPECT_EQ(c.errors(), "ORA-12899: value too large for column \"SCOTT\".\"T\".\"W\" (actual: 4, maximum: 3)\n");
  EXPECT_EQ(c.value("SELECT COUNT(*) FROM t"), "1");
}

TEST_F(OciTest, LengthsBeyondTheElementAreRefused) {
  c.ok("CREATE TABLE t (a VARCHAR2(40))");
  OCIStmt *ins = c.prepare("INSERT INTO t VALUES (:a)");
  char values[2][4] = {{'a', 'b', 'c', 'd'}, {'e', 'f', 'g', 'h'}};
  ub2 lens[2] = {4, 5};
  OCIBind *b = nullptr;
  ASSERT_EQ(OCIBindByName(ins, &b, c.err, ot(":a"), -1, values, 4, SQLT_CHR, nullptr, lens, nullptr, 0, nullptr,
                          OCI_DEFAULT),
            OCI_SUCCESS);
  EXPECT_EQ(c.execute(ins, 2), OCI_ERROR);
  EXPECT_EQ(c.errors(), "ORA-01459: invalid length for variable character string\n");
  EXPECT_EQ(c.rowCount(ins), 1u);

  // A NUL-terminated element without its terminator.
  OCIStmt *str = c.prepare("INSERT INTO t VALUES (:a)");
  ASSERT_EQ(OCIBindByName(str, &b, c.err, ot(":a"), -1, values, 4, SQLT_STR, nullptr, nullptr, nullptr, 0, nullptr,
                          OCI_DEFAULT),
            OCI_SUCCESS);
  EXPECT_EQ(c.execute(str), OCI_ERROR);
  EXPECT_EQ(c.errors(), "ORA-01480: trailing null missing from STR bind value\n");

  // A VARCHAR element whose length word says more than its slot holds.
  OCIStmt *vcs = c.prepare("INSERT INTO t VALUES (:a)");
  unsigned char element[6] = {3, 0, 'x', 'y', 'z', 0};
  ASSERT_EQ(OCIBindByName(vcs, &b, c.err, ot(":a"), -1, element, sizeof element, SQLT_VCS, nullptr, nullptr, nullptr,
                          0, nullptr, OCI_DEFAULT),
            OCI_SUCCESS);
  ASSERT_EQ(c.execute(vcs), OCI_SUCCESS) << c.errors();
  element[0] = 5;
  EXPECT_EQ(c.execute(vcs), OCI_ERROR);
  EXPECT_EQ(c.code(), 1459);
  EXPECT_EQ(c.column("SELECT a FROM t ORDER BY a"), (std::vector<std::string>{"abcd", "xyz"}));
}

TEST_F(OciTest, PlaceholdersMustBeKnownAndBound) {
  c.ok("CREATE TABLE t (a NUMBER, b NUMBER)");
  OCIStmt *ins = c.prepare("INSERT INTO t VALUES (:a, :b)");
  char one[] = "1";
  OCIBind *bnd = nullptr;
  EXPECT_EQ(OCIBindByName(ins, &bnd, c.err, ot(":zz"), -1, one, 2, SQLT_STR, nullptr, nullptr, nullptr, 0, nullptr,
                          OCI_DEFAULT),
            OCI_ERROR);
  EXPECT_EQ(c.errors(), "ORA-01036: illegal variable name/number\n");
  bindText(c, ins, ":A", "1");
  EXPECT_EQ(c.execute(ins), OCI_ERROR);
  EXPECT_EQ(c.errors(), "ORA-01008: not all variables bound\n");
  EXPECT_EQ(c.execute(ins, 0), OCI_ERROR);
  EXPECT_EQ(c.code(), 24333);
}

TEST_F(OciTest, StatementTypes) {
  struct Want {
    const char *sql;
    ub2 type;
  } want[] = {{"SELECT 1 FROM DUAL", OCI_STMT_SELECT},    {"insert into t values (1)", OCI_STMT_INSERT},
              {"UPDATE t SET a = 1", OCI_STMT_UPDATE},    {"DELETE FROM t", OCI_STMT_DELETE},
              {"CREATE TABLE x (a NUMBER)", OCI_STMT_CREATE}, {"DROP TABLE x", OCI_STMT_DROP},
              {"ALTER SESSION SET NLS_TERRITORY=AMERICA", OCI_STMT_ALTER}};
  for (const Want &w : want) {
    OCIStmt *stmt = c.prepare(w.sql);
    ub2 type = 99;
    ASSERT_EQ(OCIAttrGet(stmt, OCI_HTYPE_STMT, &type, nullptr, OCI_ATTR_STMT_TYPE, c.err), OCI_SUCCESS);
    EXPECT_EQ(type, w.type) << w.sql;
  }
}

TEST_F(OciTest, TruncateAndDeallocateAreDdlThatCheckTheTable) {
  c.ok("CREATE TABLE t (a NUMBER)");
  c.ok("INSERT INTO t VALUES (1)");
  c.ok("INSERT INTO t VALUES (2)");
  c.ok("ALTER TABLE t DEALLOCATE UNUSED");
  // DDL commits: the rows are visible to another session and stay after a
  // rollback.
  c.ok("ROLLBACK");
  EXPECT_EQ(c.value("SELECT COUNT(*) FROM t"), "2");
  c.ok("INSERT INTO t VALUES (3)");
  c.ok("TRUNCATE TABLE scott.t");
  c.ok("ROLLBACK");
  EXPECT_EQ(c.value("SELECT COUNT(*) FROM t"), "0");
  EXPECT_EQ(c.run("TRUNCATE TABLE nosuch"), OCI_ERROR);
  EXPECT_EQ(c.errors(), "ORA-00942: table or view does not exist\n");
  EXPECT_EQ(c.run("ALTER TABLE nosuch DEALLOCATE UNUSED"), OCI_ERROR);
  EXPECT_EQ(c.code(), 942);
}

TEST_F(OciTest, CommitStatementCommitCallAndRollback) {
  c.ok("CREATE TABLE t (a NUMBER)");
  Client other;
  ASSERT_EQ(other.logon(db.path()), OCI_SUCCESS);
  c.ok("INSERT INTO t VALUES (1)");
  EXPECT_EQ(other.value("SELECT COUNT(*) FROM t"), "0");
  c.ok("COMMIT");
  EXPECT_EQ(other.value("SELECT COUNT(*) FROM t"), "1");
  c.ok("INSERT INTO t VALUES (2)");
  EXPECT_EQ(OCITransCommit(c.svc, c.err, OCI_DEFAULT), OCI_SUCCESS);
  EXPECT_EQ(other.value("SELECT COUNT(*) FROM t"), "2");
  c.ok("INSERT INTO t VALUES (3)");
  EXPECT_EQ(OCITransRollback(c.svc, c.err, OCI_DEFAULT), OCI_SUCCESS);
  EXPECT_EQ(c.value("SELECT COUNT(*) FROM t"), "2");
  EXPECT_EQ(c.run("INSERT INTO t VALUES (4)", OCI_COMMIT_ON_SUCCESS), OCI_SUCCESS);
  EXPECT_EQ(other.value("SELECT COUNT(*) FROM t"), "3");
}

TEST_F(OciTest, ReadOnlyTransactionRefusesChangesUntilItEnds) {
  c.ok("CREATE TABLE t (a NUMBER)");
  ASSERT_EQ(OCITransStart(c.svc, c.err, 60, OCI_TRANS_READONLY), OCI_SUCCESS);
  EXPECT_EQ(c.run("INSERT INTO t VALUES (1)"), OCI_ERROR);
  EXPECT_EQ(c.errors(),
            "ORA-01456: may not perform insert/delete/update operation inside a READ ONLY transaction\n");
  EXPECT_EQ(c.run("DELETE FROM t"), OCI_ERROR);
  EXPECT_EQ(c.code(), 1456);
  // Session settings and queries still work inside it.
  c.ok("ALTER SESSION SET NLS_DATE_FORMAT=\"YYYYMMDD\"");
  EXPECT_EQ(c.value("SELECT COUNT(*) FROM t"), "0");
  EXPECT_EQ(c.run("INSERT INTO t VALUES (1)"), OCI_ERROR);
  c.ok("COMMIT");
  c.ok("INSERT INTO t VALUES (1)");

  // SET TRANSACTION must come first.
  EXPECT_EQ(c.run("SET TRANSACTION READ ONLY"), OCI_ERROR);
  EXPECT_EQ(c.code(), 1453);
  EXPECT_EQ(OCITransStart(c.svc, c.err, 60, OCI_TRANS_READONLY), OCI_ERROR);
  c.ok("COMMIT");
  c.ok("SET TRANSACTION READ ONLY");
  EXPECT_EQ(c.run("UPDATE t SET a = 2"), OCI_ERROR);
  EXPECT_EQ(c.code(), 1456);
  c.ok("ROLLBACK");
  c.ok("UPDATE t SET a = 2");
  EXPECT_EQ(c.value("SELECT a FROM t"), "2");
}

TEST_F(OciTest, IntegerAndBinaryBinds) {
  c.ok("CREATE TABLE t (n NUMBER(4,1), r RAW(4), v VARCHAR2(8))");
  OCIStmt *ins = c.prepare("INSERT INTO t VALUES (:n, :r, :v)");
  int n = 42;
  unsigned char raw[3] = {0x00, 0xAB, 0xFF};
  ub2 rawLen = 3;
  OCIBind *b = nullptr;
  ASSERT_EQ(OCIBindByName(ins, &b, c.err, ot(":n"), -1, &n, sizeof n, SQLT_INT, nullptr, nullptr, nullptr, 0,
                          nullptr, OCI_DEFAULT),
            OCI_SUCCESS);
  ASSERT_EQ(OCIBindByName(ins, &b, c.err, ot(":r"), -1, raw, sizeof raw, SQLT_BIN, nullptr, &rawLen, nullptr, 0,
                          nullptr, OCI_DEFAULT),
            OCI_SUCCESS);
  ASSERT_EQ(OCIBindByName(ins, &b, c.err, ot(":v"), -1, raw, sizeof raw, SQLT_BIN, nullptr, &rawLen, nullptr, 0,
                          nullptr, OCI_DEFAULT),
            OCI_SUCCESS);
  ASSERT_EQ(c.execute(ins), OCI_SUCCESS) << c.errors();
  EXPECT_EQ(c.value("SELECT n FROM t"), "42");
  EXPECT_EQ(c.value("SELECT r FROM t"), "00ABFF");
  EXPECT_EQ(c.value("SELECT v FROM t"), "00ABFF");
  n = 1000;
  EXPECT_EQ(c.execute(ins), OCI_ERROR);
  EXPECT_EQ(c.code(), 1438);

  // Doubles: rounded to the column's scale; no infinity.
  OCIStmt *dbl = c.prepare("INSERT INTO t (n) VALUES (:n)");
  double x = 12.25;
  ASSERT_EQ(OCIBindByName(dbl, &b, c.err, ot(":n"), -1, &x, sizeof x, SQLT_FLT, nullptr, nullptr, nullptr, 0,
                          nullptr, OCI_DEFAULT),
            OCI_SUCCESS);
  ASSERT_EQ(c.execute(dbl), OCI_SUCCESS) << c.errors();
  EXPECT_EQ(c.value("SELECT n FROM t WHERE r IS NULL"), "12.3");
  x = HUGE_VAL;
  EXPECT_EQ(c.execute(dbl), OCI_ERROR);
  EXPECT_EQ(c.errors(), "ORA-01426: numeric overflow\n");
}

}  // namespace
}  // namespace ocilite_test
