// indrift, exdrift and dbftool end to end: a dbf file or configuration file that
// is not a regular file (a FIFO nobody writes to, a device, a directory) is
// refused at once like a missing file, never waited on or read without end.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <string>

#include "tests/e2e_support.h"
#include "tests/import_fixture.h"

namespace {

class NonRegularFile : public ImportTest {
 protected:
  // Runs in the test's directory, where the database and files lie.
  e2e::RunOptions inDir() {
    e2e::RunOptions options;
    options.cwd = dir.path();
    return options;
  }
};

TEST_F(NonRegularFile, DbfFileThatIsAFifoIsRefused) {
  ASSERT_EQ(mkfifo(dir.path("pipe.dbf").c_str(), 0644), 0);
  sql("CREATE TABLE PEOPLE (ID NUMBER(4)); INSERT INTO PEOPLE VALUES (9);");
  config("%TABLE_NAME=PEOPLE\n%DBF_NAME=pipe\n%TRUNCATE=ON\nID=ID\n");
  e2e::RunResult r = indrift();
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out, opening() + section("DEFAULT_SECTION_0", "PEOPLE", "pipe", 1) +
                       "\nCan't open dbf-file.\n'pipe.dbf': not a regular file\n" + failure(0));
  EXPECT_EQ(rows("SELECT ID FROM PEOPLE"), "9\n");

  // The export refuses it the same way.
  r = e2e::runProgram("exdrift", {"-S:shop.db", "-U:scott", "-P:tiger", "-F:run.cfg"},
                      inDir());
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.out.find("\nCan't open dbf-file\n'pipe.dbf': not a regular file\n"), std::string::npos)
      << r.out;

  // And so does dbftool, for a FIFO and for a device.
  for (const std::string& name : {dir.path("pipe.dbf"), std::string("/dev/zero")}) {
    r = e2e::runProgram("dbftool", {"info", name});
    EXPECT_EQ(r.exitCode, 1) << name;
    EXPECT_EQ(r.err, "dbftool: " + name + ": Opening File (-60)\n");
  }
}

TEST_F(NonRegularFile, ConfigurationThatIsNotARegularFileIsNotFound) {
  ASSERT_EQ(mkfifo(dir.path("pipe.cfg").c_str(), 0644), 0);
  ASSERT_EQ(mkdir(dir.path("folder.cfg").c_str(), 0755), 0);
  for (const std::string& name : {std::string("pipe.cfg"), std::string("folder.cfg"),
                                  std::string("/dev/zero")}) {
    for (const char* program : {"indrift", "exdrift"}) {
      SCOPED_TRACE(std::string(program) + " " + name);
      e2e::RunResult r = e2e::runProgram(
          program, {"-S:shop.db", "-U:scott", "-P:tiger", "-F:" + name}, inDir());
      EXPECT_EQ(r.exitCode, 1);
      EXPECT_EQ(r.out, "Configuration file: " + name +
                           "\n"
                           "        Block size: 10000\n"
                           "           Service: shop.db\n"
                           "              User: scott\n"
                           "File '" + name + "' not found.\n");
    }
  }
}

}  // namespace
