// OracleStatement against the scriptable fake OCI: prepare and release,
// execute and describe, the select-list description, defines, fetch and
// binds, with the status and detail each leaves for errorText.  Built and run
// once per build; the define and fetch operations exist in the export build
// only.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "oracle/oracle_session.h"
#include "oracle/testing/fake_oci.h"

using fakeoci::fake;

namespace {

#if DRIFT_IMPORT_BUILD
constexpr bool kImport = true;
#else
constexpr bool kImport = false;
#endif

template <typename Action>
void expectCode(int expected, Action action) {
  try {
    action();
    ADD_FAILURE() << "no error raised, expected " << expected;
  } catch (int code) {
    EXPECT_EQ(code, expected);
  }
}

class StatementTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake().reset();
    session.open("u", "p", "");
    env = fake().callsOf("OCIEnvInit")[0].produced;
    service = fake().callsOf("OCILogon")[0].produced;
    error = fake().callsOf("OCIHandleAlloc")[0].produced;
    fake().calls.clear();
  }

  // Fails a commit so that the session holds an OCI_ERROR status.
  void leaveAFailureBehind() {
    fake().script("OCITransCommit", {OCI_ERROR});
    fake().records = {{942, "ORA-00942: table or view does not exist\n"}};
    expectCode(OracleErrorCode::TransCommit, [&] { session.commit(0); });
  }

  OracleSession session;
  const void *env = nullptr;
  const void *service = nullptr;
  const void *error = nullptr;
};

// ---- prepare and release -----------------------------------------------------

TEST_F(StatementTest, PrepareAllocatesAStatementAndSendsTheText) {
  OracleStatement statement(&session);
  EXPECT_FALSE(statement.isPrepared());
  statement.prepare("SELECT A FROM T");
  EXPECT_TRUE(statement.isPrepared());
  EXPECT_EQ(statement.text(), "SELECT A FROM T");

  auto alloc = fake().callsOf("OCIHandleAlloc");
  ASSERT_EQ(alloc.size(), 1u);
  EXPECT_EQ(alloc[0].type, static_cast<ub4>(OCI_HTYPE_STMT));
  EXPECT_EQ(alloc[0].handle, env);
  auto prepare = fake().callsOf("OCIStmtPrepare")[0];
  EXPECT_EQ(prepare.handle, alloc[0].produced);
  EXPECT_EQ(prepare.error, error);
  EXPECT_EQ(prepare.text, "SELECT A FROM T");
  EXPECT_EQ(prepare.length, 15);
  EXPECT_EQ(prepare.number, static_cast<ub4>(OCI_NTV_SYNTAX));
  EXPECT_EQ(prepare.mode, static_cast<ub4>(OCI_DEFAULT));
  EXPECT_EQ(statement.ociHandle(), alloc[0].produced);
}

TEST_F(StatementTest, TextsLongerThan4095BytesGoWhole) {
  std::string text = "INSERT INTO T VALUES (" + std::string(9000, '1') + ")";
  OracleStatement statement(&session);
  statement.prepare(text.c_str());
  auto prepare = fake().callsOf("OCIStmtPrepare")[0];
  EXPECT_EQ(prepare.text, text);
  EXPECT_EQ(prepare.length, static_cast<sb4>(text.size()));
  EXPECT_EQ(statement.text(), text);
}

TEST_F(StatementTest, PrepareNeedsAnOpenSession) {
  OracleSession closed;
  OracleStatement statement(&closed);
  expectCode(OracleErrorCode::NotOpen, [&] { statement.prepare("SELECT 1 FROM DUAL"); });
  EXPECT_EQ(closed.errorText(OracleErrorCode::NotOpen), "Database yet not open.\n");
  EXPECT_FALSE(statement.isPrepared());
  EXPECT_TRUE(fake().calls.empty());
}

TEST_F(StatementTest, AFailedPrepareKeepsItsHandleUntilReleased) {
  fake().script("OCIStmtPrepare", {OCI_ERROR});
  fake().records = {{24373, "ORA-24373: invalid length specified for statement\n"}};
  OracleStatement statement(&session);
  expectCode(OracleErrorCode::Prepare, [&] { statement.prepare("SELECT"); });
  EXPECT_FALSE(statement.isPrepared());
  EXPECT_EQ(statement.text(), "");
  EXPECT_EQ(session.errorText(OracleErrorCode::Prepare),
            kImport ? "Error while prepare SQL-statement.\nORA-24373: invalid length specified for statement "
                    : "Error while prepare SQL-statement.\nORA-24373: invalid length specified for statement\n");
  const void *kept = fake().callsOf("OCIHandleAlloc")[0].produced;
  EXPECT_TRUE(fake().isLive(kept));
  // The next prepare frees the kept handle instead of allocating over it.
  statement.prepare("SELECT 1 FROM DUAL");
  EXPECT_FALSE(fake().isLive(kept));
  EXPECT_EQ(fake().liveCount(OCI_HTYPE_STMT), 1);
  statement.release();
  EXPECT_EQ(fake().liveCount(OCI_HTYPE_STMT), 0);
  EXPECT_EQ(fake().invalidFrees, 0);
}

TEST_F(StatementTest, AFailedAllocationRaisesHandleAlloc) {
  fake().script("OCIHandleAlloc", {OCI_INVALID_HANDLE});
  OracleStatement statement(&session);
  expectCode(OracleErrorCode::HandleAlloc, [&] { statement.prepare("SELECT 1 FROM DUAL"); });
  EXPECT_EQ(session.errorText(OracleErrorCode::HandleAlloc),
            "Can't allocate handle variable.\nError - OCI_INVALID_HANDLE.");
  EXPECT_EQ(fake().count("OCIStmtPrepare"), 0);
  statement.release();
  EXPECT_EQ(fake().count("OCIHandleFree"), 0);
}

TEST_F(StatementTest, PrepareAgainReleasesFirstAndDropsBinds) {
  OracleStatement statement(&session);
  statement.prepare("INSERT INTO T VALUES (:p0)");
  char values[4] = "ab";
  statement.bindParameter(":p0", values, 4, 0, nullptr, 0);
  EXPECT_EQ(statement.bindsUsed(), 1);
  const void *first = statement.ociHandle();
  fake().calls.clear();
  statement.prepare("SELECT A FROM T");
  std::vector<std::string> expected = {"OCIHandleFree", "OCIHandleAlloc", "OCIStmtPrepare"};
  EXPECT_EQ(fake().callNames(), expected);
  EXPECT_EQ(fake().callsOf("OCIHandleFree")[0].handle, first);
  EXPECT_EQ(statement.bindsUsed(), 0);
  EXPECT_EQ(statement.text(), "SELECT A FROM T");
}

TEST_F(StatementTest, ReleaseFreesTheHandleOnceAndTheDestructorReleases) {
  {
    OracleStatement statement(&session);
    statement.prepare("SELECT A FROM T");
    statement.release();
    EXPECT_FALSE(statement.isPrepared());
    EXPECT_EQ(statement.ociHandle(), nullptr);
    EXPECT_EQ(statement.text(), "");
    statement.release();
    EXPECT_EQ(fake().count("OCIHandleFree"), 1);
    statement.prepare("SELECT B FROM T");
  }
  EXPECT_EQ(fake().count("OCIHandleFree"), 2);
  EXPECT_EQ(fake().liveCount(OCI_HTYPE_STMT), 0);
  EXPECT_EQ(fake().invalidFrees, 0);
}

TEST_F(StatementTest, BothBuildsTreatAnEmptyTextAsNotPrepared) {
  OracleStatement statement(&session);
  statement.prepare("");  // the fake accepts what a server would refuse
  EXPECT_FALSE(statement.isPrepared());
  expectCode(OracleErrorCode::NotPrepared, [&] { statement.execute(1); });
}

// ---- operations on a statement that is not prepared ------------------------------

TEST_F(StatementTest, EveryOperationOnAReleasedStatementRaisesNotPrepared) {
  OracleStatement statement(&session);
  statement.prepare("SELECT A FROM T");
  statement.release();
  char buffer[256];
#if !DRIFT_IMPORT_BUILD
  sb2 indicators[1];
  int rowCount = 0;
#endif
  std::vector<std::function<void()>> operations = {
      [&] { statement.execute(1); },
      [&] { statement.describe(); },
      [&] { statement.columnType(1); },
      [&] { statement.bindParameter(":p0", buffer, 4, 0, nullptr, 152); },
#if !DRIFT_IMPORT_BUILD
      [&] { statement.columnName(1, buffer); },
      [&] { statement.columnSize(1); },
      [&] { statement.defineColumn(1, buffer, 4, 0, indicators, nullptr, 0); },
      [&] { statement.fetch(10, &rowCount); },
#endif
  };
  for (std::size_t i = 0; i < operations.size(); ++i) {
    leaveAFailureBehind();
    fake().calls.clear();
    expectCode(OracleErrorCode::NotPrepared, operations[i]);
    EXPECT_TRUE(fake().calls.empty()) << "operation " << i;
    // The refusal clears the status, so the reason is empty.
    EXPECT_EQ(session.errorText(OracleErrorCode::NotPrepared), "Statement yet not created.\n")
        << "operation " << i;
  }
}

// ---- execute and describe ------------------------------------------------------------

TEST_F(StatementTest, ExecutePassesIterationsAndReturnsZero) {
  OracleStatement statement(&session);
  statement.prepare("INSERT INTO T VALUES (:p0)");
  EXPECT_EQ(statement.execute(37), 0);
  auto execute = fake().callsOf("OCIStmtExecute")[0];
  EXPECT_EQ(execute.service, service);
  EXPECT_EQ(execute.handle, statement.ociHandle());
  EXPECT_EQ(execute.error, error);
  EXPECT_EQ(execute.number, 37u);
  EXPECT_EQ(execute.rowOffset, 0u);
  EXPECT_EQ(execute.snapIn, nullptr);
  EXPECT_EQ(execute.snapOut, nullptr);
  EXPECT_EQ(execute.mode, static_cast<ub4>(OCI_DEFAULT));
}

TEST_F(StatementTest, NoDataFromExecuteIsAResultOnlyForTheExport) {
  OracleStatement statement(&session);
  statement.prepare("SELECT A FROM T");
  fake().script("OCIStmtExecute", {OCI_NO_DATA});
  if (kImport) {
    expectCode(OracleErrorCode::Execute, [&] { statement.execute(1); });
    EXPECT_EQ(session.errorText(OracleErrorCode::Execute),
              "Error while execute SQL-statement.\nError - OCI_NODATA.");
  } else {
    EXPECT_EQ(statement.execute(1), 100);
  }
}

TEST_F(StatementTest, ExecuteRaisesForEveryOtherResult) {
  OracleStatement statement(&session);
  statement.prepare("INSERT INTO T VALUES (:p0)");
  fake().script("OCIStmtExecute", {OCI_SUCCESS_WITH_INFO, OCI_ERROR, OCI_NEED_DATA});
  fake().records = {{12899, "ORA-12899: value too large for column \"U\".\"T\".\"A\" (actual: 5, maximum: 4)\n"}};
  expectCode(OracleErrorCode::Execute, [&] { statement.execute(3); });
  EXPECT_EQ(session.errorText(OracleErrorCode::Execute),
            "Error while execute SQL-statement.\nError - OCI_SUCCESS_WITH_INFO.");
  expectCode(OracleErrorCode::Execute, [&] { statement.execute(3); });
  EXPECT_EQ(session.errorText(OracleErrorCode::Execute).substr(35, 9), "ORA-12899");
  expectCode(OracleErrorCode::Execute, [&] { statement.execute(3); });
  EXPECT_TRUE(statement.isPrepared());  // a failed execution keeps the statement
}

TEST_F(StatementTest, DescribeExecutesOnceInDescribeOnlyMode) {
  OracleStatement statement(&session);
  statement.prepare("SELECT A FROM T");
  statement.describe();
  auto execute = fake().callsOf("OCIStmtExecute")[0];
  EXPECT_EQ(execute.number, 1u);
  EXPECT_EQ(execute.mode, static_cast<ub4>(OCI_DESCRIBE_ONLY));
  fake().script("OCIStmtExecute", {OCI_NO_DATA});
  expectCode(OracleErrorCode::Execute, [&] { statement.describe(); });
}

TEST_F(StatementTest, AStatementOutlivingItsLogonReachesNoFreedHandle) {
  OracleStatement statement(&session);
  statement.prepare("SELECT A FROM T");
  session.close();
  expectCode(OracleErrorCode::Execute, [&] { statement.execute(0); });
  EXPECT_EQ(fake().callsOf("OCIStmtExecute")[0].service, nullptr);
  EXPECT_EQ(session.errorText(OracleErrorCode::Execute),
            "Error while execute SQL-statement.\nError - OCI_INVALID_HANDLE.");
}

// ---- select-list description ---------------------------------------------------------

TEST_F(StatementTest, ColumnTypeReadsTheItemsDataType) {
  fake().columns = {{"ID", 2, 22}, {"NAME", 1, 40}};
  OracleStatement statement(&session);
  statement.prepare("SELECT ID, NAME FROM T");
  statement.describe();
  EXPECT_EQ(statement.columnType(1), 2);
  EXPECT_EQ(statement.columnType(2), 1);
  auto param = fake().callsOf("OCIParamGet")[1];
  EXPECT_EQ(param.handle, statement.ociHandle());
  EXPECT_EQ(param.type, static_cast<ub4>(OCI_HTYPE_STMT));
  EXPECT_EQ(param.error, error);
  EXPECT_EQ(param.number, 2u);
  auto attr = fake().callsOf("OCIAttrGet")[1];
  EXPECT_EQ(attr.handle, param.produced);
  EXPECT_EQ(attr.type, static_cast<ub4>(OCI_DTYPE_PARAM));
  EXPECT_EQ(attr.attr, static_cast<ub4>(OCI_ATTR_DATA_TYPE));
  EXPECT_FALSE(attr.sizePointer);
  EXPECT_STREQ(session.contextDetail(), "'type' from column 2");
  // Every descriptor OCIParamGet handed out is freed again, also when the
  // attribute cannot be read.
  auto frees = fake().callsOf("OCIDescriptorFree");
  ASSERT_EQ(frees.size(), 2u);
  EXPECT_EQ(frees[1].handle, param.produced);
  EXPECT_EQ(frees[1].type, static_cast<ub4>(OCI_DTYPE_PARAM));
  fake().script("OCIAttrGet", {OCI_ERROR});
  expectCode(OracleErrorCode::AttrGet, [&] { statement.columnSize(1); });
#if !DRIFT_IMPORT_BUILD
  char name[256];
  statement.columnName(2, name, sizeof name);
  int precision = 0, scale = 0, chars = 0;
  // The fake knows no precision: the shape fails, its descriptor goes all the same.
  expectCode(OracleErrorCode::AttrGet,
             [&] { statement.columnShape(1, &precision, &scale, &chars); });
#endif
  EXPECT_EQ(fake().liveCount(OCI_DTYPE_PARAM), 0);
  EXPECT_EQ(fake().invalidFrees, 0);
}

TEST_F(StatementTest, ColumnTypeBeyondTheSelectListNamesThePosition) {
  fake().columns = {{"ID", 2, 22}, {"NAME", 1, 40}};
  fake().records = {{24334, "ORA-24334: no descriptor for this position\n"}};
  OracleStatement statement(&session);
  statement.prepare("SELECT ID, NAME FROM T");
  statement.describe();
  expectCode(OracleErrorCode::ParamGet, [&] { statement.columnType(3); });
  EXPECT_EQ(session.errorText(OracleErrorCode::ParamGet),
            kImport ? "Unexpected error.\nORA-24334: no descriptor for this position "
                    : "Can't get '3' parameter description.\nORA-24334: no descriptor for this position\n");
}

TEST_F(StatementTest, AFailedAttributeReadNamesTheAttributeAndColumn) {
  fake().columns = {{"ID", 2, 22}};
  OracleStatement statement(&session);
  statement.prepare("SELECT ID FROM T");
  fake().script("OCIAttrGet", {OCI_INVALID_HANDLE});
  expectCode(OracleErrorCode::AttrGet, [&] { statement.columnType(1); });
  EXPECT_EQ(session.errorText(OracleErrorCode::AttrGet),
            kImport ? "Unexpected error.\nError - OCI_INVALID_HANDLE."
                    : "Can't get attribute 'type' from column 1.\nError - OCI_INVALID_HANDLE.");
}

#if !DRIFT_IMPORT_BUILD

TEST_F(StatementTest, ColumnNameAndSizeReadTheirAttributes) {
  fake().columns = {{"ID", 2, 22}, {"CUSTOMER_NAME", 1, 40}};
  OracleStatement statement(&session);
  statement.prepare("SELECT ID, CUSTOMER_NAME FROM T");
  statement.describe();
  char name[256];
  std::memset(name, 'X', sizeof name);
  statement.columnName(2, name);
  EXPECT_STREQ(name, "CUSTOMER_NAME");
  auto attr = fake().callsOf("OCIAttrGet")[0];
  EXPECT_EQ(attr.attr, static_cast<ub4>(OCI_ATTR_NAME));
  EXPECT_TRUE(attr.sizePointer);
  EXPECT_EQ(statement.columnSize(2), 40);
  EXPECT_EQ(fake().callsOf("OCIAttrGet")[1].attr, static_cast<ub4>(OCI_ATTR_DATA_SIZE));
  EXPECT_EQ(statement.columnSize(1), 22);

  fake().script("OCIAttrGet", {OCI_ERROR, OCI_ERROR});
  expectCode(OracleErrorCode::AttrGet, [&] { statement.columnName(1, name); });
  EXPECT_EQ(session.errorText(OracleErrorCode::AttrGet), "Can't get attribute 'name' from column 1.\n");
  expectCode(OracleErrorCode::AttrGet, [&] { statement.columnSize(2); });
  EXPECT_EQ(session.errorText(OracleErrorCode::AttrGet), "Can't get attribute 'size' from column 2.\n");
  fake().script("OCIParamGet", {OCI_ERROR});
  expectCode(OracleErrorCode::ParamGet, [&] { statement.columnName(1, name); });
  EXPECT_EQ(session.errorText(OracleErrorCode::ParamGet), "Can't get '1' parameter description.\n");
}

TEST_F(StatementTest, ColumnNameIsCutToTheCallersBuffer) {
  fake().columns = {{std::string(300, 'N'), 1, 10}};
  OracleStatement statement(&session);
  statement.prepare("SELECT X FROM T");
  char name[300];
  statement.columnName(1, name);
  EXPECT_EQ(std::string(name), std::string(255, 'N'));
  char small[8];
  statement.columnName(1, small, sizeof small);
  EXPECT_STREQ(small, "NNNNNNN");
}

// ---- defines ---------------------------------------------------------------------------

TEST_F(StatementTest, DefineColumnPassesTheArraysAndSetsACharsetOnlyWhenGiven) {
  OracleStatement statement(&session);
  statement.prepare("SELECT A, B FROM T");
  char values[10 * 41];
  sb2 indicators[10];
  ub2 lengths[10];
  statement.defineColumn(1, values, 41, 0, indicators, nullptr, 0);
  auto define = fake().callsOf("OCIDefineByPos")[0];
  EXPECT_EQ(define.handle, statement.ociHandle());
  EXPECT_EQ(define.error, error);
  EXPECT_EQ(define.number, 1u);
  EXPECT_EQ(define.value, values);
  EXPECT_EQ(define.size, 41);
  EXPECT_EQ(define.dataType, SQLT_STR);
  EXPECT_EQ(define.indicators, indicators);
  EXPECT_EQ(define.lengths, nullptr);
  EXPECT_EQ(define.returnCodes, nullptr);
  EXPECT_EQ(define.mode, static_cast<ub4>(OCI_DEFAULT));
  EXPECT_EQ(fake().count("OCIAttrSet"), 0);  // charset 0 sets nothing

  statement.defineColumn(2, values, 41, SQLT_BIN, indicators, lengths, 152);
  define = fake().callsOf("OCIDefineByPos")[1];
  EXPECT_EQ(define.dataType, SQLT_BIN);
  EXPECT_EQ(define.lengths, lengths);
  auto set = fake().callsOf("OCIAttrSet");
  ASSERT_EQ(set.size(), 1u);
  EXPECT_EQ(set[0].handle, define.produced);
  EXPECT_EQ(set[0].type, static_cast<ub4>(OCI_HTYPE_DEFINE));
  EXPECT_EQ(set[0].attr, static_cast<ub4>(OCI_ATTR_CHARSET_ID));
  EXPECT_EQ(set[0].attrValue, 152u);
  EXPECT_EQ(set[0].size, 0);
  EXPECT_EQ(statement.definesUsed(), 2);
}

TEST_F(StatementTest, The257thDefineOverflowsWithAnEmptyReason) {
  OracleStatement statement(&session);
  statement.prepare("SELECT * FROM WIDE");
  char values[8];
  sb2 indicators[1];
  for (int i = 1; i <= 256; ++i) statement.defineColumn(i, values, 8, 0, indicators, nullptr, 0);
  leaveAFailureBehind();
  expectCode(OracleErrorCode::ColumnListFull,
             [&] { statement.defineColumn(257, values, 8, 0, indicators, nullptr, 0); });
  EXPECT_EQ(session.errorText(OracleErrorCode::ColumnListFull), "Column list overflow.\n");
  EXPECT_EQ(fake().count("OCIDefineByPos"), 256);
  // A new prepare starts the list again.
  statement.prepare("SELECT * FROM WIDE");
  EXPECT_EQ(statement.definesUsed(), 0);
  statement.defineColumn(1, values, 8, 0, indicators, nullptr, 0);
  EXPECT_EQ(statement.definesUsed(), 1);
}

TEST_F(StatementTest, FailedDefinesAreNotCounted) {
  OracleStatement statement(&session);
  statement.prepare("SELECT A, B, C FROM T");
  char values[8];
  sb2 indicators[1];
  fake().script("OCIDefineByPos", {OCI_ERROR});
  fake().records = {{24334, "ORA-24334: no descriptor for this position\n"}};
  expectCode(OracleErrorCode::Define,
             [&] { statement.defineColumn(3, values, 8, 0, indicators, nullptr, 152); });
  EXPECT_EQ(session.errorText(OracleErrorCode::Define),
            "Can't define column '3' of statement.\nORA-24334: no descriptor for this position\n");
  EXPECT_EQ(statement.definesUsed(), 0);
  EXPECT_EQ(fake().count("OCIAttrSet"), 0);

  // The charset failure keeps the define's status (success): empty reason.
  fake().script("OCIAttrSet", {OCI_ERROR});
  expectCode(OracleErrorCode::AttrSet,
             [&] { statement.defineColumn(2, values, 8, 0, indicators, nullptr, 152); });
  EXPECT_EQ(session.errorText(OracleErrorCode::AttrSet), "Can't set attributes to column '2'.\n");
  EXPECT_EQ(statement.definesUsed(), 0);
}

// ---- fetch --------------------------------------------------------------------------------

TEST_F(StatementTest, FetchSetsPrefetchAndReadsTheRowCountOnlyWhenAsked) {
  OracleStatement statement(&session);
  statement.prepare("SELECT A FROM T");
  statement.execute(0);
  fake().calls.clear();
  fake().script("OCIAttrSet", {OCI_ERROR});  // a refused prefetch does not matter
  EXPECT_EQ(statement.fetch(10), 0);
  std::vector<std::string> expected = {"OCIAttrSet", "OCIStmtFetch"};
  EXPECT_EQ(fake().callNames(), expected);
  auto prefetch = fake().callsOf("OCIAttrSet")[0];
  EXPECT_EQ(prefetch.handle, statement.ociHandle());
  EXPECT_EQ(prefetch.type, static_cast<ub4>(OCI_HTYPE_STMT));
  EXPECT_EQ(prefetch.attr, static_cast<ub4>(OCI_ATTR_PREFETCH_ROWS));
  EXPECT_EQ(prefetch.attrValue, 10u);
  auto fetch = fake().callsOf("OCIStmtFetch")[0];
  EXPECT_EQ(fetch.number, 10u);
  EXPECT_EQ(fetch.orientation, OCI_FETCH_NEXT);
  EXPECT_EQ(fetch.mode, static_cast<ub4>(OCI_DEFAULT));
  EXPECT_EQ(session.lastStatus(), OCI_SUCCESS);

  int rowCount = 0;
  fake().rowCount = 20;
  EXPECT_EQ(statement.fetch(10, &rowCount), 0);
  EXPECT_EQ(rowCount, 20);
  auto attr = fake().callsOf("OCIAttrGet")[0];
  EXPECT_EQ(attr.handle, statement.ociHandle());
  EXPECT_EQ(attr.type, static_cast<ub4>(OCI_HTYPE_STMT));
  EXPECT_EQ(attr.attr, static_cast<ub4>(OCI_ATTR_ROW_COUNT));

  fake().rowCount = 25;
  fake().script("OCIStmtFetch", {OCI_NO_DATA});
  EXPECT_EQ(statement.fetch(10, &rowCount), 100);
  EXPECT_EQ(rowCount, 25);
}

TEST_F(StatementTest, FetchWithInfoDeliversAndCountsItsRows) {
  // ORA-01406 (a value cut to its buffer) and ORA-24347 (a NULL in an
  // aggregate) come with OCI_SUCCESS_WITH_INFO; the rows are there.
  OracleStatement statement(&session);
  statement.prepare("SELECT A FROM T");
  int rowCount = 0;
  fake().script("OCIStmtFetch", {OCI_SUCCESS_WITH_INFO, OCI_SUCCESS_WITH_INFO, OCI_NO_DATA});
  fake().records = {{1406, "ORA-01406: fetched column value was truncated\n"}};
  fake().rowCount = 10;
  EXPECT_EQ(statement.fetch(10, &rowCount), 0);
  EXPECT_EQ(rowCount, 10);
  EXPECT_TRUE(statement.lastFetchWarned());
  fake().records = {{24347, "ORA-24347: Warning of a NULL column in an aggregate function\n"}};
  fake().rowCount = 13;
  EXPECT_EQ(statement.fetch(10, &rowCount), 0);
  EXPECT_EQ(rowCount, 13);
  EXPECT_EQ(statement.fetch(10, &rowCount), 100);
  EXPECT_FALSE(statement.lastFetchWarned());
}

TEST_F(StatementTest, WholeValuesAreDefinedForDynamicFetchAndBoundAtExecution) {
  OracleStatement statement(&session);
  statement.prepare("SELECT A FROM T");
  int context = 0;
  auto define = [](void *, OCIDefine *, ub4, void **, ub4 **, ub1 *, void **, ub2 **) -> sb4 {
    return OCI_CONTINUE;
  };
  statement.defineWhole(1, &context, define, 152);
  auto byPos = fake().callsOf("OCIDefineByPos")[0];
  EXPECT_EQ(byPos.value, nullptr);
  EXPECT_EQ(byPos.size, 0x7FFFFFFF);
  EXPECT_EQ(byPos.dataType, SQLT_LNG);
  EXPECT_EQ(byPos.mode, static_cast<ub4>(OCI_DYNAMIC_FETCH));
  auto dynamic = fake().callsOf("OCIDefineDynamic")[0];
  EXPECT_EQ(dynamic.handle, byPos.produced);
  EXPECT_EQ(dynamic.value, &context);
  auto charset = fake().callsOf("OCIAttrSet").back();
  EXPECT_EQ(charset.handle, byPos.produced);
  EXPECT_EQ(charset.attr, static_cast<ub4>(OCI_ATTR_CHARSET_ID));
  EXPECT_EQ(charset.attrValue, 152u);
  EXPECT_EQ(statement.definesUsed(), 1);

  fake().script("OCIDefineDynamic", {OCI_ERROR});
  expectCode(OracleErrorCode::Define, [&] { statement.defineWhole(2, &context, define, 0); });
  EXPECT_EQ(statement.definesUsed(), 1);
}

TEST_F(StatementTest, FetchFailuresRaiseFetchOrAttrGet) {
  OracleStatement statement(&session);
  statement.prepare("SELECT A FROM T");
  int rowCount = 7;
  fake().script("OCIStmtFetch", {OCI_ERROR, OCI_NEED_DATA});
  fake().records = {{1406, "ORA-01406: fetched column value was truncated\n"}};
  expectCode(OracleErrorCode::Fetch, [&] { statement.fetch(10, &rowCount); });
  EXPECT_EQ(session.errorText(OracleErrorCode::Fetch),
            "Error while fetching SQL-statement.\nORA-01406: fetched column value was truncated\n");
  expectCode(OracleErrorCode::Fetch, [&] { statement.fetch(10, &rowCount); });
  EXPECT_EQ(session.errorText(OracleErrorCode::Fetch),
            "Error while fetching SQL-statement.\nError - OCI_NEED_DATA.");
  EXPECT_EQ(fake().count("OCIAttrGet"), 0);
  EXPECT_EQ(rowCount, 7);

  fake().script("OCIAttrGet", {OCI_INVALID_HANDLE});
  expectCode(OracleErrorCode::AttrGet, [&] { statement.fetch(10, &rowCount); });
  EXPECT_EQ(session.errorText(OracleErrorCode::AttrGet),
            "Can't get attribute 'row_count'.\nError - OCI_INVALID_HANDLE.");
  EXPECT_EQ(rowCount, 7);
}

#endif  // !DRIFT_IMPORT_BUILD

// ---- binds ----------------------------------------------------------------------------------

TEST_F(StatementTest, BindParameterPassesTheArraysAndSetsACharsetOnlyWhenGiven) {
  OracleStatement statement(&session);
  statement.prepare("INSERT INTO T VALUES (:param0, :param1)");
  char text[3 * 11] = {};
  char raw[3 * 4] = {};
  ub2 lengths[3] = {4, 2, 0};
  statement.bindParameter(":param0", text, 11, 0, nullptr, 0);
  auto bind = fake().callsOf("OCIBindByName")[0];
  EXPECT_EQ(bind.handle, statement.ociHandle());
  EXPECT_EQ(bind.error, error);
  EXPECT_EQ(bind.text, ":param0");
  EXPECT_EQ(bind.length, -1);
  EXPECT_EQ(bind.value, text);
  EXPECT_EQ(bind.size, 11);
  EXPECT_EQ(bind.dataType, SQLT_STR);
  EXPECT_EQ(bind.indicators, nullptr);
  EXPECT_EQ(bind.lengths, nullptr);
  EXPECT_EQ(bind.returnCodes, nullptr);
  EXPECT_EQ(bind.maxArray, 0u);
  EXPECT_EQ(bind.currentElements, nullptr);
  EXPECT_EQ(bind.mode, static_cast<ub4>(OCI_DEFAULT));
  EXPECT_EQ(fake().count("OCIAttrSet"), 0);

  statement.bindParameter(":param1", raw, 4, SQLT_BIN, lengths, 152);
  bind = fake().callsOf("OCIBindByName")[1];
  EXPECT_EQ(bind.dataType, SQLT_BIN);
  EXPECT_EQ(bind.lengths, lengths);
  auto set = fake().callsOf("OCIAttrSet");
  ASSERT_EQ(set.size(), 1u);
  EXPECT_EQ(set[0].handle, bind.produced);
  EXPECT_EQ(set[0].type, static_cast<ub4>(OCI_HTYPE_BIND));
  EXPECT_EQ(set[0].attr, static_cast<ub4>(OCI_ATTR_CHARSET_ID));
  EXPECT_EQ(set[0].attrValue, 152u);
  EXPECT_EQ(statement.bindsUsed(), 2);
  EXPECT_STREQ(session.contextDetail(), "to parameter ':param1'");
}

TEST_F(StatementTest, BindWholeSendsEachRowFromTheCallbackAtExecution) {
  OracleStatement statement(&session);
  statement.prepare("INSERT INTO T VALUES (:param0)");
  int context = 0;
  auto in = [](void *, OCIBind *, ub4, ub4, void **, ub4 *, ub1 *, void **) -> sb4 {
    return OCI_CONTINUE;
  };
  statement.bindWhole(":param0", &context, in, 152);
  auto bind = fake().callsOf("OCIBindByName")[0];
  EXPECT_EQ(bind.text, ":param0");
  EXPECT_EQ(bind.value, nullptr);
  EXPECT_EQ(bind.size, 0x7FFFFFFF);
  EXPECT_EQ(bind.dataType, SQLT_LNG);
  EXPECT_EQ(bind.mode, static_cast<ub4>(OCI_DATA_AT_EXEC));
  auto dynamic = fake().callsOf("OCIBindDynamic")[0];
  EXPECT_EQ(dynamic.handle, bind.produced);
  EXPECT_EQ(dynamic.value, &context);
  auto set = fake().callsOf("OCIAttrSet");
  ASSERT_EQ(set.size(), 1u);
  EXPECT_EQ(set[0].attrValue, 152u);
  EXPECT_EQ(statement.bindsUsed(), 1);

  fake().script("OCIBindDynamic", {OCI_ERROR});
  expectCode(OracleErrorCode::Bind, [&] { statement.bindWhole(":param1", &context, in, 0); });
  EXPECT_EQ(statement.bindsUsed(), 1);
}

TEST_F(StatementTest, The257thBindOverflowsWithAnEmptyReason) {
  OracleStatement statement(&session);
  statement.prepare("INSERT INTO WIDE VALUES (...)");
  char values[4];
  for (int i = 0; i < 256; ++i) {
    std::string name = ":param" + std::to_string(i);
    statement.bindParameter(name.c_str(), values, 4, 0, nullptr, 0);
  }
  leaveAFailureBehind();
  expectCode(OracleErrorCode::ParamListFull,
             [&] { statement.bindParameter(":param256", values, 4, 0, nullptr, 0); });
  EXPECT_EQ(session.errorText(OracleErrorCode::ParamListFull), "Parametr list overflow.\n");
  EXPECT_EQ(fake().count("OCIBindByName"), 256);
  statement.release();
  EXPECT_EQ(statement.bindsUsed(), 0);
}

TEST_F(StatementTest, FailedBindsAreNotCounted) {
  OracleStatement statement(&session);
  statement.prepare("INSERT INTO T VALUES (:p0)");
  char values[4];
  fake().script("OCIBindByName", {OCI_ERROR});
  fake().records = {{1036, "ORA-01036: illegal variable name/number\n"}};
  expectCode(OracleErrorCode::Bind, [&] { statement.bindParameter(":px", values, 4, 0, nullptr, 0); });
  EXPECT_EQ(session.errorText(OracleErrorCode::Bind),
            kImport ? "Can't bind parametr ':px' to statement.\nORA-01036: illegal variable name/number "
                    : "Can't bind parametr ':px' to statement.\nORA-01036: illegal variable name/number\n");
  EXPECT_EQ(statement.bindsUsed(), 0);

  // The binding is made, the charset refused: not counted, empty reason.
  fake().script("OCIAttrSet", {OCI_ERROR});
  expectCode(OracleErrorCode::AttrSet, [&] { statement.bindParameter(":p0", values, 4, 0, nullptr, 152); });
  EXPECT_EQ(session.errorText(OracleErrorCode::AttrSet), "Can't set attributes to parameter ':p0'.\n");
  EXPECT_EQ(statement.bindsUsed(), 0);
  EXPECT_EQ(session.lastStatus(), OCI_SUCCESS);
}

}  // namespace
