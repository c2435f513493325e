// Opening names that are not regular files: a FIFO, a directory, a device.  Each
// is refused like a missing file, at once: a FIFO without a writer must not block
// the open, and a device must not be read without end.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include "xbase/data/engine_file.h"
#include "xbase/file/file_test_util.h"

namespace {

using FileSpecialTest = ScratchDirTest;

TEST_F(FileSpecialTest, OnlyRegularFilesOpen) {
  ASSERT_EQ(mkfifo("PIPE.DBF", 0644), 0);
  ASSERT_EQ(mkdir("DIR.DBF", 0755), 0);
  writeFile("PLAIN.DBF", "x");
  context_.errOpenFile = 0;
  for (int readOnly = 0; readOnly <= 1; ++readOnly) {
    context_.openReadOnly = readOnly;
    for (const char* name : {"PIPE.DBF", "DIR.DBF", "/dev/zero", "/dev/null"}) {
      SCOPED_TRACE(name);
      EngineFile file;
      EXPECT_EQ(fileOpen(&file, &context_, name, 0), 70);
      EXPECT_EQ(context_.errorCode, 70);
      EXPECT_EQ(file.handle, -1);
    }
    // A regular file still opens, and its reads wait as before (no O_NONBLOCK
    // left on the handle).
    EngineFile file;
    ASSERT_EQ(fileOpen(&file, &context_, "PLAIN.DBF", 0), 0);
    char byte = 0;
    EXPECT_EQ(fileRead(&file, 0, &byte, 1), 1u);
    EXPECT_EQ(byte, 'x');
    EXPECT_EQ(fcntl(file.handle, F_GETFL) & O_NONBLOCK, 0);
    EXPECT_EQ(fileClose(&file), 0);
  }

  // Creating over a FIFO is refused as well, and leaves it a FIFO.
  EngineFile file;
  context_.errCreateFile = 0;
  EXPECT_NE(fileCreate(&file, &context_, "PIPE.DBF", 0), 0);
  EXPECT_EQ(file.handle, -1);
  struct stat info;
  ASSERT_EQ(stat("PIPE.DBF", &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

}  // namespace
