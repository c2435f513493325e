#include "xbase/data/engine_file.h"
#include "xbase/file/file_name.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <string>

#include "xbase/data/pool.h"
#include "xbase/file/conv.h"
#include "xbase/file/file_test_util.h"
#include "xbase/file/os_fault.h"

namespace {

class FileTest : public ScratchDirTest {
 protected:
  // Opens name with the context as it stands, capturing what is printed.
  int openCapturing(EngineFile* file, const char* name, std::string* printed) {
    testing::internal::CaptureStdout();
    int rc = fileOpen(file, &context_, name, 1);
    *printed = testing::internal::GetCapturedStdout();
    return rc;
  }
};

// ---- Opening and creating: results, soft results and the printed report ----

TEST_F(FileTest, MissingFileIsSoft70WhenQuietAndReported60Otherwise) {
  EngineFile file;
  std::string printed;
  context_.errOpenFile = 0;
  EXPECT_EQ(openCapturing(&file, "NOFILE.DBF", &printed), 70);
  EXPECT_EQ(context_.errorCode, 70);
  EXPECT_EQ(printed, "");
  EXPECT_EQ(file.handle, -1);

  // A pending positive code does not block the next open; the open clears it.
  context_.errOpenFile = 1;
  EXPECT_EQ(openCapturing(&file, "NOFILE.DBF", &printed), -60);
  EXPECT_EQ(context_.errorCode, -60);
  EXPECT_EQ(printed,
            "\r\n\r\nError Number   -60\r\nOpening File\r\nFile Name:\r\nNOFILE.DBF\r\nPress a key ...");
  EXPECT_EQ(keys_, 1);

  // While the code is negative an open does nothing, not even touch the record.
  file.handle = 12345;
  EXPECT_EQ(fileOpen(&file, &context_, "NOFILE.DBF", 0), -1);
  EXPECT_EQ(file.handle, 12345);
  EXPECT_EQ(context_.errorCode, -60);
}

TEST_F(FileTest, PositivePendingCodeIsClearedByOpenAndCreate) {
  writeFile("HERE.DBF", "x");
  EngineFile file;
  context_.errorCode = 70;
  ASSERT_EQ(fileOpen(&file, &context_, "HERE.DBF", 0), 0);
  EXPECT_EQ(context_.errorCode, 0);
  EXPECT_EQ(fileClose(&file), 0);
  context_.errorCode = 60;
  ASSERT_EQ(fileCreate(&file, &context_, "NEW.DBF", 1), 0);
  EXPECT_EQ(context_.errorCode, 0);
  EXPECT_EQ(fileClose(&file), 0);
}

TEST_F(FileTest, CreateRefusesOrEmptiesAnExistingFile) {
  writeFile("OLD.DBF", "keep me");
  EngineFile file;
  context_.errQuiet = 1;
  EXPECT_EQ(fileCreate(&file, &context_, "OLD.DBF", 1), -20);
  EXPECT_EQ(readFile("OLD.DBF"), "keep me");
  context_.errorCode = 0;
  context_.errCreateFile = 0;
  EXPECT_EQ(fileCreate(&file, &context_, "OLD.DBF", 1), 60);
  EXPECT_EQ(context_.errorCode, 60);
  context_.createFailsIfExists = 0;
  ASSERT_EQ(fileCreate(&file, &context_, "OLD.DBF", 1), 0);
  EXPECT_EQ(fileLength(&file), 0);
  EXPECT_EQ(fileWrite(&file, 0, "new", 3), 0);
  EXPECT_EQ(fileClose(&file), 0);
  EXPECT_EQ(readFile("OLD.DBF"), "new");
}

TEST_F(FileTest, CloseOfAClosedRecordDoesNothing) {
  EngineFile file;
  fileInit(&file);
  file.owner = &context_;
  EXPECT_EQ(fileClose(&file), 0);
  context_.errorCode = -120;
  EXPECT_EQ(fileClose(&file), -1);
  EXPECT_EQ(file.handle, -1);
}

// ---- Transfers ----

TEST_F(FileTest, ShortReadAtEndIsNotAnErrorButReadAllIs) {
  writeFile("DATA.BIN", pattern(200));
  EngineFile file;
  ASSERT_EQ(fileOpen(&file, &context_, "DATA.BIN", 1), 0);
  char buffer[100];
  EXPECT_EQ(fileRead(&file, 170, buffer, 100), 30u);
  EXPECT_EQ(std::string(buffer, 30), pattern(200).substr(170));
  EXPECT_EQ(context_.errorCode, 0);
  EXPECT_EQ(fileRead(&file, 500, buffer, 100), 0u);
  EXPECT_EQ(context_.errorCode, 0);

  testing::internal::CaptureStdout();
  EXPECT_EQ(fileReadAll(&file, 170, buffer, 100), -70);
  std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_NE(printed.find("Reading File\r\nFile Name:\r\nDATA.BIN"), std::string::npos);
  // Sticky: further reads do nothing until the code is cleared.
  EXPECT_EQ(fileRead(&file, 0, buffer, 10), 0u);
  EXPECT_EQ(fileReadAll(&file, 0, buffer, 10), -1);
  EXPECT_EQ(fileWrite(&file, 0, "x", 1), -1);
  engineErrorSet(&context_, 0);
  EXPECT_EQ(fileReadAll(&file, 0, buffer, 10), 0);
  EXPECT_EQ(fileClose(&file), 0);
}

TEST_F(FileTest, WritesBeyondTheEndExtendAndLengthFollows) {
  EngineFile file;
  ASSERT_EQ(fileCreate(&file, &context_, "GROW.BIN", 0), 0);
  EXPECT_EQ(fileWrite(&file, 10, "abc", 3), 0);
  EXPECT_EQ(fileLength(&file), 13);
  EXPECT_EQ(fileSetLength(&file, 5), 0);
  EXPECT_EQ(fileLength(&file), 5);
  EXPECT_EQ(fileSetLength(&file, 4096), 0);
  EXPECT_EQ(fileLength(&file), 4096);
  EXPECT_EQ(fileClose(&file), 0);
}

TEST_F(FileTest, SetLengthHonoursSoftCodesButActsUnderErrors) {
  writeFile("LEN.BIN", pattern(100));
  EngineFile file;
  ASSERT_EQ(fileOpen(&file, &context_, "LEN.BIN", 1), 0);
  context_.errorCode = 50;
  EXPECT_EQ(fileSetLength(&file, 10), -1);
  EXPECT_EQ(fileLength(&file), 100);
  context_.errorCode = -120;
  EXPECT_EQ(fileSetLength(&file, 10), 0);
  EXPECT_EQ(fileLength(&file), 10);
  EXPECT_EQ(context_.errorCode, -120);
  context_.errorCode = 0;
  EXPECT_EQ(fileClose(&file), 0);
}

TEST_F(FileTest, ReadOnlyFilesRefuseWritesAndLengthChanges) {
  writeFile("RO.DBF", "original");
  context_.openReadOnly = 1;
  EngineFile file;
  ASSERT_EQ(fileOpen(&file, &context_, "RO.DBF", 1), 0);
  EXPECT_EQ(file.readOnly, 1);

  testing::internal::CaptureStdout();
  EXPECT_EQ(fileWrite(&file, 0, "XX", 2), -930);
  std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(printed,
            "\r\n\r\nError Number  -930\r\nUnexpected Parameter\r\nAttempt to write to a read-only file"
            "\r\nPress a key ...");
  context_.errorCode = 0;
  testing::internal::CaptureStdout();
  EXPECT_EQ(fileSetLength(&file, 1), -930);
  printed = testing::internal::GetCapturedStdout();
  EXPECT_NE(printed.find("\r\nAttempt to change file length of a read-only file\r\n"), std::string::npos);
  context_.errorCode = 0;

  OsFaultScope faults;
  EXPECT_EQ(fileLock(&file, 0, 10), 0);
  EXPECT_EQ(fileUnlock(&file, 0, 10), 0);
  EXPECT_EQ(faults->calls(OsCall::rangeLock), 0);
  EXPECT_EQ(fileClose(&file), 0);
  EXPECT_EQ(readFile("RO.DBF"), "original");
}

TEST_F(FileTest, ExclusiveFilesSkipLocking) {
  writeFile("EX.DBF", "x");
  context_.openExclusive = 1;
  EngineFile file;
  ASSERT_EQ(fileOpen(&file, &context_, "EX.DBF", 1), 0);
  EXPECT_EQ(file.noLocking, 1);
  OsFaultScope faults;
  EXPECT_EQ(fileLock(&file, 0, 1000000000), 0);
  EXPECT_EQ(fileUnlock(&file, 0, 1000000000), 0);
  EXPECT_EQ(faults->calls(OsCall::rangeLock), 0);
  EXPECT_EQ(fileClose(&file), 0);
}

TEST_F(FileTest, CommitEveryWriteSyncsEachWrite) {
  EngineFile file;
  ASSERT_EQ(fileCreate(&file, &context_, "SYNC.BIN", 0), 0);
  context_.commitEveryWrite = 1;
  OsFaultScope faults;
  EXPECT_EQ(fileWrite(&file, 0, "a", 1), 0);
  EXPECT_EQ(fileWrite(&file, 1, "b", 1), 0);
  EXPECT_EQ(faults->calls(OsCall::sync), 2);
  EXPECT_EQ(faults->calls(OsCall::write), 2);
  EXPECT_EQ(fileClose(&file), 0);
}

// ---- Names ----

TEST(FileSetExtension, DefaultsForcesAndUpperCases) {
  char name[258] = "c:\\data\\table";
  EXPECT_EQ(fileSetExtension(name, sizeof name, "DBF", 0), 0);
  EXPECT_STREQ(name, "C:\\DATA\\TABLE.DBF");
  std::strcpy(name, "table.dat");
  EXPECT_EQ(fileSetExtension(name, sizeof name, "DBF", 0), 0);
  EXPECT_STREQ(name, "TABLE.DAT");
  EXPECT_EQ(fileSetExtension(name, sizeof name, ".dbt", 1), 0);
  EXPECT_STREQ(name, "TABLE.DBT");
  std::strcpy(name, "old.dir\\table");
  EXPECT_EQ(fileSetExtension(name, sizeof name, "DBF", 0), 0);
  EXPECT_STREQ(name, "OLD.DIR\\TABLE.DBF");
  // A name in the system's form comes out in the engine's: '\' between directories.
  std::strcpy(name, "data.d/orders");
  EXPECT_EQ(fileSetExtension(name, sizeof name, "DBF", 0), 0);
  EXPECT_STREQ(name, "DATA.D\\ORDERS.DBF");
  std::strcpy(name, "/tmp/x.y/mixed\\name.dbt");
  EXPECT_EQ(fileSetExtension(name, sizeof name, "DBF", 1), 0);
  EXPECT_STREQ(name, "\\TMP\\X.Y\\MIXED\\NAME.DBF");
}

// The base name after either separator; a drive ends at ':' only where the engine's
// own names are read (alias, tag names), never in a path the system is given.
TEST(FileBaseName, EitherSeparatorAndTheDriveOnlyWhenAsked) {
  EXPECT_EQ(fileBaseName("data/sub\\orders.dbf"), "orders.dbf");
  EXPECT_EQ(fileBaseName("data\\sub/orders.dbf"), "orders.dbf");
  EXPECT_EQ(fileBaseName("orders"), "orders");
  EXPECT_EQ(fileBaseName("data/"), "");
  EXPECT_EQ(fileBaseName("c:orders.dbf"), "c:orders.dbf");
  EXPECT_EQ(fileBaseName("c:orders.dbf", /*drive=*/true), "orders.dbf");
  EXPECT_EQ(fileBaseName("c:\\d/x:y.ntx", /*drive=*/true), "y.ntx");
}

TEST(FileSetExtension, RefusesWhatDoesNotFitInsteadOfCutting) {
  char name[10] = "abcdefg";
  EXPECT_EQ(fileSetExtension(name, sizeof name, "DBF", 0), -1);
  EXPECT_STREQ(name, "abcdefg");
  char fits[10] = "abcde";
  EXPECT_EQ(fileSetExtension(fits, sizeof fits, "DBF", 0), 0);
  EXPECT_STREQ(fits, "ABCDE.DBF");
  char unterminated[4] = {'a', 'b', 'c', 'd'};
  EXPECT_EQ(fileSetExtension(unterminated, sizeof unterminated, "DBF", 0), -1);
}

TEST_F(FileTest, BackslashesAndCaseAreResolvedAtTheSystemBoundary) {
  std::filesystem::create_directories("data/Sub");
  writeFile("data/Sub/orders.dbf", "orders");
  EngineFile file;
  ASSERT_EQ(fileOpen(&file, &context_, "DATA\\SUB\\ORDERS.DBF", 1), 0);
  char buffer[6];
  EXPECT_EQ(fileReadAll(&file, 0, buffer, 6), 0);
  EXPECT_EQ(std::string(buffer, 6), "orders");
  EXPECT_STREQ(file.name, "DATA\\SUB\\ORDERS.DBF");
  EXPECT_EQ(fileClose(&file), 0);

  std::string absolute = (dir_ / "DATA" / "sub" / "Orders.DBF").string();
  ASSERT_EQ(fileOpen(&file, &context_, absolute.c_str(), 1), 0);
  EXPECT_EQ(fileClose(&file), 0);

  // A create lands in the existing directory under the spelling it was given.
  ASSERT_EQ(fileCreate(&file, &context_, "DATA\\SUB\\NEW.DBT", 1), 0);
  EXPECT_EQ(fileClose(&file), 0);
  EXPECT_TRUE(std::filesystem::exists("data/Sub/NEW.DBT"));
}

TEST_F(FileTest, ExactSpellingWinsAndAmbiguityFailsAsMissing) {
  writeFile("Table.dbf", "first");
  writeFile("TABLE.dbf", "second");
  EngineFile file;
  ASSERT_EQ(fileOpen(&file, &context_, "TABLE.dbf", 1), 0);
  char buffer[6];
  EXPECT_EQ(fileReadAll(&file, 0, buffer, 6), 0);
  EXPECT_EQ(std::string(buffer, 6), "second");
  EXPECT_EQ(fileClose(&file), 0);

  context_.errOpenFile = 0;
  EXPECT_EQ(fileOpen(&file, &context_, "TABLE.DBF", 1), 70);
  // A create of an ambiguous name fails too, and changes neither file.
  context_.errCreateFile = 0;
  context_.createFailsIfExists = 0;
  EXPECT_EQ(fileCreate(&file, &context_, "TABLE.DBF", 1), 60);
  EXPECT_EQ(readFile("Table.dbf"), "first");
  EXPECT_EQ(readFile("TABLE.dbf"), "second");
}

TEST_F(FileTest, NamesTooLongAreRefusedNotCut) {
  context_.errQuiet = 1;
  std::string longName(300, 'A');
  writeFile(longName.substr(0, 250), "x");  // a file the cut name would reach
  EngineFile file;
  EXPECT_EQ(fileOpen(&file, &context_, longName.c_str(), 1), -60);
  context_.errorCode = 0;
  EXPECT_EQ(fileCreate(&file, &context_, longName.c_str(), 1), -20);
  context_.errorCode = 0;
  std::string hugePath;
  for (int i = 0; i < 500; i++) hugePath += "dir\\";
  hugePath += "FILE.DBF";
  EXPECT_EQ(fileCreate(&file, &context_, hugePath.c_str(), 1), -20);
  EXPECT_EQ(file.handle, -1);
}

// ---- Temporary files ----

TEST_F(FileTest, TemporaryNamesComeFromTheClockOnePerSecond) {
  OsFaultScope faults;
  int64_t start = 1700000042LL * 1000 + 300;  // ...0042 seconds and a bit
  faults->fakeClock(start);
  EngineFile file;
  char name[13];
  writeFile("TEMP0043.TMP", "taken");
  ASSERT_EQ(fileTempCreate(&file, &context_, name, 1), 0);
  // 0043 exists, so the next second's name is used.
  EXPECT_STREQ(name, "TEMP0044.TMP");
  EXPECT_EQ(file.noLocking, 1);
  EXPECT_EQ(context_.errorCode, 0);
  EXPECT_TRUE(std::filesystem::exists("TEMP0044.TMP"));
  EXPECT_EQ(fileWrite(&file, 0, "scratch", 7), 0);
  EXPECT_EQ(fileClose(&file), 0);
  EXPECT_FALSE(std::filesystem::exists("TEMP0044.TMP"));
  EXPECT_EQ(readFile("TEMP0043.TMP"), "taken");
  // The overridden settings are back.
  EXPECT_EQ(context_.errCreateFile, 1);
  EXPECT_EQ(context_.openExclusive, 0);

  // Without a name buffer the file keeps its own copy of the name.
  ASSERT_EQ(fileTempCreate(&file, &context_, nullptr, 0), 0);
  EXPECT_EQ(file.ownsName, 1);
  std::string kept = file.name;
  EXPECT_EQ(kept.substr(0, 4), "TEMP");
  EXPECT_EQ(kept.substr(8), ".TMP");
  EXPECT_EQ(fileClose(&file), 0);
  EXPECT_TRUE(std::filesystem::exists(kept));
}

TEST_F(FileTest, TemporaryCreateGivesUpAfterAHundredSeconds) {
  OsFaultScope faults;
  faults->fakeClock(1700000000LL * 1000);
  for (int t = 1; t <= 100; t++) {
    char name[13] = "TEMPnnnn.TMP";
    numToText(t, name + 4, -4);
    writeFile(name, "");
  }
  EngineFile file;
  char name[13];
  testing::internal::CaptureStdout();
  EXPECT_EQ(fileTempCreate(&file, &context_, name, 1), -20);
  std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_NE(printed.find("Creating File\r\nTemporary Working File\r\nPress"), std::string::npos);
  EXPECT_EQ(faults->fakeNow() / 1000, 1700000100LL);
}

// ---- Faults through the system seam ----

TEST_F(FileTest, FailedSystemCallsMapToTheirCodes) {
  writeFile("F.DBF", pattern(64));
  context_.errQuiet = 1;
  EngineFile file;
  ASSERT_EQ(fileOpen(&file, &context_, "F.DBF", 1), 0);
  char buffer[64];
  struct Case {
    OsCall call;
    int err;
    std::function<int()> run;
    int expected;
  };
  std::vector<Case> cases = {
      {OsCall::read, EIO, [&] { return static_cast<int>(fileRead(&file, 0, buffer, 8)); }, 0},
      {OsCall::read, EIO, [&] { return fileReadAll(&file, 0, buffer, 8); }, -70},
      {OsCall::write, ENOSPC, [&] { return fileWrite(&file, 0, "x", 1); }, -120},
      {OsCall::size, EIO, [&] { return static_cast<int>(fileLength(&file)); }, -30},
      {OsCall::truncate, EIO, [&] { return fileSetLength(&file, 1); }, -1},
      {OsCall::sync, EIO, [&] { return fileCommit(&file); }, -630},
      {OsCall::rangeLock, ENOLCK, [&] { return fileLock(&file, 0, 1); }, -50},
      {OsCall::rangeLock, EBADF, [&] { return fileUnlock(&file, 0, 1); }, -110},
  };
  int expectedCode[] = {-70, -70, -120, -30, -40, -630, -50, -110};
  for (size_t i = 0; i < cases.size(); i++) {
    OsFaultScope faults;
    faults->failNth(cases[i].call, 1, cases[i].err);
    context_.errorCode = 0;
    EXPECT_EQ(cases[i].run(), cases[i].expected) << "case " << i;
    EXPECT_EQ(context_.errorCode, expectedCode[i]) << "case " << i;
    EXPECT_TRUE(faults->fired());
  }
  context_.errorCode = 0;
  EXPECT_EQ(fileReadAll(&file, 0, buffer, 64), 0);
  EXPECT_EQ(std::string(buffer, 64), pattern(64));
  EXPECT_EQ(fileClose(&file), 0);
}

TEST_F(FileTest, ShortReadFromTheSystemFailsReadAll) {
  writeFile("S.DBF", pattern(64));
  context_.errQuiet = 1;
  EngineFile file;
  ASSERT_EQ(fileOpen(&file, &context_, "S.DBF", 1), 0);
  char buffer[64];
  OsFaultScope faults;
  faults->shortRead(1, 10);
  EXPECT_EQ(fileReadAll(&file, 0, buffer, 64), -70);
  context_.errorCode = 0;
  faults->shortRead(1, 10);
  EXPECT_EQ(fileRead(&file, 0, buffer, 64), 10u);
  EXPECT_EQ(context_.errorCode, 0);
  EXPECT_EQ(fileClose(&file), 0);
}

TEST_F(FileTest, CloseReportsCommitAndCloseFailuresAndStillCloses) {
  EngineFile file;
  ASSERT_EQ(fileCreate(&file, &context_, "C.DBF", 1), 0);
  context_.errQuiet = 1;
  OsFaultScope faults;
  faults->failNth(OsCall::sync, 1, EIO);
  faults->failNth(OsCall::close, 1, EIO);
  EXPECT_EQ(fileClose(&file), -1);
  EXPECT_EQ(context_.errorCode, -10);
  EXPECT_EQ(file.handle, -1);
  EXPECT_EQ(file.name, nullptr);

  // fileCommitKeepError lets a pending code survive a commit.
  context_.errorCode = 0;
  ASSERT_EQ(fileOpen(&file, &context_, "C.DBF", 1), 0);
  context_.errorCode = -120;
  faults->failNth(OsCall::sync, 1, EIO);
  EXPECT_EQ(fileCommitKeepError(&file), -630);
  EXPECT_EQ(context_.errorCode, -120);
  context_.errorCode = 0;
  EXPECT_EQ(fileClose(&file), 0);
}

TEST_F(FileTest, NameCopyWithoutMemoryClosesTheFile) {
  writeFile("M.DBF", "x");
  context_.errQuiet = 1;
  EngineFile file;
  engineSetAllocGate([](size_t) { return false; });
  OsFaultScope faults;
  int rc = fileOpen(&file, &context_, "M.DBF", 1);
  engineSetAllocGate(nullptr);
  EXPECT_EQ(rc, -920);
  EXPECT_EQ(file.handle, -1);
  EXPECT_EQ(faults->calls(OsCall::open), faults->calls(OsCall::close));
}

TEST_F(FileTest, OpenFailuresOfAnyKindLookLikeAMissingFile) {
  writeFile("O.DBF", "x");
  context_.errOpenFile = 0;
  EngineFile file;
  for (OsCall call : {OsCall::open, OsCall::shareLock, OsCall::exists}) {
    OsFaultScope faults;
    faults->failNth(call, 1, call == OsCall::shareLock ? EWOULDBLOCK : EACCES);
    EXPECT_EQ(fileOpen(&file, &context_, "O.DBF", 1), 70);
    EXPECT_EQ(file.handle, -1);
    // Nothing stays open after a refused share lock: every open that succeeded was
    // closed again (a failed open leaves nothing to close).
    int opened = faults->calls(OsCall::open) - (call == OsCall::open ? 1 : 0);
    EXPECT_EQ(opened, faults->calls(OsCall::close));
  }
}

}  // namespace
