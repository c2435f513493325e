// OracleSession against the scriptable fake OCI: logon and its failures,
// handle ownership, transactions, and the messages of errorText.  Built and
// run once per build (export and import); build-specific expectations are
// marked with kImport.
#include <gtest/gtest.h>

#include <cstring>
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

// Runs `action`, expecting it to throw the int `expected`.
template <typename Action>
void expectCode(int expected, Action action) {
  try {
    action();
    ADD_FAILURE() << "no error raised, expected " << expected;
  } catch (int code) {
    EXPECT_EQ(code, expected);
  }
}

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override { fake().reset(); }
};

// ---- open ------------------------------------------------------------------

TEST_F(SessionTest, OpenAllocatesHandlesAndLogsOnWithByteLengths) {
  OracleSession session;
  EXPECT_FALSE(session.isOpen());
  EXPECT_STREQ(session.contextDetail(), "<Empty>");
  session.open("scott", "tiger", "data/main.db");
  EXPECT_TRUE(session.isOpen());
  EXPECT_STREQ(session.user(), "scott");
  EXPECT_STREQ(session.service(), "data/main.db");

  std::vector<std::string> expected = {"OCIEnvInit", "OCIHandleAlloc", "OCIHandleAlloc",
                                       "OCIHandleAlloc", "OCILogon", "OCIHandleFree"};
  EXPECT_EQ(fake().callNames(), expected);
  auto allocs = fake().callsOf("OCIHandleAlloc");
  const void *env = fake().callsOf("OCIEnvInit")[0].produced;
  ASSERT_EQ(allocs.size(), 3u);
  EXPECT_EQ(allocs[0].type, OCI_HTYPE_ERROR);
  EXPECT_EQ(allocs[1].type, OCI_HTYPE_SERVER);
  EXPECT_EQ(allocs[2].type, OCI_HTYPE_SVCCTX);
  for (const auto &alloc : allocs) EXPECT_EQ(alloc.handle, env);

  auto logon = fake().callsOf("OCILogon")[0];
  EXPECT_EQ(logon.handle, env);
  EXPECT_EQ(logon.error, allocs[0].produced);
  EXPECT_EQ(logon.service, allocs[2].produced);  // our handle goes in ...
  EXPECT_EQ(logon.text, "scott");
  EXPECT_EQ(logon.length, 5);
  EXPECT_EQ(logon.password, "tiger");
  EXPECT_EQ(logon.passwordLength, 5u);
  EXPECT_EQ(logon.database, "data/main.db");
  EXPECT_EQ(logon.databaseLength, 12u);
  // ... and, replaced by the one OCILogon made, is freed at once.
  auto freed = fake().callsOf("OCIHandleFree");
  EXPECT_EQ(freed[0].handle, allocs[2].produced);
  EXPECT_EQ(freed[0].type, OCI_HTYPE_SVCCTX);
  EXPECT_EQ(fake().liveCount(OCI_HTYPE_SVCCTX), 1);
  EXPECT_EQ(session.lastStatus(), OCI_SUCCESS);
}

TEST_F(SessionTest, EmptyServiceNameLogsOnToTheLocalDatabaseWithLengthZero) {
  OracleSession session;
  session.open("u", "", "");
  auto logon = fake().callsOf("OCILogon")[0];
  EXPECT_EQ(logon.databaseLength, 0u);
  EXPECT_EQ(logon.passwordLength, 0u);
  EXPECT_STREQ(session.service(), "");
}

TEST_F(SessionTest, LongNamesAreKeptCutButSentWhole) {
  std::string longService(300, 's');
  OracleSession session;
  session.open("u", "p", longService.c_str());
  EXPECT_EQ(fake().callsOf("OCILogon")[0].database, longService);
  EXPECT_EQ(std::string(session.service()), longService.substr(0, 127));
}

TEST_F(SessionTest, OpenOnAnOpenSessionRefusesWithAnEmptyReasonAndStaysOpen) {
  OracleSession session;
  session.open("u", "p", "");
  fake().script("OCITransCommit", {OCI_ERROR});  // leave a failure behind
  expectCode(OracleErrorCode::TransCommit, [&] { session.commit(0); });
  std::size_t before = fake().calls.size();
  expectCode(OracleErrorCode::AlreadyOpen, [&] { session.open("v", "q", "x"); });
  EXPECT_EQ(fake().calls.size(), before);  // nothing reached OCI
  EXPECT_TRUE(session.isOpen());
  EXPECT_STREQ(session.user(), "u");
  EXPECT_EQ(session.errorText(OracleErrorCode::AlreadyOpen), "Database already opened.\n");
}

TEST_F(SessionTest, WrongPasswordGivesTheServerRecordInTheLogonMessage) {
  fake().script("OCILogon", {OCI_ERROR});
  fake().records = {{1017, "ORA-01017: invalid username/password; logon denied\n"}};
  OracleSession session;
  expectCode(OracleErrorCode::Logon, [&] { session.open("scott", "wrong", ""); });
  EXPECT_FALSE(session.isOpen());
  EXPECT_EQ(session.lastStatus(), OCI_ERROR);
  EXPECT_EQ(session.errorText(OracleErrorCode::Logon),
            kImport ? "Can't logon to database.\nORA-01017: invalid username/password; logon denied "
                    : "Can't logon to database.\nORA-01017: invalid username/password; logon denied\n");
  // A later open uses the handles it has and succeeds.
  session.open("scott", "tiger", "");
  EXPECT_TRUE(session.isOpen());
  EXPECT_EQ(fake().count("OCIEnvInit"), 1);
  EXPECT_EQ(fake().liveCount(OCI_HTYPE_ERROR), 1);
  EXPECT_EQ(fake().liveCount(OCI_HTYPE_SERVER), 1);
}

TEST_F(SessionTest, LogonWithInfoIsALogonThatKeepsTheServersWarning) {
  // A real server answers OCI_SUCCESS_WITH_INFO with ORA-28002 when the
  // password is about to expire: the session is logged on all the same.
  fake().script("OCILogon", {OCI_SUCCESS_WITH_INFO});
  fake().records = {{28002, "ORA-28002: the password will expire within 7 days\n"}};
  OracleSession session;
  session.open("scott", "tiger", "db");
  EXPECT_TRUE(session.isOpen());
  EXPECT_EQ(session.logonWarning(), "ORA-28002: the password will expire within 7 days");
  EXPECT_EQ(session.lastStatus(), OCI_SUCCESS);
  const void *service = fake().callsOf("OCILogon")[0].produced;
  ASSERT_NE(service, nullptr);
  session.close();
  ASSERT_EQ(fake().count("OCILogoff"), 1);
  EXPECT_EQ(fake().callsOf("OCILogoff")[0].service, service);
  EXPECT_EQ(fake().liveCount(OCI_HTYPE_SVCCTX), 0);

  // A plain logon has no warning, also after one that had.
  session.open("scott", "tiger", "db");
  EXPECT_EQ(session.logonWarning(), "");
}

TEST_F(SessionTest, EnvironmentFailureRaisesEnvInitWithTheStatusReason) {
  fake().script("OCIEnvInit", {OCI_INVALID_HANDLE});
  OracleSession session;
  expectCode(OracleErrorCode::EnvInit, [&] { session.open("u", "p", ""); });
  EXPECT_EQ(session.errorText(OracleErrorCode::EnvInit),
            "Can't allocate environment variable.\nError - OCI_INVALID_HANDLE.");
  EXPECT_EQ(fake().count("OCIHandleAlloc"), 0);
}

TEST_F(SessionTest, HandleAllocationFailuresKeepEarlierHandlesForTheDestructor) {
  // Error handle fine, server handle refused.
  fake().script("OCIHandleAlloc", {OCI_SUCCESS, OCI_ERROR});
  fake().envRecords = {{1019, "ORA-01019: unable to allocate memory in the user side\n"}};
  {
    OracleSession session;
    expectCode(OracleErrorCode::HandleAlloc, [&] { session.open("u", "p", ""); });
    EXPECT_FALSE(session.isOpen());
    EXPECT_EQ(fake().count("OCILogon"), 0);
    EXPECT_EQ(fake().liveCount(OCI_HTYPE_ERROR), 1);
  }
  EXPECT_EQ(fake().liveCount(OCI_HTYPE_ERROR), 0);
  EXPECT_EQ(fake().invalidFrees, 0);
}

TEST_F(SessionTest, WithoutAnErrorHandleTheReasonComesFromTheEnvironment) {
  fake().script("OCIHandleAlloc", {OCI_ERROR});
  fake().envRecords = {{1019, "ORA-01019: unable to allocate memory in the user side"}};
  OracleSession session;
  expectCode(OracleErrorCode::HandleAlloc, [&] { session.open("u", "p", ""); });
  EXPECT_EQ(session.errorText(OracleErrorCode::HandleAlloc),
            "Can't allocate handle variable.\nORA-01019: unable to allocate memory in the user side");
  EXPECT_EQ(fake().callsOf("OCIErrorGet")[0].type, static_cast<ub4>(OCI_HTYPE_ENV));
}

// ---- close and teardown ------------------------------------------------------

TEST_F(SessionTest, CloseLogsOffAndTeardownFreesEachHandleOnce) {
  const void *server = nullptr;
  const void *error = nullptr;
  {
    OracleSession session;
    session.open("u", "p", "");
    auto allocs = fake().callsOf("OCIHandleAlloc");
    error = allocs[0].produced;
    server = allocs[1].produced;
    const void *logonService = fake().callsOf("OCILogon")[0].produced;
    session.close();
    EXPECT_FALSE(session.isOpen());
    auto logoff = fake().callsOf("OCILogoff");
    ASSERT_EQ(logoff.size(), 1u);
    EXPECT_EQ(logoff[0].service, logonService);
    EXPECT_EQ(logoff[0].error, error);
    session.close();  // closed: nothing happens
    EXPECT_EQ(fake().count("OCILogoff"), 1);
    fake().calls.clear();
  }
  // The logoff freed the service context; the destructor frees only ours,
  // server before error, and never a handle twice.
  auto freed = fake().callsOf("OCIHandleFree");
  ASSERT_EQ(freed.size(), 2u);
  EXPECT_EQ(freed[0].handle, server);
  EXPECT_EQ(freed[0].type, OCI_HTYPE_SERVER);
  EXPECT_EQ(freed[1].handle, error);
  EXPECT_EQ(freed[1].type, OCI_HTYPE_ERROR);
  EXPECT_EQ(fake().invalidFrees, 0);
  EXPECT_EQ(fake().liveCount(OCI_HTYPE_SVCCTX), 0);
  EXPECT_EQ(fake().liveCount(OCI_HTYPE_ENV), 1);  // the environment ends with the process
}

TEST_F(SessionTest, FailedLogoffClosesAnywayAndTheDestructorFreesTheServiceContext) {
  {
    OracleSession session;
    session.open("u", "p", "");
    fake().script("OCILogoff", {OCI_ERROR});
    fake().records = {{3113, "ORA-03113: end-of-file on communication channel\n"}};
    expectCode(OracleErrorCode::Logoff, [&] { session.close(); });
    EXPECT_FALSE(session.isOpen());
    EXPECT_EQ(session.errorText(OracleErrorCode::Logoff).rfind("Can't logoff from database.\nORA-03113", 0),
              0u);
    session.close();
    EXPECT_EQ(fake().count("OCILogoff"), 1);
  }
  EXPECT_EQ(fake().liveCount(OCI_HTYPE_SVCCTX), 0);
  EXPECT_EQ(fake().invalidFrees, 0);
}

TEST_F(SessionTest, DestructorLogsOffAnOpenSessionAndSwallowsAFailure) {
  {
    OracleSession session;
    session.open("u", "p", "");
  }
  EXPECT_EQ(fake().count("OCILogoff"), 1);
  EXPECT_EQ(fake().liveCount(OCI_HTYPE_SVCCTX), 0);
  EXPECT_EQ(fake().invalidFrees, 0);

  fake().reset();
  EXPECT_NO_THROW({
    OracleSession session;
    session.open("u", "p", "");
    fake().script("OCILogoff", {OCI_ERROR});
  });
  EXPECT_EQ(fake().liveCount(OCI_HTYPE_SVCCTX), 0);
  EXPECT_EQ(fake().liveCount(OCI_HTYPE_SERVER), 0);
  EXPECT_EQ(fake().liveCount(OCI_HTYPE_ERROR), 0);
}

TEST_F(SessionTest, ReopenAfterCloseNeedsNoNewEnvironment) {
  OracleSession session;
  session.open("u", "p", "");
  session.close();
  session.open("u", "p", "");
  EXPECT_TRUE(session.isOpen());
  EXPECT_EQ(fake().count("OCIEnvInit"), 1);
  EXPECT_EQ(fake().liveCount(OCI_HTYPE_SERVER), 1);
  EXPECT_EQ(fake().liveCount(OCI_HTYPE_SVCCTX), 1);
}

// ---- transactions --------------------------------------------------------------

TEST_F(SessionTest, TransactionsNeedAnOpenSession) {
  OracleSession session;
  expectCode(OracleErrorCode::NotOpen, [&] { session.startTransaction(OCI_TRANS_READONLY); });
  EXPECT_EQ(session.errorText(OracleErrorCode::NotOpen), "Database yet not open.\n");
  expectCode(OracleErrorCode::NotOpen, [&] { session.commit(0); });
  EXPECT_TRUE(fake().calls.empty());
}

TEST_F(SessionTest, StartTransactionFailsOnlyOnOciError) {
  OracleSession session;
  session.open("u", "p", "");
  const void *service = fake().callsOf("OCILogon")[0].produced;
  fake().script("OCITransStart", {OCI_SUCCESS_WITH_INFO, OCI_INVALID_HANDLE, OCI_ERROR});
  fake().records = {{1453, "ORA-01453: SET TRANSACTION must be first statement of transaction\n"}};

  EXPECT_NO_THROW(session.startTransaction(OCI_TRANS_READONLY));
  EXPECT_EQ(session.lastStatus(), OCI_SUCCESS_WITH_INFO);
  auto start = fake().callsOf("OCITransStart")[0];
  EXPECT_EQ(start.service, service);
  EXPECT_EQ(start.number, 60u);
  EXPECT_EQ(start.mode, static_cast<ub4>(OCI_TRANS_READONLY));

  EXPECT_NO_THROW(session.startTransaction(0));
  expectCode(OracleErrorCode::TransStart, [&] { session.startTransaction(0); });
  EXPECT_EQ(session.errorText(OracleErrorCode::TransStart),
            kImport ? "Unexpected error.\nORA-01453: SET TRANSACTION must be first statement of "
                      "transaction "
                    : "Can't start transaction.\nORA-01453: SET TRANSACTION must be first "
                      "statement of transaction\n");
}

TEST_F(SessionTest, CommitFailsOnAnyResultButSuccess) {
  OracleSession session;
  session.open("u", "p", "");
  session.commit(0);
  EXPECT_EQ(fake().callsOf("OCITransCommit")[0].mode, 0u);
  fake().script("OCITransCommit", {OCI_SUCCESS_WITH_INFO});
  expectCode(OracleErrorCode::TransCommit, [&] { session.commit(0); });
  EXPECT_EQ(session.errorText(OracleErrorCode::TransCommit),
            std::string(kImport ? "Unexpected error.\n" : "Can't commit transaction.\n") +
                "Error - OCI_SUCCESS_WITH_INFO.");
}

// ---- errorText -------------------------------------------------------------------

// Leaves `status` as the session's latest OCI result through a failed commit.
void failCommitWith(OracleSession &session, sword status) {
  fake().script("OCITransCommit", {status});
  expectCode(OracleErrorCode::TransCommit, [&] { session.commit(0); });
}

TEST_F(SessionTest, ReasonTextFollowsTheLatestStatus) {
  struct Case {
    sword status;
    const char *reason;
  } cases[] = {
      {OCI_SUCCESS_WITH_INFO, "Error - OCI_SUCCESS_WITH_INFO."},
      {OCI_NEED_DATA, "Error - OCI_NEED_DATA."},
      {OCI_NO_DATA, "Error - OCI_NODATA."},
      {OCI_INVALID_HANDLE, "Error - OCI_INVALID_HANDLE."},
      {OCI_STILL_EXECUTING, "Error - OCI_STILL_EXECUTE."},
      {OCI_CONTINUE, "Error - OCI_CONTINUE."},
      {OCI_ERROR, ""},  // no records
      {7, "Unexpected error."},
      {-24201, "Unexpected error."},
  };
  OracleSession session;
  session.open("u", "p", "");
  for (const Case &c : cases) {
    failCommitWith(session, c.status);
    EXPECT_EQ(session.errorText(OracleErrorCode::Execute),
              std::string("Error while execute SQL-statement.\n") + c.reason)
        << "status " << c.status;
  }
}

TEST_F(SessionTest, ErrorRecordsAreJoinedInOrderUntilNoneIsLeft) {
  OracleSession session;
  session.open("u", "p", "");
  fake().records = {{942, "ORA-00942: table or view does not exist\n"},
                    {604, "ORA-00604: error occurred at recursive SQL level 1\n"},
                    {6512, "ORA-06512: at line 1"}};
  failCommitWith(session, OCI_ERROR);
  const void *error = fake().callsOf("OCIHandleAlloc")[0].produced;
  fake().calls.clear();
  std::string reason = kImport ? "ORA-00942: table or view does not exist "
                                 "ORA-00604: error occurred at recursive SQL level 1 "
                                 "ORA-06512: at line 1"
                               : "ORA-00942: table or view does not exist\n"
                                 "ORA-00604: error occurred at recursive SQL level 1\n"
                                 "ORA-06512: at line 1";
  EXPECT_EQ(session.errorText(OracleErrorCode::Execute),
            "Error while execute SQL-statement.\n" + reason);
  auto gets = fake().callsOf("OCIErrorGet");
  ASSERT_EQ(gets.size(), 4u);  // three records, then the one that yields none
  for (ub4 i = 0; i < 4; ++i) {
    EXPECT_EQ(gets[i].number, i + 1);
    EXPECT_EQ(gets[i].handle, error);
    EXPECT_TRUE(gets[i].nullSqlState);
    EXPECT_EQ(gets[i].bufferSize, 3500u);
    EXPECT_EQ(gets[i].type, static_cast<ub4>(OCI_HTYPE_ERROR));
  }
  // errorText makes no call that changes the status.
  EXPECT_EQ(session.lastStatus(), OCI_ERROR);
  EXPECT_EQ(fake().calls.size(), 4u);
}

TEST_F(SessionTest, ARecordWithCode100EndsTheList) {
  OracleSession session;
  session.open("u", "p", "");
  fake().records = {{1, "ORA-00001: unique constraint (U.PK) violated"}};
  fake().endWithCode100 = true;
  failCommitWith(session, OCI_ERROR);
  EXPECT_EQ(session.errorText(OracleErrorCode::TransCommit),
            std::string(kImport ? "Unexpected error.\n" : "Can't commit transaction.\n") +
                "ORA-00001: unique constraint (U.PK) violated");
  EXPECT_EQ(fake().count("OCIErrorGet"), 2);
}

TEST_F(SessionTest, LineBreaksInTheReasonBecomeBlanksOnlyInTheImportBuild) {
  OracleSession session;
  session.open("u", "p", "");
  fake().records = {{20001, "ORA-20001: first line\r\nsecond line\n"}};
  failCommitWith(session, OCI_ERROR);
  EXPECT_EQ(session.errorText(OracleErrorCode::Prepare),
            kImport ? "Error while prepare SQL-statement.\nORA-20001: first line  second line "
                    : "Error while prepare SQL-statement.\nORA-20001: first line\r\nsecond line\n");
}

TEST_F(SessionTest, LongReasonsAreCutAt3899BytesWithoutSplittingACharacter) {
  OracleSession session;
  session.open("u", "p", "");
  // Records are read into 3500 bytes; two full ones exceed the reason.
  std::string first(3600, 'a');
  std::string second = std::string(398, 'b') + "\xD0\x96" + std::string(500, 'c');
  fake().records = {{1, first}, {2, second}, {3, "never read"}};
  failCommitWith(session, OCI_ERROR);
  std::string message = session.errorText(OracleErrorCode::Prepare);
  std::string head = "Error while prepare SQL-statement.\n";
  ASSERT_EQ(message.rfind(head, 0), 0u);
  std::string reason = message.substr(head.size());
  // 3499 'a' + 398 'b' = 3897 bytes; the two-byte letter would end at 3899,
  // so it fits exactly; one more byte would split nothing either.
  EXPECT_EQ(reason.size(), 3899u);
  EXPECT_EQ(reason.substr(0, 3499), std::string(3499, 'a'));
  EXPECT_EQ(reason.substr(3897), "\xD0\x96");
  EXPECT_EQ(fake().count("OCIErrorGet"), 2);  // full after the second record

  // Shift the letter by one byte: it would straddle the limit and is left out.
  fake().records = {{1, first}, {2, std::string(399, 'b') + "\xD0\x96" + "tail"}};
  failCommitWith(session, OCI_ERROR);
  reason = session.errorText(OracleErrorCode::Prepare).substr(head.size());
  EXPECT_EQ(reason.size(), 3898u);
  EXPECT_EQ(reason.back(), 'b');
}

TEST_F(SessionTest, MessageTableOfEachBuild) {
  // Fresh session: empty reason, detail "<Empty>".
  OracleSession session;
  const char *full[21] = {
      nullptr,
      "Can't allocate environment variable.\n",
      "Can't allocate handle variable.\n",
      "Database yet not open.\n",
      "Database already opened.\n",
      "Can't logon to database.\n",
      "Can't logoff from database.\n",
      "Error while prepare SQL-statement.\n",
      "Statement yet not created.\n",
      "Error while execute SQL-statement.\n",
      "Parametr list overflow.\n",
      "Can't bind parametr '<Empty>' to statement.\n",
      "Can't get '<Empty>' parameter description.\n",
      "Can't get attribute <Empty>.\n",
      "Column list overflow.\n",
      "Can't define column '<Empty>' of statement.\n",
      "Error while fetching SQL-statement.\n",
      "Can't start transaction.\n",
      "Can't commit transaction.\n",
      "Can't rollback transaction.\n",
      "Can't set attributes <Empty>.\n",
  };
  for (int code = 1; code <= 20; ++code) {
    bool inImportTable = code <= 11 || code == 20;
    std::string expected = (!kImport || inImportTable) ? full[code] : "Unexpected error.\n";
    EXPECT_EQ(session.errorText(code), expected) << "code " << code;
  }
  for (int code : {0, 21, -1, 1000})
    EXPECT_EQ(session.errorText(code), "Unexpected error.\n") << "code " << code;
}

TEST_F(SessionTest, ASmallBufferGetsACutTerminatedMessage) {
  OracleSession session;
  char buffer[16];
  std::memset(buffer, 'X', sizeof buffer);
  session.errorText(OracleErrorCode::Logon, buffer, 10);
  EXPECT_STREQ(buffer, "Can't log");
  EXPECT_EQ(buffer[10], 'X');
  session.errorText(OracleErrorCode::Logon, buffer, 0);  // no room: untouched
  EXPECT_EQ(buffer[0], 'C');
}

}  // namespace
