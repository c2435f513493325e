// dbf files as other programs write them: field names in lower and mixed case, text
// in the code page the header (or GDAL's .cpg file) names, files without fields and
// files of 250 fields.  Every value that indrift stores is compared with what
// dbfread reads in the same code page (tests/dbf_writers.py).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e_support.h"

namespace {

class RealWorldFilesTest : public ::testing::Test {
 protected:
  // A shell command line in the test directory, the built programs first on the PATH.
  e2e::RunResult shell(const std::string& commands) {
    e2e::RunOptions options;
    options.cwd = dir.path();
    options.env = {"PATH=" DRIFT_BUILD_DIR ":/usr/bin:/bin", "HOME=" + dir.path("home")};
    return e2e::runProgram("/bin/sh", {"-c", commands}, options);
  }
  e2e::RunResult writers(const std::vector<std::string>& args) {
    std::vector<std::string> all = {DRIFT_SOURCE_DIR "/tests/dbf_writers.py"};
    all.insert(all.end(), args.begin(), args.end());
    e2e::RunOptions options;
    options.cwd = dir.path();
    return e2e::runProgram("/usr/bin/python3", all, options);
  }

  e2e::TempDir dir;
};

// GDAL (code pages 1251, 1252, 437 and 1253, named in .cpg files), shapelib (lower-
// and mixed-case names, Windows-1252), python-dbf (Windows-1251 with a memo; 250
// fields) and LibreOffice (Windows-1252, which it does not record: %CODEPAGE says
// it) load with the names dbftool config copies from the files; then a table goes
// back into a Windows-1251 file and from there into a table again.
TEST_F(RealWorldFilesTest, EveryWritersTextArrivesInItsCodePageAndComesBack) {
  e2e::RunResult r = writers({"write-code-pages"});
  ASSERT_EQ(r.exitCode, 0) << r.err;

  r = shell("dbftool ddl *.dbf | sqlite3 -bail shop.db && dbftool config *.dbf > load.cfg && "
            "sed -i 's/^%TABLE_NAME=CALC_1252$/%CODEPAGE=1252\\n&/; "
            "s/^%TABLE_NAME=GDAL_CP1251$/%CODEPAGE=FILE\\n&/' load.cfg && "
            "grep -c '^ATLAS_NAME=atlas_name$' load.cfg && "
            "indrift -S:shop.db -U:me -P: -F:load.cfg -D:. -C");
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_EQ(r.out.substr(0, 2), "4\n") << "names are configured as stored";
  EXPECT_NE(r.out.find("Process successfully complited, 8 section(s) transfered."), std::string::npos)
      << r.out;
  // 2 x 2 for each GDAL file, shapelib, python-dbf 1251 and LibreOffice; 3 x 250 wide.
  r = writers({"imported", "load.cfg"});
  EXPECT_EQ(r.out, "same 778\n") << r.err;

  // The way back, into a Windows-1251 file (its memo too), and from that file into a
  // new table.
  r = shell("dbftool create back.dbf --like PYDBF_1251 -S:shop.db -U:me -P: --codepage 1251 "
            "--config back.cfg && exdrift -S:shop.db -U:me -P: -F:back.cfg -D:. -C && "
            "dbftool create wide_back.dbf --like WIDE -S:shop.db -U:me -P: --config wide.cfg && "
            "exdrift -S:shop.db -U:me -P: -F:wide.cfg -D:. -C && "
            "dbftool ddl back.dbf --table AGAIN | sqlite3 -bail shop.db && "
            "dbftool config back.dbf --table AGAIN > again.cfg && "
            "indrift -S:shop.db -U:me -P: -F:again.cfg -D:. -C && "
            "od -An -tx1 -j29 -N1 back.dbf");
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_EQ(r.out.substr(r.out.size() - 4), " c9\n") << "the language-driver byte of 1251";
  r = writers({"exported", "pydbf_1251.dbf", "back.dbf"});
  EXPECT_EQ(r.out, "same 4\n") << r.err;
  r = writers({"exported", "wide.dbf", "wide_back.dbf"});
  EXPECT_EQ(r.out, "same 750\n") << r.err;
  r = writers({"imported", "again.cfg"});  // NAME and NOTE of two records
  EXPECT_EQ(r.out, "same 4\n") << r.err;
  r = shell("sqlite3 shop.db 'SELECT name FROM again ORDER BY rowid'");
  EXPECT_EQ(r.out, "Съешь ещё\n№ «ёлка»\n");
}

}  // namespace
