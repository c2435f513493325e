// Describe, array fetch, indicators, truncation, TO_CHAR and code page 866 on
// the fetch side of libocilite, through OCI only.
#include "ocilite/testing/oci_client.h"

namespace ocilite_test {
namespace {

struct Described {
  std::string name;
  ub2 type = 0, size = 0;
  sb2 precision = 0;
  sb1 scale = 0;
  ub1 nullable = 0;
};

Described describe(Client &c, OCIStmt *stmt, ub4 pos) {
  Described d;
  OCIParam *p = nullptr;
  EXPECT_EQ(OCIParamGet(stmt, OCI_HTYPE_STMT, c.err, reinterpret_cast<void **>(&p), pos), OCI_SUCCESS) << c.errors();
  if (!p) return d;
  OraText *name = nullptr;
  ub4 nameLen = 0;
  EXPECT_EQ(OCIAttrGet(p, OCI_DTYPE_PARAM, &name, &nameLen, OCI_ATTR_NAME, c.err), OCI_SUCCESS);
  d.name.assign(reinterpret_cast<char *>(name), nameLen);
  EXPECT_EQ(OCIAttrGet(p, OCI_DTYPE_PARAM, &d.type, nullptr, OCI_ATTR_DATA_TYPE, c.err), OCI_SUCCESS);
  EXPECT_EQ(OCIAttrGet(p, OCI_DTYPE_PARAM, &d.size, nullptr, OCI_ATTR_DATA_SIZE, c.err), OCI_SUCCESS);
  EXPECT_EQ(OCIAttrGet(p, OCI_DTYPE_PARAM, &d.precision, nullptr, OCI_ATTR_PRECISION, c.err), OCI_SUCCESS);
  EXPECT_EQ(OCIAttrGet(p, OCI_DTYPE_PARAM, &d.scale, nullptr, OCI_ATTR_SCALE, c.err), OCI_SUCCESS);
  EXPECT_EQ(OCIAttrGet(p, OCI_DTYPE_PARAM, &d.nullable, nullptr, OCI_ATTR_IS_NULL, c.err), OCI_SUCCESS);
  return d;
}

TEST_F(OciTest, DescribeReportsOracleCodesAndSizesOfEachDeclaredType) {
  c.ok("CREATE TABLE t (v2 VARCHAR2(30) NOT NULL, v VARCHAR(10), ch CHAR(5), n NUMBER(10,2), n0 NUMBER, "
       "i INTEGER, f FLOAT, d DATE, r RAW(16), cl CLOB, bl BLOB, lg LONG)");
  OCIStmt *stmt = c.prepare("SELECT v2, v, ch, n, n0, i, f, d, r, cl, bl, lg FROM t");
  ASSERT_EQ(c.execute(stmt, 0, OCI_DESCRIBE_ONLY), OCI_SUCCESS) << c.errors();
  ub4 count = 0;
  ASSERT_EQ(OCIAttrGet(stmt, OCI_HTYPE_STMT, &count, nullptr, OCI_ATTR_PARAM_COUNT, c.err), OCI_SUCCESS);
  ASSERT_EQ(count, 12u);
  struct Want {
    const char *name;
    ub2 type, size;
  } want[] = {{"V2", 1, 30}, {"V", 1, 10},  {"CH", 96, 5}, {"N", 2, 22},   {"N0", 2, 22},  {"I", 2, 22},
              {"F", 2, 22},  {"D", 12, 7},  {"R", 23, 16}, {"CL", 112, 4000}, {"BL", 113, 4000}, {"LG", 8, 0}};
  for (ub4 k = 0; k < count; ++k) {
    Described d = describe(c, stmt, k + 1);
    EXPECT_EQ(d.name, want[k].name);
    EXPECT_EQ(d.type, want[k].type) << want[k].name;
    EXPECT_EQ(d.size, want[k].size) << want[k].name;
  }
  Described n = describe(c, stmt, 4);
  EXPECT_EQ(n.precision, 10);
  EXPECT_EQ(n.scale, 2);
  Described n0 = describe(c, stmt, 5);
  EXPECT_EQ(n0.precision, 0);
  EXPECT_EQ(n0.scale, -127);
  EXPECT_EQ(describe(c, stmt, 1).nullable, 0);
  EXPECT_EQ(describe(c, stmt, 2).nullable, 1);

  OCIParam *p = nullptr;
  EXPECT_EQ(OCIParamGet(stmt, OCI_HTYPE_STMT, c.err, reinterpret_cast<void **>(&p), 13), OCI_ERROR);
  EXPECT_EQ(c.errors(), "ORA-24334: no descriptor for this position\n");
}

TEST_F(OciTest, DescribeSizesOfUnusualDeclarations) {
  c.ok("CREATE TABLE t (v VARCHAR2, nv NVARCHAR2(20000), huge VARCHAR2(70000), ch CHAR, nc NCHAR(3), r RAW, "
       "txt TEXT, untyped)");
  OCIStmt *stmt = c.prepare("SELECT v, nv, huge, ch, nc, r, txt, untyped FROM t");
  ASSERT_EQ(c.execute(stmt, 0, OCI_DESCRIBE_ONLY), OCI_SUCCESS) << c.errors();
  struct Want {
    ub2 type, size;
  } want[] = {{1, 4000}, {1, 65535}, {1, 65535}, {96, 1}, {96, 12}, {23, 2000}, {112, 4000}, {1, 4000}};
  for (ub4 k = 0; k < 8; ++k) {
    Described d = describe(c, stmt, k + 1);
    EXPECT_EQ(d.type, want[k].type) << d.name;
    EXPECT_EQ(d.size, want[k].size) << d.name;
  }
  // CHAR alone is CHAR(1): longer values are refused, shorter ones padded.
  OCIStmt *ins = c.prepare("INSERT INTO t (ch) VALUES (:v)");
  char two[] = "ab";
  OCIBind *b = nullptr;
  ASSERT_EQ(OCIBindByName(ins, &b, c.err, ot(":v"), -1, two, sizeof two, SQLT_STR, nullptr, nullptr, nullptr, 0,
                          nullptr, OCI_DEFAULT),
            OCI_SUCCESS);
  EXPECT_EQ(c.execute(ins), OCI_ERROR);
  EXPECT_EQ(c.code(), 12899);
}

TEST_F(OciTest, DescribeOnlyDoesNotExecuteAndReportsMissingObjects) {
  c.ok("CREATE TABLE t (a NUMBER, b VARCHAR2(5))");
  c.ok("INSERT INTO t VALUES (1, 'x')");
  OCIStmt *stmt = c.prepare("SELECT a, TO_CHAR(a), b AS bee FROM t");
  ASSERT_EQ(c.execute(stmt, 0, OCI_DESCRIBE_ONLY), OCI_SUCCESS) << c.errors();
  EXPECT_EQ(describe(c, stmt, 2).name, "TO_CHAR(A)");
  EXPECT_EQ(describe(c, stmt, 2).type, SQLT_CHR);
  EXPECT_EQ(describe(c, stmt, 2).size, 40);
  EXPECT_EQ(describe(c, stmt, 3).name, "BEE");
  char buf[8];
  OCIDefine *def = nullptr;
  ASSERT_EQ(OCIDefineByPos(stmt, &def, c.err, 1, buf, sizeof buf, SQLT_STR, nullptr, nullptr, nullptr, OCI_DEFAULT),
            OCI_SUCCESS);
  EXPECT_EQ(OCIStmtFetch(stmt, c.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_ERROR);
  EXPECT_EQ(c.code(), 24338);

  // A describe-only INSERT changes nothing.
  OCIStmt *ins = c.prepare("INSERT INTO t VALUES (2, 'y')");
  EXPECT_EQ(c.execute(ins, 1, OCI_DESCRIBE_ONLY), OCI_SUCCESS);
  EXPECT_EQ(c.value("SELECT COUNT(*) FROM t"), "1");

  EXPECT_EQ(c.run("SELECT a FROM missing", OCI_DESCRIBE_ONLY), OCI_ERROR);
  EXPECT_EQ(c.code(), 942);
  EXPECT_EQ(c.run("SELECT zz FROM t", OCI_DESCRIBE_ONLY), OCI_ERROR);
  EXPECT_EQ(c.code(), 904);
}

TEST_F(OciTest, ArrayFetchOf25RowsInBlocksOf10) {
  c.ok("CREATE TABLE t (id NUMBER(5), name VARCHAR2(10))");
  OCIStmt *ins = c.prepare("INSERT INTO t VALUES (:id, :name)");
  int ids[25];
  char names[25][11];
  for (int k = 0; k < 25; ++k) {
    ids[k] = k + 1;
    std::snprintf(names[k], sizeof names[k], "row%d", k + 1);
  }
  OCIBind *b1 = nullptr, *b2 = nullptr;
  ASSERT_EQ(OCIBindByName(ins, &b1, c.err, ot(":id"), -1, ids, sizeof ids[0], SQLT_INT, nullptr, nullptr, nullptr,
                          0, nullptr, OCI_DEFAULT),
            OCI_SUCCESS);
  ASSERT_EQ(OCIBindByName(ins, &b2, c.err, ot(":NAME"), 5, names, sizeof names[0], SQLT_STR, nullptr, nullptr,
                          nullptr, 0, nullptr, OCI_DEFAULT),
            OCI_SUCCESS);
  ASSERT_EQ(c.execute(ins, 25), OCI_SUCCESS) << c.errors();
  EXPECT_EQ(c.rowCount(ins), 25u);

  OCIStmt *stmt = c.prepare("SELECT id, name FROM t ORDER BY id");
  ub4 prefetch = 100;
  EXPECT_EQ(OCIAttrSet(stmt, OCI_HTYPE_STMT, &prefetch, 0, OCI_ATTR_PREFETCH_ROWS, c.err), OCI_SUCCESS);
  ASSERT_EQ(c.execute(stmt, 0), OCI_SUCCESS);
  char idText[10][8], nameText[10][12];
  sb2 ind1[10], ind2[10];
  ub2 len2[10];
  OCIDefine *d1 = nullptr, *d2 = nullptr;
  ASSERT_EQ(OCIDefineByPos(stmt, &d1, c.err, 1, idText, sizeof idText[0], SQLT_STR, ind1, nullptr, nullptr,
                           OCI_DEFAULT),
            OCI_SUCCESS);
  ASSERT_EQ(OCIDefineByPos(stmt, &d2, c.err, 2, nameText, sizeof nameText[0], SQLT_CHR, ind2, len2, nullptr,
                           OCI_DEFAULT),
            OCI_SUCCESS);
  sword want[] = {OCI_SUCCESS, OCI_SUCCESS, OCI_NO_DATA};
  ub4 counts[] = {10, 20, 25};
  int next = 1;
  for (int call = 0; call < 3; ++call) {
    EXPECT_EQ(OCIStmtFetch(stmt, c.err, 10, OCI_FETCH_NEXT, OCI_DEFAULT), want[call]) << call;
    EXPECT_EQ(c.rowCount(stmt), counts[call]);
    ub4 fetched = 0;
    ASSERT_EQ(OCIAttrGet(stmt, OCI_HTYPE_STMT, &fetched, nullptr, OCI_ATTR_ROWS_FETCHED, c.err), OCI_SUCCESS);
    EXPECT_EQ(fetched, call < 2 ? 10u : 5u);
    for (ub4 k = 0; k < fetched; ++k, ++next) {
      EXPECT_EQ(ind1[k], 0);
      EXPECT_EQ(std::string(idText[k]), std::to_string(next));
      std::string name = "row" + std::to_string(next);
      EXPECT_EQ(len2[k], name.size());
      EXPECT_EQ(std::string(nameText[k], len2[k]), name);
    }
  }
  EXPECT_EQ(next, 26);
  EXPECT_EQ(OCIStmtFetch(stmt, c.err, 10, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_NO_DATA);
  EXPECT_EQ(c.rowCount(stmt), 25u);

  // Exactly as many rows as asked: success, then no data with none.
  OCIStmt *five = c.prepare("SELECT id FROM t WHERE id <= 5");
  ASSERT_EQ(c.execute(five, 0), OCI_SUCCESS);
  ASSERT_EQ(OCIDefineByPos(five, &d1, c.err, 1, idText, sizeof idText[0], SQLT_STR, ind1, nullptr, nullptr,
                           OCI_DEFAULT),
            OCI_SUCCESS);
  EXPECT_EQ(OCIStmtFetch(five, c.err, 5, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_SUCCESS);
  EXPECT_EQ(OCIStmtFetch(five, c.err, 5, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_NO_DATA);
  EXPECT_EQ(c.rowCount(five), 5u);
}

TEST_F(OciTest, ADefineBeyondTheSelectListIsAnError) {
  c.ok("CREATE TABLE t (a NUMBER)");
  c.ok("INSERT INTO t VALUES (1)");
  OCIStmt *stmt = c.prepare("SELECT a FROM t");
  int values[2];
  OCIDefine *d = nullptr;
  ASSERT_EQ(OCIDefineByPos(stmt, &d, c.err, 1, &values[0], sizeof(int), SQLT_INT, nullptr, nullptr, nullptr,
                           OCI_DEFAULT),
            OCI_SUCCESS);
  ASSERT_EQ(OCIDefineByPos(stmt, &d, c.err, 2, &values[1], sizeof(int), SQLT_INT, nullptr, nullptr, nullptr,
                           OCI_DEFAULT),
            OCI_SUCCESS);
  ASSERT_EQ(c.execute(stmt, 0), OCI_SUCCESS);
  EXPECT_EQ(OCIStmtFetch(stmt, c.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_ERROR);
  EXPECT_EQ(c.errors(), "ORA-01007: variable not in select list\n");
}

TEST_F(OciTest, ExecuteWithIterationsFetchesIntoDefines) {
  c.ok("CREATE TABLE t (a NUMBER)");
  c.ok("INSERT INTO t VALUES (1)");
  c.ok("INSERT INTO t VALUES (2)");
  OCIStmt *stmt = c.prepare("SELECT a FROM t ORDER BY a");
  EXPECT_EQ(c.execute(stmt, 1), OCI_ERROR);
  EXPECT_EQ(c.code(), 24374);
  int values[5] = {0, 0, 0, 0, 0};
  OCIDefine *d = nullptr;
  ASSERT_EQ(OCIDefineByPos(stmt, &d, c.err, 1, values, sizeof values[0], SQLT_INT, nullptr, nullptr, nullptr,
                           OCI_DEFAULT),
            OCI_SUCCESS);
  EXPECT_EQ(c.execute(stmt, 5), OCI_NO_DATA);
  EXPECT_EQ(values[0], 1);
  EXPECT_EQ(values[1], 2);
  EXPECT_EQ(c.rowCount(stmt), 2u);
}

TEST_F(OciTest, NullsGiveIndicatorMinusOneAndAreAnErrorWithoutOne) {
  c.ok("CREATE TABLE t (id NUMBER, a VARCHAR2(5), n NUMBER, d DATE)");
  c.ok("INSERT INTO t VALUES (1, 'x', 5, NULL)");
  c.ok("INSERT INTO t (id) VALUES (2)");
  OCIStmt *stmt = c.prepare("SELECT a, n, d FROM t ORDER BY id");
  ASSERT_EQ(c.execute(stmt, 0), OCI_SUCCESS);
  char a[2][6], n[2][6], d[2][12];
  sb2 ia[2] = {9, 9}, in[2] = {9, 9}, id[2] = {9, 9};
  OCIDefine *def = nullptr;
  ASSERT_EQ(OCIDefineByPos(stmt, &def, c.err, 1, a, 6, SQLT_STR, ia, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS);
  ASSERT_EQ(OCIDefineByPos(stmt, &def, c.err, 2, n, 6, SQLT_STR, in, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS);
  ASSERT_EQ(OCIDefineByPos(stmt, &def, c.err, 3, d, 12, SQLT_STR, id, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS);
  EXPECT_EQ(OCIStmtFetch(stmt, c.err, 2, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_SUCCESS) << c.errors();
  EXPECT_EQ(ia[0], 0);
  EXPECT_STREQ(a[0], "x");
  EXPECT_EQ(in[0], 0);
  EXPECT_STREQ(n[0], "5");
  EXPECT_EQ(id[0], -1);
  EXPECT_EQ(ia[1], -1);
  EXPECT_EQ(in[1], -1);
  EXPECT_EQ(id[1], -1);

  OCIStmt *bare = c.prepare("SELECT a FROM t WHERE id = 2");
  ASSERT_EQ(c.execute(bare, 0), OCI_SUCCESS);
  ub2 rcode = 0;
  ASSERT_EQ(OCIDefineByPos(bare, &def, c.err, 1, a, 6, SQLT_STR, nullptr, nullptr, &rcode, OCI_DEFAULT),
            OCI_SUCCESS);
  EXPECT_EQ(OCIStmtFetch(bare, c.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_ERROR);
  EXPECT_EQ(c.errors(), "ORA-01405: fetched column value is NULL\n");
  EXPECT_EQ(rcode, 1405);
}

TEST_F(OciTest, TruncationReportsTheFullLengthAndAWarning) {
  c.ok("CREATE TABLE t (id NUMBER, a VARCHAR2(20))");
  c.ok("INSERT INTO t VALUES (1, 'abcdef')");
  c.ok("INSERT INTO t VALUES (2, 'ab')");
  OCIStmt *stmt = c.prepare("SELECT a, a FROM t ORDER BY id");
  ASSERT_EQ(c.execute(stmt, 0), OCI_SUCCESS);
  char str[2][4];
  char chr[2][4];
  sb2 is[2], ic[2];
  ub2 lc[2], rc[2];
  OCIDefine *def = nullptr;
  ASSERT_EQ(OCIDefineByPos(stmt, &def, c.err, 1, str, 4, SQLT_STR, is, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS);
  ASSERT_EQ(OCIDefineByPos(stmt, &def, c.err, 2, chr, 4, SQLT_CHR, ic, lc, rc, OCI_DEFAULT), OCI_SUCCESS);
  EXPECT_EQ(OCIStmtFetch(stmt, c.err, 2, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_SUCCESS_WITH_INFO);
  EXPECT_EQ(c.code(), 1406);
  EXPECT_EQ(c.rowCount(stmt), 2u);
  // A string define keeps room for its terminator.
  EXPECT_STREQ(str[0], "abc");
  EXPECT_EQ(is[0], 6);
  EXPECT_EQ(std::string(chr[0], lc[0]), "abcd");
  EXPECT_EQ(ic[0], 6);
  EXPECT_EQ(rc[0], 1406);
  // The rows after the cut one are delivered whole.
  EXPECT_STREQ(str[1], "ab");
  EXPECT_EQ(is[1], 0);
  EXPECT_EQ(rc[1], 0);

  OCIStmt *bare = c.prepare("SELECT a FROM t WHERE id = 1");
  ASSERT_EQ(c.execute(bare, 0), OCI_SUCCESS);
  ASSERT_EQ(OCIDefineByPos(bare, &def, c.err, 1, str, 4, SQLT_STR, is, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS);
  EXPECT_EQ(OCIStmtFetch(bare, c.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_SUCCESS_WITH_INFO);
  EXPECT_EQ(c.errors(), "ORA-01406: fetched column value was truncated\n");

  // A cut value in the last, short block is still a warning with its rows;
  // the end follows on the next fetch.
  ASSERT_EQ(c.execute(bare, 0), OCI_SUCCESS);
  EXPECT_EQ(OCIStmtFetch(bare, c.err, 5, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_SUCCESS_WITH_INFO);
  EXPECT_EQ(c.errors(), "ORA-01406: fetched column value was truncated\n");
  EXPECT_EQ(c.rowCount(bare), 1u);
  EXPECT_EQ(is[0], 6);
  EXPECT_EQ(OCIStmtFetch(bare, c.err, 5, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_NO_DATA);
  EXPECT_EQ(c.rowCount(bare), 1u);
}

// Gathers the pieces of dynamic defines and hands out whole values to
// dynamic binds, as a client of the LOB data interface does.
struct Pieces {
  std::vector<std::string> values;  // by row
  std::vector<sb2> indicators;
  std::vector<int> calls;           // callback calls per row
  char buffer[1000];
  ub4 length = 0;
  int pending = -1;  // row whose latest piece is still in the buffer
  sb2 indicator = 0;
  std::vector<std::string> sending;  // values for the in-bind, by row
  size_t sent = 0;
};

sb4 takePiece(void *context, OCIDefine *, ub4 iter, void **buffer, ub4 **length, ub1 *piece, void **indicator,
              ub2 **rcode) {
  auto *p = static_cast<Pieces *>(context);
  if (p->values.size() <= iter) {
    p->values.resize(iter + 1);
    p->indicators.resize(iter + 1);
    p->calls.resize(iter + 1);
  }
  // The previous piece (of this value, or the last of the row before) is in
  // the buffer.
  if (p->pending >= 0) p->values[static_cast<size_t>(p->pending)].append(p->buffer, p->length);
  EXPECT_EQ(*piece, p->pending == static_cast<int>(iter) ? OCI_NEXT_PIECE : OCI_FIRST_PIECE);
  p->pending = static_cast<int>(iter);
  ++p->calls[iter];
  p->length = sizeof p->buffer;
  *buffer = p->buffer;
  *length = &p->length;
  *indicator = &p->indicators[iter];
  *rcode = nullptr;
  return OCI_CONTINUE;
}

sb4 givePiece(void *context, OCIBind *, ub4 iter, ub4, void **buffer, ub4 *length, ub1 *piece, void **indicator) {
  auto *p = static_cast<Pieces *>(context);
  // Row `iter` goes in two pieces: its first half, then the rest.
  const std::string &v = p->sending[iter];
  size_t half = v.size() / 2;
  if (*piece == OCI_FIRST_PIECE) {
    *buffer = const_cast<char *>(v.data());
    *length = static_cast<ub4>(half);
    *piece = OCI_FIRST_PIECE;
  } else {
    *buffer = const_cast<char *>(v.data() + half);
    *length = static_cast<ub4>(v.size() - half);
    *piece = OCI_LAST_PIECE;
  }
  p->indicator = v.empty() ? -1 : 0;
  *indicator = &p->indicator;
  return OCI_CONTINUE;
}

TEST_F(OciTest, DynamicBindsAndDefinesMoveWholeLobValuesInPieces) {
  c.ok("CREATE TABLE t (id NUMBER, body CLOB, old LONG)");
  // Cyrillic text over several pieces of the define's 1000-byte buffer, the
  // 866 bytes converted on the way in and out; an empty value is NULL.
  std::string cyr;
  for (int k = 0; k < 2500; ++k) cyr += static_cast<char>(0x80 + k % 48);
  Pieces in;
  in.sending = {cyr, std::string(70000, 'x'), ""};
  OCIStmt *insert = c.prepare("INSERT INTO t (id, body, old) VALUES (:i, :b, :o)");
  int ids[3] = {1, 2, 3};
  OCIBind *bind = nullptr;
  ASSERT_EQ(OCIBindByName(insert, &bind, c.err, reinterpret_cast<const OraText *>(":i"), -1, ids, sizeof ids[0],
                          SQLT_INT, nullptr, nullptr, nullptr, 0, nullptr, OCI_DEFAULT),
            OCI_SUCCESS);
  for (const char *name : {":b", ":o"}) {
    ASSERT_EQ(OCIBindByName(insert, &bind, c.err, reinterpret_cast<const OraText *>(name), -1, nullptr, 0x7FFFFFFF,
                            SQLT_LNG, nullptr, nullptr, nullptr, 0, nullptr, OCI_DATA_AT_EXEC),
              OCI_SUCCESS);
    ASSERT_EQ(OCIBindDynamic(bind, c.err, &in, givePiece, nullptr, nullptr), OCI_SUCCESS);
    ub2 cp866 = 152;
    ASSERT_EQ(OCIAttrSet(bind, OCI_HTYPE_BIND, &cp866, 0, OCI_ATTR_CHARSET_ID, c.err), OCI_SUCCESS);
  }
  ASSERT_EQ(c.execute(insert, 3), OCI_SUCCESS) << c.errors();

  OCIStmt *select = c.prepare("SELECT body, old FROM t ORDER BY id");
  ASSERT_EQ(c.execute(select, 0), OCI_SUCCESS);
  Pieces out[2];
  for (ub4 pos = 1; pos <= 2; ++pos) {
    OCIDefine *def = nullptr;
    ASSERT_EQ(OCIDefineByPos(select, &def, c.err, pos, nullptr, 0x7FFFFFFF, SQLT_LNG, nullptr, nullptr, nullptr,
                             OCI_DYNAMIC_FETCH),
              OCI_SUCCESS);
    ASSERT_EQ(OCIDefineDynamic(def, c.err, &out[pos - 1], takePiece), OCI_SUCCESS);
    ub2 cp866 = 152;
    ASSERT_EQ(OCIAttrSet(def, OCI_HTYPE_DEFINE, &cp866, 0, OCI_ATTR_CHARSET_ID, c.err), OCI_SUCCESS);
  }
  ASSERT_EQ(OCIStmtFetch(select, c.err, 3, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_SUCCESS) << c.errors();
  for (Pieces &p : out) p.values[static_cast<size_t>(p.pending)].append(p.buffer, p.length);  // the last piece
  EXPECT_EQ(OCIStmtFetch(select, c.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_NO_DATA);
  for (Pieces &p : out) {
    EXPECT_EQ(p.values[0], cyr);
    EXPECT_EQ(p.calls[0], 3);
    EXPECT_EQ(p.values[1], std::string(70000, 'x'));
    EXPECT_EQ(p.calls[1], 70);
    EXPECT_EQ(p.indicators[1], 0);
    EXPECT_EQ(p.values[2], "");
    EXPECT_EQ(p.indicators[2], -1);
  }
  // Stored as UTF-8: two bytes a Cyrillic letter.
  OCIStmt *length = c.prepare("SELECT LENGTH(body) FROM t WHERE id = 1");
  ASSERT_EQ(c.execute(length, 0), OCI_SUCCESS);
  char text[16] = {};
  OCIDefine *def = nullptr;
  ASSERT_EQ(OCIDefineByPos(length, &def, c.err, 1, text, sizeof text, SQLT_STR, nullptr, nullptr, nullptr,
                           OCI_DEFAULT),
            OCI_SUCCESS);
  ASSERT_EQ(OCIStmtFetch(length, c.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_SUCCESS);
  EXPECT_STREQ(text, "2500");
}

TEST_F(OciTest, ToCharOfNumbersAsOraclePrintsThem) {
  c.ok("CREATE TABLE t (id NUMBER, n NUMBER)");
  const char *values[] = {"12.5", "0.5", "-0.5", "100", "1e-5", "12345678901234567890", "0", "-3",
                          "123456789012345678901234567890.123456789"};
  const char *want[] = {"12.5", ".5", "-.5", "100", ".00001", "12345678901234567890", "0", "-3",
                        "123456789012345678901234567890.123456789"};
  OCIStmt *ins = c.prepare("INSERT INTO t VALUES (:id, :n)");
  for (int k = 0; k < 9; ++k) {
    int id = k;
    OCIBind *b = nullptr;
    ASSERT_EQ(OCIBindByName(ins, &b, c.err, ot(":id"), -1, &id, sizeof id, SQLT_INT, nullptr, nullptr, nullptr, 0,
                            nullptr, OCI_DEFAULT),
              OCI_SUCCESS);
    ASSERT_EQ(OCIBindByName(ins, &b, c.err, ot(":n"), -1, const_cast<char *>(values[k]),
                            static_cast<sb4>(std::strlen(values[k]) + 1), SQLT_STR, nullptr, nullptr, nullptr, 0,
                            nullptr, OCI_DEFAULT),
              OCI_SUCCESS);
    ASSERT_EQ(c.execute(ins), OCI_SUCCESS) << values[k] << ": " << c.errors();
  }
  std::vector<std::string> got = c.column("SELECT TO_CHAR(n) FROM t ORDER BY id");
  std::vector<std::string> plain = c.column("SELECT n FROM t ORDER BY id");
  ASSERT_EQ(got.size(), 9u);
  for (int k = 0; k < 9; ++k) {
    EXPECT_EQ(got[k], want[k]) << values[k];
    EXPECT_EQ(plain[k], want[k]) << values[k];
  }
  EXPECT_EQ(c.value("SELECT TO_CHAR(2.50) FROM DUAL"), "2.5");
}

TEST_F(OciTest, DatesThroughTheSessionFormatBothWays) {
  c.ok("ALTER SESSION SET NLS_TERRITORY=AMERICA");
  c.ok("ALTER SESSION SET NLS_DATE_FORMAT=\"YYYYMMDD\"");
  c.ok("CREATE TABLE t (id NUMBER, d DATE)");
  OCIStmt *ins = c.prepare("INSERT INTO t VALUES (:id, :d)");
  int id = 0;
  char text[16];
  OCIBind *b = nullptr;
  ASSERT_EQ(OCIBindByName(ins, &b, c.err, ot(":id"), -1, &id, sizeof id, SQLT_INT, nullptr, nullptr, nullptr, 0,
                          nullptr, OCI_DEFAULT),
            OCI_SUCCESS);
  ASSERT_EQ(OCIBindByName(ins, &b, c.err, ot(":d"), -1, text, sizeof text, SQLT_STR, nullptr, nullptr, nullptr, 0,
                          nullptr, OCI_DEFAULT),
            OCI_SUCCESS);
  auto insert = [&](const char *value) {
    ++id;
    std::snprintf(text, sizeof text, "%s", value);
    return c.execute(ins);
  };
  ASSERT_EQ(insert("20240131"), OCI_SUCCESS) << c.errors();
  ASSERT_EQ(insert("00010101"), OCI_SUCCESS) << c.errors();
  ASSERT_EQ(insert("20240229"), OCI_SUCCESS) << c.errors();
  ASSERT_EQ(insert(""), OCI_SUCCESS) << c.errors();
  EXPECT_EQ(c.column("SELECT TO_CHAR(d) FROM t ORDER BY id"),
            (std::vector<std::string>{"20240131", "00010101", "20240229", "<null>"}));
  EXPECT_EQ(c.column("SELECT d FROM t ORDER BY id"),
            (std::vector<std::string>{"20240131", "00010101", "20240229", "<null>"}));

  struct Bad {
    const char *text;
    int code;
  } bad[] = {{"20230229", 1839}, {"20240431", 1839}, {"2024013", 1840}, {"2024AB01", 1858},
             {"202401311", 1830}, {"20241301", 1843}, {"20240001", 1843}, {"20240132", 1847},
             {"20240100", 1847}, {"00000101", 1841}};
  for (const Bad &x : bad) {
    EXPECT_EQ(insert(x.text), OCI_ERROR) << x.text;
    EXPECT_EQ(c.code(), x.code) << x.text << ": " << c.errors();
  }
  EXPECT_EQ(c.value("SELECT COUNT(*) FROM t"), "4");

  // The territory resets the date format.
  c.ok("ALTER SESSION SET NLS_TERRITORY=AMERICA");
  EXPECT_EQ(c.value("SELECT d FROM t WHERE id = 1"), "31-JAN-24");
  c.ok("ALTER SESSION SET NLS_DATE_FORMAT='YYYY-MM-DD HH24:MI:SS'");
  EXPECT_EQ(c.value("SELECT d FROM t WHERE id = 1"), "2024-01-31 00:00:00");
}

TEST_F(OciTest, ADateColumnHoldingNoDateIsAnErrorNotText) {
  c.ok("ALTER SESSION SET NLS_DATE_FORMAT=\"YYYYMMDD\"");
  c.ok("CREATE TABLE t (id NUMBER, d DATE)");
  // What another program may have written: the stored forms are dates, the
  // others are not.
  c.ok("INSERT INTO t VALUES (1, TO_DATE('2024-01-31', 'YYYY-MM-DD'))");
  c.ok("CREATE TABLE raw (id NUMBER, d TEXT)");
  c.ok("INSERT INTO raw VALUES (2, '2024-02-01')");
  c.ok("INSERT INTO raw VALUES (3, '31.01.2024')");
  c.ok("INSERT INTO t SELECT id, d FROM raw");
  EXPECT_EQ(c.column("SELECT TO_CHAR(d) FROM t WHERE id < 3 ORDER BY id"),
            (std::vector<std::string>{"20240131", "20240201"}));
  for (const char *sql : {"SELECT TO_CHAR(d) FROM t WHERE id = 3", "SELECT d FROM t WHERE id = 3"}) {
    OCIStmt *stmt = c.prepare(sql);
    char buf[32];
    sb2 ind = 0;
    OCIDefine *def = nullptr;
    ASSERT_EQ(OCIDefineByPos(stmt, &def, c.err, 1, buf, sizeof buf, SQLT_STR, &ind, nullptr, nullptr, OCI_DEFAULT),
              OCI_SUCCESS);
    EXPECT_EQ(c.execute(stmt, 1), OCI_ERROR) << sql << ": " << buf;
    EXPECT_EQ(c.code(), 1858) << sql;
  }
}

TEST_F(OciTest, AFormatArgumentIsEachRowsOwnAndKeptOnlyWhileItStaysTheSame) {
  c.ok("CREATE TABLE t (id NUMBER, d DATE, f VARCHAR2(20), s VARCHAR2(20))");
  c.ok("INSERT INTO t VALUES (1, TO_DATE('2024-01-31', 'YYYY-MM-DD'), 'DD.MM.YYYY', '05/2023/07')");
  c.ok("INSERT INTO t VALUES (2, TO_DATE('2023-12-05', 'YYYY-MM-DD'), 'YYYYMMDD', '20220304')");
  c.ok("INSERT INTO t VALUES (3, TO_DATE('1999-07-04', 'YYYY-MM-DD'), 'MM/YYYY/DD', '04.03.2021')");
  // A format taken from a column is each row's own; a constant one holds for all.
  EXPECT_EQ(c.column("SELECT TO_CHAR(d, f) FROM t ORDER BY id"),
            (std::vector<std::string>{"31.01.2024", "20231205", "07/1999/04"}));
  EXPECT_EQ(c.column("SELECT TO_CHAR(d, 'YYYY-DD') FROM t ORDER BY id"),
            (std::vector<std::string>{"2024-31", "2023-05", "1999-04"}));
  EXPECT_EQ(c.column("SELECT TO_CHAR(TO_DATE(s, CASE id WHEN 1 THEN 'MM/YYYY/DD' WHEN 2 THEN "
                     "'YYYYMMDD' ELSE 'DD.MM.YYYY' END), 'YYYYMMDD') FROM t ORDER BY id"),
            (std::vector<std::string>{"20230507", "20220304", "20210304"}));
  // A format that does not compile fails the statement, also after good rows.
  c.ok("UPDATE t SET f = 'YYYY-QQ' WHERE id = 3");
  OCIStmt *stmt = c.prepare("SELECT TO_CHAR(d, f) FROM t ORDER BY id");
  char buf[32];
  OCIDefine *def = nullptr;
  ASSERT_EQ(OCIDefineByPos(stmt, &def, c.err, 1, buf, sizeof buf, SQLT_STR, nullptr, nullptr, nullptr, OCI_DEFAULT),
            OCI_SUCCESS);
  EXPECT_EQ(c.execute(stmt, 3), OCI_ERROR) << buf;
  EXPECT_EQ(c.code(), 1821) << c.errors();
}

TEST_F(OciTest, DateDefineGivesOracleDateBytes) {
  c.ok("ALTER SESSION SET NLS_DATE_FORMAT=\"YYYYMMDD\"");
  c.ok("CREATE TABLE t (d DATE)");
  c.ok("INSERT INTO t VALUES ('19991231')");
  OCIStmt *stmt = c.prepare("SELECT d FROM t");
  ASSERT_EQ(c.execute(stmt, 0), OCI_SUCCESS) << c.errors();
  unsigned char bytes[7];
  OCIDefine *def = nullptr;
  ASSERT_EQ(OCIDefineByPos(stmt, &def, c.err, 1, bytes, 7, SQLT_DAT, nullptr, nullptr, nullptr, OCI_DEFAULT),
            OCI_SUCCESS);
  ASSERT_EQ(OCIStmtFetch(stmt, c.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_SUCCESS);
  const unsigned char want[7] = {119, 199, 12, 31, 1, 1, 1};
  EXPECT_EQ(std::memcmp(bytes, want, 7), 0);
}

TEST_F(OciTest, CodePage866RoundTripThroughCharset152) {
  c.ok("CREATE TABLE t (id NUMBER, a VARCHAR2(40))");
  // "Привет, мир" in code page 866.
  const unsigned char cp866[] = {0x8F, 0xE0, 0xA8, 0xA2, 0xA5, 0xE2, ',', ' ', 0xAC, 0xA8, 0xE0, 0};
  const char *utf8 = "Привет, мир";
  OCIStmt *ins = c.prepare("INSERT INTO t VALUES (1, :a)");
  OCIBind *b = nullptr;
  ASSERT_EQ(OCIBindByName(ins, &b, c.err, ot(":a"), -1, const_cast<unsigned char *>(cp866), sizeof cp866, SQLT_STR,
                          nullptr, nullptr, nullptr, 0, nullptr, OCI_DEFAULT),
            OCI_SUCCESS);
  ub4 charset = 152;  // our layer passes a 32-bit value with size 0
  ASSERT_EQ(OCIAttrSet(b, OCI_HTYPE_BIND, &charset, 0, OCI_ATTR_CHARSET_ID, c.err), OCI_SUCCESS);
  ASSERT_EQ(c.execute(ins), OCI_SUCCESS) << c.errors();
  // Stored as UTF-8: a define without a charset gets the UTF-8 bytes.
  EXPECT_EQ(c.value("SELECT a FROM t"), utf8);
  c.ok("INSERT INTO t VALUES (2, 'Ёлка €5 ä')");

  OCIStmt *stmt = c.prepare("SELECT a FROM t ORDER BY id");
  ASSERT_EQ(c.execute(stmt, 0), OCI_SUCCESS);
  char out[2][32];
  sb2 ind[2];
  OCIDefine *def = nullptr;
  ASSERT_EQ(OCIDefineByPos(stmt, &def, c.err, 1, out, 32, SQLT_STR, ind, nullptr, nullptr, OCI_DEFAULT),
            OCI_SUCCESS);
  ASSERT_EQ(OCIAttrSet(def, OCI_HTYPE_DEFINE, &charset, 0, OCI_ATTR_CHARSET_ID, c.err), OCI_SUCCESS);
  ASSERT_EQ(OCIStmtFetch(stmt, c.err, 2, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_SUCCESS) << c.errors();
  EXPECT_STREQ(out[0], reinterpret_cast<const char *>(cp866));
  // Characters that code page 866 lacks become '?'.
  const unsigned char tree[] = {0xF0, 0xAB, 0xAA, 0xA0, ' ', '?', '5', ' ', '?', 0};
  EXPECT_STREQ(out[1], reinterpret_cast<const char *>(tree));

  // A set without a conversion here is refused, not taken for UTF-8.
  ub4 shiftJis = 832;
  EXPECT_EQ(OCIAttrSet(def, OCI_HTYPE_DEFINE, &shiftJis, 0, OCI_ATTR_CHARSET_ID, c.err), OCI_ERROR);
  EXPECT_EQ(c.errors(), "ORA-12715: invalid character set specified\n");
  ub2 now = 0;
  ASSERT_EQ(OCIAttrGet(def, OCI_HTYPE_DEFINE, &now, nullptr, OCI_ATTR_CHARSET_ID, c.err), OCI_SUCCESS);
  EXPECT_EQ(now, 152);

  // The length check applies to the stored (UTF-8) form: 3 letters are 6 bytes.
  c.ok("CREATE TABLE s (a VARCHAR2(5))");
  OCIStmt *narrow = c.prepare("INSERT INTO s VALUES (:a)");
  const unsigned char three[] = {0x80, 0x81, 0x82, 0};
  ASSERT_EQ(OCIBindByName(narrow, &b, c.err, ot(":a"), -1, const_cast<unsigned char *>(three), sizeof three,
                          SQLT_STR, nullptr, nullptr, nullptr, 0, nullptr, OCI_DEFAULT),
            OCI_SUCCESS);
  ASSERT_EQ(OCIAttrSet(b, OCI_HTYPE_BIND, &charset, 0, OCI_ATTR_CHARSET_ID, c.err), OCI_SUCCESS);
  EXPECT_EQ(c.execute(narrow), OCI_ERROR);
  EXPECT_EQ(c.errors(), "ORA-12899: value too large for column \"SCOTT\".\"S\".\"A\" (actual: 6, maximum: 5)\n");
}

}  // namespace
}  // namespace ocilite_test
