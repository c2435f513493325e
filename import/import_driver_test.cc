// The import driver against the session layer's scriptable fake OCI: which SQL
// texts go to the server, in which order, with how many iterations, and how every
// pair is bound.  The dbf files are real (made and filled through the engine in a
// scratch directory); only the server is scripted.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "front/config_reader.h"
#include "front/console.h"
#include "front/run_settings.h"
#include "import/import_run.h"
#include "oracle/testing/fake_oci.h"
#include "tests/scratch_dir.h"
#include "xbase/data/data.h"

using fakeoci::fake;

namespace {

class ImportDriver : public ::testing::Test {
 protected:
  void SetUp() override {
    // Names in a configuration line cannot hold '-': the files are named
    // relative to the scratch directory.
    scratch.enter("drift-import");
    dir = scratch.path();
    fake().reset();
    runSettings = RunSettings{};
    runSettings.program = ProgramKind::Import;
    runSettings.user = "scott";
    runSettings.password = "tiger";
    runSettings.configFile = dir + "/run.cfg";
    console = std::tmpfile();
    setConsoleStream(console);
  }

  void TearDown() override {
    setConsoleStream(nullptr);
    std::fclose(console);
    scratch.leave();
  }

  // A dbf file with the fields; every record gives each field's text, a leading
  // '*' on the first value marks it deleted.
  void makeDbf(const std::string& name, const std::vector<FieldDef>& fields,
               const std::vector<std::vector<std::string>>& records) {
    CODE4 context;
    engineInit(&context);
    context.autoOpen = 0;
    context.errQuiet = 1;
    const std::string path = dir + "/" + name;
    DataFile* data =
        dataCreate(&context, path.c_str(), fields.data(), static_cast<int32_t>(fields.size()));
    ASSERT_NE(data, nullptr) << engineErrorCode(&context);
    for (const auto& record : records) {
      ASSERT_EQ(dataAppendStart(data, 0), 0);
      dataBlank(data);
      for (std::size_t j = 0; j < record.size(); ++j) {
        std::string value = record[j];
        if (j == 0 && !value.empty() && value[0] == '*') {
          value.erase(0, 1);
          dataDelete(data);
        }
        FieldInfo* field = dataField(data, static_cast<int32_t>(j + 1));
        if (fieldType(field) == 'M')
          memoAssign(field, value.data(), static_cast<int32_t>(value.size()));
        else
          fieldAssignText(field, value.data(), static_cast<int32_t>(value.size()));
      }
      ASSERT_EQ(dataAppend(data), 0);
    }
    dataClose(data);
    engineRelease(&context);
  }

  void config(const std::string& text) {
    std::FILE* file = std::fopen(runSettings.configFile.c_str(), "w");
    std::fputs(text.c_str(), file);
    std::fclose(file);
  }

  // What the server was sent, one line per execution: the statement's text, then
  // " x" and the iterations, or " (describe)".
  static std::vector<std::string> executions() {
    std::map<const void*, std::string> texts;
    std::vector<std::string> lines;
    for (const fakeoci::Call& call : fake().calls) {
      if (call.fn == "OCIStmtPrepare") texts[call.handle] = call.text;
      if (call.fn != "OCIStmtExecute") continue;
      if (call.mode & OCI_DESCRIBE_ONLY)
        lines.push_back(texts[call.handle] + " (describe)");
      else
        lines.push_back(texts[call.handle] + " x" + std::to_string(call.number));
    }
    return lines;
  }

  std::string consoleText() {
    std::fflush(console);
    std::rewind(console);
    std::string text;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, console)) > 0) text.append(buffer, n);
    return text;
  }

  ScratchDir scratch;
  std::string dir;
  std::FILE* console = nullptr;
};

const std::string kTerritory = "ALTER SESSION SET NLS_TERRITORY=AMERICA x1";
const std::string kDateFormat = "ALTER SESSION SET NLS_DATE_FORMAT=\"YYYYMMDD\" x1";

TEST_F(ImportDriver, BlocksCommitsAndTheClosingStatements) {
  // Four records, the second deleted: three live ones.
  makeDbf("nums.dbf", {{"N", 'N', 6, 0}, {"T", 'C', 4, 0}},
          {{"1", "a"}, {"*2", "b"}, {"3", "c"}, {"4", "d"}});
  fake().columns = {{"N", 2, 22}, {"T", 1, 4}};
  config("%TABLE_NAME=nums_t\n%DBF_NAME=nums\n%TRUNCATE=ON\nn=N\nt=T\n");

  struct Case {
    int blockSize;
    std::vector<std::string> transfer;  // from the INSERT's preparation on
  };
  const Case cases[] = {
      // Exactly a block: one full execution and its COMMIT; after the loop no
      // INSERT, one COMMIT.
      {3, {"INSERT /*+ APPEND */ INTO nums_t (N,T) VALUES (:param0,:param1) x3", "COMMIT x1",
           "COMMIT x1"}},
      // A block and one row more.
      {2, {"INSERT /*+ APPEND */ INTO nums_t (N,T) VALUES (:param0,:param1) x2", "COMMIT x1",
           "INSERT /*+ APPEND */ INTO nums_t (N,T) VALUES (:param0,:param1) x1", "COMMIT x1"}},
      // Every record on its own.
      {1, {"INSERT /*+ APPEND */ INTO nums_t (N,T) VALUES (:param0,:param1) x1", "COMMIT x1",
           "INSERT /*+ APPEND */ INTO nums_t (N,T) VALUES (:param0,:param1) x1", "COMMIT x1",
           "INSERT /*+ APPEND */ INTO nums_t (N,T) VALUES (:param0,:param1) x1", "COMMIT x1",
           "COMMIT x1"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.blockSize);
    fake().calls.clear();
    runSettings.blockSize = c.blockSize;
    EXPECT_EQ(importRun(), 0) << consoleText();
    // The describe comes before the TRUNCATE: a column the table lacks fails
    // before the table is emptied.
    std::vector<std::string> expected = {kTerritory, kDateFormat,
                                         "SELECT N,T FROM nums_t (describe)",
                                         "TRUNCATE TABLE nums_t x1", "COMMIT x1"};
    expected.insert(expected.end(), c.transfer.begin(), c.transfer.end());
    expected.push_back("COMMIT x1");
    expected.push_back("ALTER TABLE nums_t DEALLOCATE UNUSED x1");
    EXPECT_EQ(executions(), expected);
  }
}

TEST_F(ImportDriver, ABadPairSkipsTheTransferButNotTheClosingStatements) {
  makeDbf("nums.dbf", {{"N", 'N', 6, 0}}, {{"1"}});
  fake().columns = {{"N", 2, 22}};
  config("%BEGIN_SECTION ONE\n%TABLE_NAME=T\n%DBF_NAME=nums\n%TRUNCATE=ON\nN=N\nM=MISSING\n"
         "%END_SECTION\n%BEGIN_SECTION TWO\n%TABLE_NAME=U\n%DBF_NAME=nums\nN=N\n%END_SECTION\n");
  EXPECT_EQ(importRun(), 1);
  // No TRUNCATE, describe or INSERT; the section still commits and deallocates,
  // and the second section does not run.
  EXPECT_EQ(executions(), (std::vector<std::string>{kTerritory, kDateFormat, "COMMIT x1",
                                                    "ALTER TABLE T DEALLOCATE UNUSED x1"}));
  EXPECT_NE(consoleText().find("Field 'MISSING' not found\n"
                               "Some error has occurred. Process terminated. 0 section(s) "
                               "transfered.\n"),
            std::string::npos);
}

TEST_F(ImportDriver, EachPairIsBoundWithItsSlotTypeAndCharacterSet) {
  makeDbf("all.dbf",
          {{"NAME", 'C', 10, 0}, {"AMOUNT", 'N', 8, 2}, {"BORN", 'D', 0, 0}, {"OK", 'L', 0, 0},
           {"NOTE", 'M', 0, 0}, {"CODE", 'C', 4, 0}},
          {{"x", "1", "20200101", "T", "memo", "AB"}});
  fake().columns = {{"NAME", 1, 10},  {"AMOUNT", 2, 22}, {"BORN", 12, 7}, {"OK", 2, 22},
                    {"NOTE", 1, 300}, {"CODE", 23, 4},   {"RN", 2, 22},   {"FN", 23, 20}};
  config("%TABLE_NAME=T\n%DBF_NAME=all.dbf\nNAME=NAME\nAMOUNT=AMOUNT\nBORN=BORN\nOK=OK\nNOTE=NOTE\n!CODE=CODE\n"
         "RN=%RECNUM\nFN=!%FILE_NAME\n");
  runSettings.blockSize = 5;
  EXPECT_EQ(importRun(), 0) << consoleText();

  const auto binds = fake().callsOf("OCIBindByName");
  ASSERT_EQ(binds.size(), 8u);
  struct Expected {
    const char* name;
    sb4 size;
    ub2 type;
    bool lengths;
  };
  const Expected expected[] = {
      {":param0", 12, SQLT_STR, false},   // C(10): length + 2
      {":param1", 64, SQLT_STR, false},   // N
      {":param2", 20, SQLT_STR, false},   // D
      {":param3", 4, SQLT_STR, false},    // L
      {":param4", 301, SQLT_STR, false},  // M: the column's size + 1
      {":param5", 6, SQLT_BIN, true},     // C(4) into RAW: bytes and lengths
      {":param6", 64, SQLT_STR, false},   // %RECNUM
      {":param7", 9, SQLT_BIN, true},     // %FILE_NAME "ALL.DBF" + 2, into RAW
  };
  for (int j = 0; j < 8; ++j) {
    SCOPED_TRACE(j);
    EXPECT_EQ(binds[j].text, expected[j].name);
    EXPECT_EQ(binds[j].size, expected[j].size);
    EXPECT_EQ(binds[j].dataType, expected[j].type);
    EXPECT_EQ(binds[j].lengths != nullptr, expected[j].lengths);
  }
  // The character set is declared on the binds of unmarked pairs only.
  std::vector<const void*> declared;
  for (const fakeoci::Call& call : fake().callsOf("OCIAttrSet")) {
    if (call.attr != OCI_ATTR_CHARSET_ID) continue;
    EXPECT_EQ(call.attrValue & 0xFFFF, 152u);
    declared.push_back(call.handle);
  }
  ASSERT_EQ(declared.size(), 6u);
  const int converted[] = {0, 1, 2, 3, 4, 6};
  for (int k = 0; k < 6; ++k) EXPECT_EQ(declared[k], binds[converted[k]].produced) << k;
}

TEST_F(ImportDriver, AFailingBlockCommitEndsTheRunWithoutAnotherCommit) {
  makeDbf("nums.dbf", {{"N", 'N', 6, 0}}, {{"1"}, {"2"}, {"3"}, {"4"}, {"5"}});
  fake().columns = {{"N", 2, 22}};
  config("%TABLE_NAME=T\n%DBF_NAME=nums\nN=N\n");
  runSettings.blockSize = 2;
  // Territory, date format, describe, COMMIT, INSERT, then the block's COMMIT fails.
  fake().script("OCIStmtExecute",
                {OCI_SUCCESS, OCI_SUCCESS, OCI_SUCCESS, OCI_SUCCESS, OCI_SUCCESS, OCI_ERROR});
  fake().records = {{3113, "ORA-03113: end-of-file on communication channel\n"}};
  EXPECT_EQ(importRun(), 2);
  EXPECT_EQ(executions(), (std::vector<std::string>{
                              kTerritory, kDateFormat, "SELECT N FROM T (describe)", "COMMIT x1",
                              "INSERT /*+ APPEND */ INTO T (N) VALUES (:param0) x2", "COMMIT x1"}));
  const std::string out = consoleText();
  EXPECT_NE(out.find("\nError while execute SQL-statement.\nORA-03113: end-of-file on "
                     "communication channel \n\nBreak proccess in block at line 2\n"
                     // The slot after the executed block is its first row again.
                     "\nData dump:\nOracle field 'N', \tdbf-field 'N' \t: 1\n"
                     "Some error has occurred. Process terminated. 0 section(s) transfered.\n"),
            std::string::npos)
      << out;
}

}  // namespace

namespace {

// Logging off comes after the summary, once the statements are released; a failure
// there still fails the run, after a summary that could only say success.
TEST_F(ImportDriver, AFailedLogoffFailsARunThatTransferredEverything) {
  makeDbf("nums.dbf", {{"N", 'N', 6, 0}}, {{"1"}});
  fake().columns = {{"N", 2, 22}};
  config("%TABLE_NAME=T\n%DBF_NAME=nums\nN=N\n");
  fake().script("OCILogoff", {OCI_ERROR});
  fake().records = {{3113, "ORA-03113: end-of-file on communication channel\n"}};
  EXPECT_EQ(importRun(), 2);
  const std::string out = consoleText();
  const size_t summary = out.find("Process successfully complited, 1 section(s) transfered.\n");
  const size_t logoff = out.find("Can't logoff from database.\nORA-03113");
  ASSERT_NE(summary, std::string::npos) << out;
  ASSERT_NE(logoff, std::string::npos) << out;
  EXPECT_LT(summary, logoff) << out;
  // Every statement handle was freed before the logoff was tried.
  const std::vector<fakeoci::Call>& calls = fake().calls;
  size_t logoffCall = 0, lastStatementFree = 0;
  for (size_t i = 0; i < calls.size(); ++i) {
    if (calls[i].fn == "OCILogoff") logoffCall = i;
    if (calls[i].fn == "OCIHandleFree" && calls[i].type == OCI_HTYPE_STMT)
      lastStatementFree = i;
  }
  EXPECT_GT(lastStatementFree, 0u);
  EXPECT_LT(lastStatementFree, logoffCall);
}

}  // namespace
