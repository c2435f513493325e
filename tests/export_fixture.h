// Shared set-up of the exdrift end-to-end tests: a SQLite database made with the
// sqlite3 command, dbf files made with dbftool, exdrift run in a temporary
// directory, and the results read back with dbftool and with an independent
// reader (python3-dbfread).
#ifndef DRIFT_TESTS_EXPORT_FIXTURE_H
#define DRIFT_TESTS_EXPORT_FIXTURE_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e_support.h"

class ExportTest : public ::testing::Test {
 protected:
  // Runs SQL statements on the test database (shop.db in the directory).
  void sql(const std::string& statements) {
    e2e::RunOptions options;
    options.stdinText = statements;
    e2e::RunResult r = e2e::runProgram("/usr/bin/sqlite3", {dir.path("shop.db")}, options);
    ASSERT_EQ(r.exitCode, 0) << r.err;
  }

  // Creates a dbf file in the directory: fields as dbftool takes them.
  void dbf(const std::string& name, const std::vector<std::string>& fields) {
    std::vector<std::string> args = {"create", dir.path(name)};
    args.insert(args.end(), fields.begin(), fields.end());
    e2e::RunResult r = e2e::runProgram("dbftool", args);
    ASSERT_EQ(r.exitCode, 0) << r.err;
  }

  void config(const std::string& text) { e2e::writeFile(dir.path("run.cfg"), text); }

  // exdrift on the test database as scott/tiger with run.cfg, plus `extra`.
  e2e::RunResult exdrift(const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args = {"-S:shop.db", "-U:scott", "-P:tiger", "-F:run.cfg"};
    args.insert(args.end(), extra.begin(), extra.end());
    e2e::RunOptions options;
    options.cwd = dir.path();
    return e2e::runProgram("exdrift", args, options);
  }

  // The records as dbftool dump --json prints them.
  std::string dump(const std::string& name, const std::string& encoding = "cp866") {
    e2e::RunResult r =
        e2e::runProgram("dbftool", {"dump", "--json", "--encoding", encoding, dir.path(name)});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return r.out;
  }

  // The header's record count and every record as python3-dbfread reads them:
  // one line "count N", then one Python list per record.  raw: field bytes.
  std::string readBack(const std::string& name, bool raw = false) {
    static const char* const script =
        "import sys, dbfread\n"
        "t = dbfread.DBF(sys.argv[1], encoding='cp866', char_decode_errors='strict',\n"
        "                raw=sys.argv[2] == 'raw')\n"
        "print('count', t.header.numrecords)\n"
        "for r in t: print(list(r.values()))\n";
    e2e::RunResult r = e2e::runProgram(
        "/usr/bin/python3", {"-c", script, dir.path(name), raw ? "raw" : "parsed"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return r.out;
  }

  // What every run prints before it connects, and the connection.
  static std::string opening(int blockSize = 10000) {
    return "Configuration file: run.cfg\n"
           "        Block size: " + std::to_string(blockSize) + "\n"
           "           Service: shop.db\n"
           "              User: scott\n"
           "\nConnecting... Done\n";
  }

  // The reader's announcement of a section with field lines.
  static std::string section(const std::string& name, const std::string& table,
                             const std::string& dbfName, int fields) {
    return "\n     Section name: " + name + "\n" +
           "Oracle table name: " + table + "\n" +
           "    DBF-file name: " + dbfName + "\n" +
           "Found " + std::to_string(fields) + " Fields to transfering\n";
  }

  // The row counter of a transfer that stored `rows` records.
  static std::string counted(int rows) {
    char text[64];
    std::snprintf(text, sizeof text, "Processing line:         %8d...Done\n", rows);
    return text;
  }

  static std::string success(int sections) {
    return "\nProcess successfully complited, " + std::to_string(sections) +
           " section(s) transfered.\n";
  }
  static std::string failure(int sections) {
    return "Some error has occurred. Process terminated. " + std::to_string(sections) +
           " section(s) transfered.\n";
  }

  e2e::TempDir dir;
};

#endif
