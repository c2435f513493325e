// Text fetched from the database's pages: a UTF-8 database gives its bytes in
// place, any other encoding goes through SQLite's conversion; both must give
// the same texts, also for values on pages next to each other and empty ones.
#include <sqlite3.h>

#include "ocilite/testing/oci_client.h"

namespace ocilite_test {
namespace {

void makeDatabase(const std::string &path, const char *encoding) {
  sqlite3 *db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  std::string sql = std::string("PRAGMA encoding = '") + encoding +
                    "'; CREATE TABLE t (id NUMBER(4), name VARCHAR2(40));"
                    "INSERT INTO t VALUES (1, 'plain'), (2, '\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82'),"
                    "(3, ''), (4, 'ab'), (5, 'a longer text of thirty-nine characters');";
  char *error = nullptr;
  EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
  sqlite3_free(error);
  sqlite3_close(db);
}

TEST(FetchText, SameTextsFromUtf8AndUtf16Databases) {
  for (const char *encoding : {"UTF-8", "UTF-16le", "UTF-16be"}) {
    TempDb db;
    makeDatabase(db.path(), encoding);
    Client c;
    ASSERT_EQ(c.logon(db.path()), OCI_SUCCESS) << c.errors();
    std::vector<std::string> want = {"plain", "\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82", "", "ab",
                                     "a longer text of thirty-nine characters"};
    EXPECT_EQ(c.column("SELECT name FROM t ORDER BY id"), want) << encoding;
    // Twice through the same statement text: the encoding is asked again after a
    // new compile and stays right.
    EXPECT_EQ(c.value("SELECT name FROM t WHERE id = 2"), want[1]) << encoding;
    c.logoff();
  }
}

}  // namespace
}  // namespace ocilite_test
