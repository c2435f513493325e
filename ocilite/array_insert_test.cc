// Array INSERTs of many rows: whatever way the library runs them, the rows
// stored, the row count and the error of a refused row are those of one
// execution per row, in every position of the array.
#include "ocilite/testing/oci_client.h"

#include <string>

namespace ocilite_test {
namespace {

constexpr ub4 kRows = 130;

// Rows of (id, name, created, amount) as texts, bound as arrays; the id is
// bound twice (id and copy).
struct Rows {
  char ids[kRows][8];
  char names[kRows][12];
  char dates[kRows][10];
  char amounts[kRows][12];
  sb2 nameInd[kRows];

  Rows() {
    for (ub4 k = 0; k < kRows; ++k) {
      std::snprintf(ids[k], sizeof ids[k], "%u", k + 1);
      std::snprintf(names[k], sizeof names[k], "n%u", k + 1);
      std::snprintf(dates[k], sizeof dates[k], "2024%02u%02u", k % 12 + 1, k % 28 + 1);
      std::snprintf(amounts[k], sizeof amounts[k], "%u.125", k + 1);
      nameInd[k] = k % 7 == 3 ? -1 : 0;
    }
  }

  void bind(Client &c, OCIStmt *stmt) {
    OCIBind *b = nullptr;
    ASSERT_EQ(OCIBindByName(stmt, &b, c.err, ot(":id"), -1, ids, sizeof ids[0], SQLT_STR, nullptr, nullptr, nullptr,
                            0, nullptr, OCI_DEFAULT),
              OCI_SUCCESS);
    ASSERT_EQ(OCIBindByName(stmt, &b, c.err, ot(":name"), -1, names, sizeof names[0], SQLT_STR, nameInd, nullptr,
                            nullptr, 0, nullptr, OCI_DEFAULT),
              OCI_SUCCESS);
    ASSERT_EQ(OCIBindByName(stmt, &b, c.err, ot(":d"), -1, dates, sizeof dates[0], SQLT_STR, nullptr, nullptr,
                            nullptr, 0, nullptr, OCI_DEFAULT),
              OCI_SUCCESS);
    ASSERT_EQ(OCIBindByName(stmt, &b, c.err, ot(":amt"), -1, amounts, sizeof amounts[0], SQLT_STR, nullptr, nullptr,
                            nullptr, 0, nullptr, OCI_DEFAULT),
              OCI_SUCCESS);
  }
};

const char *const kInsert =
    "INSERT INTO t (id, name, created, amount, copy, tag) VALUES (:id, :name, :d, :amt, :id, 'x')";

// The error and row count of the rows' array insert, and the rows it left.
struct Outcome {
  sword status;
  std::string errors;
  ub4 rowCount;
  std::string count;
};

Outcome insertAll(Client &c, Rows &rows, const char *sql = kInsert, const char *table = "t") {
  OCIStmt *ins = c.prepare(sql);
  rows.bind(c, ins);
  Outcome o;
  o.status = c.execute(ins, kRows);
  o.errors = c.errors();
  o.rowCount = c.rowCount(ins);
  o.count = c.value((std::string("SELECT COUNT(*) FROM ") + table).c_str());
  return o;
}

// The error one execution of row `k` alone gives on the table as it stands.
std::string oneRowError(Client &c, Rows &rows, ub4 k, const char *sql = kInsert) {
  Rows single;
  std::memcpy(single.ids[0], rows.ids[k], sizeof rows.ids[k]);
  std::memcpy(single.names[0], rows.names[k], sizeof rows.names[k]);
  std::memcpy(single.dates[0], rows.dates[k], sizeof rows.dates[k]);
  std::memcpy(single.amounts[0], rows.amounts[k], sizeof rows.amounts[k]);
  single.nameInd[0] = rows.nameInd[k];
  OCIStmt *ins = c.prepare(sql);
  single.bind(c, ins);
  EXPECT_EQ(c.execute(ins, 1), OCI_ERROR);
  return c.errors();
}

class ArrayInsertTest : public OciTest {
 protected:
  void SetUp() override {
    OciTest::SetUp();
    c.ok("ALTER SESSION SET NLS_DATE_FORMAT = 'YYYYMMDD'");
    c.ok("CREATE TABLE t (id NUMBER(5), name VARCHAR2(10), created DATE, amount NUMBER(8,2), copy NUMBER(5), "
         "tag CHAR(3))");
    db.admin("CREATE UNIQUE INDEX t_id ON t (id)");
  }
};

TEST_F(ArrayInsertTest, EveryRowGoesInConvertedAsOneRowAtATime) {
  Rows rows;
  Outcome o = insertAll(c, rows);
  ASSERT_EQ(o.status, OCI_SUCCESS) << o.errors;
  EXPECT_EQ(o.rowCount, kRows);
  EXPECT_EQ(o.count, std::to_string(kRows));
  std::vector<std::string> want;
  for (ub4 k = 0; k < kRows; ++k)
    want.push_back(std::to_string(k + 1) + "|" + (k % 7 == 3 ? "-" : "n" + std::to_string(k + 1)) + "|" +
                   rows.dates[k] + "|" + std::to_string(k + 1) + ".13|" + std::to_string(k + 1) + "|x  ");
  EXPECT_EQ(c.column("SELECT id || '|' || COALESCE(name, '-') || '|' || TO_CHAR(created) || '|' || TO_CHAR(amount) || '|' || "
                     "copy || '|' || tag FROM t ORDER BY id"),
            want);
  EXPECT_EQ(c.value("SELECT COUNT(*) FROM t WHERE typeof(amount) = 'real' AND typeof(id) = 'integer'"),
            std::to_string(kRows));
}

TEST_F(ArrayInsertTest, ARefusedRowKeepsTheRowsBeforeItWhereverItStands) {
  // A value that is no number, a duplicate key, a date that does not exist:
  // first, inside and last row of a group of rows, and the tail.
  for (ub4 bad : {0u, 49u, 50u, 77u, 99u, 100u, 129u}) {
    for (int fault = 0; fault < 3; ++fault) {
      if (fault == 1 && bad == 0) continue;  // the first row duplicates nothing
      c.ok("TRUNCATE TABLE t");
      Rows rows;
      if (fault == 0) std::strcpy(rows.amounts[bad], "12x");
      if (fault == 1) std::strcpy(rows.ids[bad], rows.ids[bad > 5 ? bad - 5 : 0]);
      if (fault == 2) std::strcpy(rows.dates[bad], "20230229");
      SCOPED_TRACE("row " + std::to_string(bad) + ", fault " + std::to_string(fault));
      Outcome o = insertAll(c, rows);
      ASSERT_EQ(o.status, OCI_ERROR);
      EXPECT_EQ(o.rowCount, bad);
      EXPECT_EQ(o.count, std::to_string(bad));
      if (bad > 0) {
        EXPECT_EQ(c.value("SELECT MAX(id) FROM t"), std::to_string(bad));
      }
      // The same error as the refused row gives on its own.
      EXPECT_EQ(o.errors, oneRowError(c, rows, bad));
    }
  }
}

TEST_F(ArrayInsertTest, TriggersConflictClausesAndSubqueriesSeeOneRowAtATime) {
  // A table whose conflict clause keeps the rows before a refused one of the
  // same statement, and a trigger that refuses a row the same way: the rows
  // before the refused one are there exactly once.
  db.admin(
      "CREATE TABLE u (id NUMBER(5) UNIQUE ON CONFLICT FAIL, name VARCHAR2(10), created DATE, amount NUMBER(8,2), "
      "copy NUMBER(5), tag CHAR(3));"
      "CREATE TABLE v (id NUMBER(5), name VARCHAR2(10), created DATE, amount NUMBER(8,2), copy NUMBER(5), "
      "tag CHAR(3));"
      "CREATE TABLE log (id NUMBER(5));"
      "CREATE TRIGGER v_check BEFORE INSERT ON v WHEN NEW.id = 71 BEGIN SELECT RAISE(FAIL, 'no 71'); END;"
      "CREATE TRIGGER v_log AFTER INSERT ON v BEGIN INSERT INTO log VALUES (NEW.id); END;");
  const char *intoU = "INSERT INTO u (id, name, created, amount, copy, tag) VALUES (:id, :name, :d, :amt, :id, 'x')";
  const char *intoV = "INSERT INTO v (id, name, created, amount, copy, tag) VALUES (:id, :name, :d, :amt, :id, 'x')";
  Rows rows;
  std::strcpy(rows.ids[70], "66");
  Outcome o = insertAll(c, rows, intoU, "u");
  ASSERT_EQ(o.status, OCI_ERROR);
  EXPECT_EQ(o.rowCount, 70u);
  EXPECT_EQ(o.count, "70");
  EXPECT_EQ(c.value("SELECT COUNT(DISTINCT id) FROM u"), "70");

  Rows plain;
  o = insertAll(c, plain, intoV, "v");
  ASSERT_EQ(o.status, OCI_ERROR);
  EXPECT_EQ(o.rowCount, 70u);
  EXPECT_EQ(o.count, "70");
  EXPECT_EQ(c.value("SELECT COUNT(*) FROM log"), "70");
  EXPECT_EQ(o.errors, oneRowError(c, plain, 70, intoV));

  // A subquery among the values reads the table as each row finds it.
  Rows counted;
  o = insertAll(c, counted,
                "INSERT INTO t (id, name, created, amount, copy, tag) VALUES (:id, :name, :d, :amt, "
                "(SELECT COUNT(*) FROM t), 'x')");
  ASSERT_EQ(o.status, OCI_SUCCESS) << o.errors;
  EXPECT_EQ(c.value("SELECT COUNT(*) FROM t WHERE copy = id - 1"), std::to_string(kRows));
}

}  // namespace
}  // namespace ocilite_test
