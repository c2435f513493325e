#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "xbase/data/code4.h"
#include "xbase/data/engine_file.h"
#include "xbase/data/error.h"

namespace {

struct Row {
  FileOp op;
  int err;
  const char* name;
  int32_t errOpenFile;
  int32_t errCreateFile;
  int expected;          // what fileReport returns
  int32_t codeAfter;     // the context's code afterwards
  const char* detail;    // the texts reported with it; null: nothing reported
};

// Every failed file-layer result against the engine code and texts it stands for.
TEST(FileReportTest, EachFailureBecomesItsEngineCodeAndTexts) {
  const Row rows[] = {
      {FileOp::open, ENOENT, "A.DBF", 1, 1, errorOpen, errorOpen, "File Name:\nA.DBF"},
      {FileOp::open, EWOULDBLOCK, "A.DBF", 0, 1, resultNotOpened, resultNotOpened, nullptr},
      {FileOp::create, EEXIST, "B.DBF", 1, 1, errorCreate, errorCreate, "File Name:\nB.DBF"},
      {FileOp::create, EEXIST, "B.DBF", 1, 0, resultNotCreated, resultNotCreated, nullptr},
      {FileOp::close, EIO, "C.DBF", 1, 1, errorClose, errorClose, "C.DBF"},
      {FileOp::close, EIO, nullptr, 1, 1, errorClose, errorClose, "Unknown Name"},
      {FileOp::read, EIO, "D.DBF", 1, 1, errorRead, errorRead, "File Name:\nD.DBF"},
      {FileOp::read, 0, nullptr, 1, 1, errorRead, errorRead, "File Name:\n"},
      {FileOp::write, ENOSPC, "E.DBF", 1, 1, errorWrite, errorWrite, "E.DBF"},
      {FileOp::write, 0, "E.DBF", 1, 1, errorWrite, errorWrite, "E.DBF"},
      {FileOp::length, EIO, "F.DBF", 1, 1, errorLength, errorLength, "F.DBF"},
      {FileOp::setLength, EFBIG, "G.DBF", 1, 1, errorLengthSet, errorLengthSet, "File Name:\nG.DBF"},
      {FileOp::commit, EIO, "H.DBF", 1, 1, errorOptimizeFlush, errorOptimizeFlush, ""},
      {FileOp::lock, EAGAIN, "I.DBF", 1, 1, resultLocked, 0, nullptr},
      {FileOp::lock, EACCES, "I.DBF", 1, 1, resultLocked, 0, nullptr},
      {FileOp::lock, EINVAL, "I.DBF", 1, 1, 0, 0, nullptr},
      {FileOp::lock, ENOLCK, "I.DBF", 1, 1, errorLock, errorLock, "I.DBF"},
      {FileOp::unlock, EINVAL, "J.DBF", 1, 1, 0, 0, nullptr},
      {FileOp::unlock, EIO, "J.DBF", 1, 1, errorUnlock, errorUnlock, "J.DBF"},
  };
  for (const Row& row : rows) {
    CODE4 context;
    engineInit(&context);
    context.errQuiet = 1;
    context.errOpenFile = row.errOpenFile;
    context.errCreateFile = row.errCreateFile;
    SCOPED_TRACE(std::string(row.name != nullptr ? row.name : "(null)") + " op " +
                 std::to_string(static_cast<int>(row.op)) + " errno " + std::to_string(row.err));
    EXPECT_EQ(fileReport(&context, fileFailed(row.op, row.err, row.name)), row.expected);
    EXPECT_EQ(context.errorCode, row.codeAfter);
    EXPECT_EQ(std::string(errorDetail(&context)), row.detail != nullptr ? row.detail : "");
    if (row.detail != nullptr) {
      EXPECT_EQ(context.errorDetailCode, row.codeAfter);
    }
  }
}

// A result that did not fail leaves a pending code alone and reports nothing.
TEST(FileReportTest, SuccessReportsNothing) {
  CODE4 context;
  engineInit(&context);
  context.errorCode = -70;
  EXPECT_EQ(fileReport(&context, fileSucceeded(FileOp::read, "A.DBF")), 0);
  EXPECT_EQ(context.errorCode, -70);
}

}  // namespace
