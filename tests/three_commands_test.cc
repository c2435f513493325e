// A folder of dbf files written by independent programs (python-dbf, GDAL, shapelib,
// LibreOffice) into a new database with the three commands of the README, and back
// into dbf files with create --like and exdrift.  Every value is read back with
// dbfread and compared (tests/dbf_writers.py).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e_support.h"

namespace {

class ThreeCommandsTest : public ::testing::Test {
 protected:
  // A shell command line in the test directory, the built programs first on the PATH.
  e2e::RunResult shell(const std::string& commands) { return e2e::runShell(commands, dir.path()); }
  e2e::RunResult writers(const std::vector<std::string>& args) {
    std::vector<std::string> all = {DRIFT_SOURCE_DIR "/tests/dbf_writers.py"};
    all.insert(all.end(), args.begin(), args.end());
    e2e::RunOptions options;
    options.cwd = dir.path();
    return e2e::runProgram("/usr/bin/python3", all, options);
  }

  e2e::TempDir dir;
};

TEST_F(ThreeCommandsTest, FilesOfFourWritersLoadAndComeBackWithEveryValue) {
  e2e::RunResult r = writers({"write"});
  ASSERT_EQ(r.exitCode, 0) << r.err;

  r = shell("dbftool ddl *.dbf | sqlite3 -bail shop.db && "
            "dbftool config *.dbf > load.cfg && "
            "indrift -S:shop.db -U:me -P: -F:load.cfg -D:. -C");
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("Process successfully complited, 4 section(s) transfered."), std::string::npos)
      << r.out;
  // 2 x 4 (calc) + 2 x 4 (gdal) + 4 x 6 (pydbf) + 2 x 3 (shape) values.
  r = writers({"imported", "load.cfg"});
  EXPECT_EQ(r.out, "same 46\n") << r.err;

  // The way back, memos included: the configurations are used as create --like
  // wrote them.  shapelib's file is in code page 1252, and so is the one it comes
  // back into.
  r = shell("for t in CALC GDAL PYDBF SHAPE; do "
            "  cp=866; [ $t = SHAPE ] && cp=1252; "
            "  dbftool create back_$t.dbf --like $t -S:shop.db -U:me -P: --codepage $cp "
            "--config back_$t.cfg &&"
            "  exdrift -S:shop.db -U:me -P: -F:back_$t.cfg -D:. -C || exit 1; "
            "done");
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  const char* const files[][3] = {{"calc.dbf", "back_CALC.dbf", "same 8\n"},
                                  {"gdal.dbf", "back_GDAL.dbf", "same 8\n"},
                                  {"pydbf.dbf", "back_PYDBF.dbf", "same 24\n"},
                                  {"shape.dbf", "back_SHAPE.dbf", "same 6\n"}};
  for (const auto& f : files) {
    r = writers({"exported", f[0], f[1]});
    EXPECT_EQ(r.out, f[2]) << f[0] << r.err;
  }
}

}  // namespace
