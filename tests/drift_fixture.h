// Set-up shared by the exdrift and indrift end-to-end tests: a temporary
// directory, a SQLite database in it made with the sqlite3 command, dbf files
// made with dbftool, a configuration file, a program run there as scott/tiger,
// and the texts every run prints.
#ifndef DRIFT_TESTS_DRIFT_FIXTURE_H
#define DRIFT_TESTS_DRIFT_FIXTURE_H

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/e2e_support.h"

class DriftTest : public ::testing::Test {
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

  // `program` in the directory on the test database as scott/tiger with run.cfg,
  // plus `extra`.
  e2e::RunResult runDrift(const std::string& program, const std::vector<std::string>& extra) {
    std::vector<std::string> args = {"-S:shop.db", "-U:scott", "-P:tiger", "-F:run.cfg"};
    args.insert(args.end(), extra.begin(), extra.end());
    e2e::RunOptions options;
    options.cwd = dir.path();
    return e2e::runProgram(program, args, options);
  }

  // What every run prints before its first section: the settings and the
  // connection.
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

  // The row counter of a transfer that handled `lines` rows; `steps` are the
  // counts shown on the way (10000, 20000, ...).
  static std::string counted(int lines, const std::vector<int>& steps = {}) {
    std::string text = "Processing line:         ";
    char number[16];
    for (int step : steps) {
      std::snprintf(number, sizeof number, "%8d", step);
      text += number;
    }
    std::snprintf(number, sizeof number, "%8d", lines);
    return text + number + "...Done\n";
  }

  static std::string failure(int sections) {
    return "Some error has occurred. Process terminated. " + std::to_string(sections) +
           " section(s) transfered.\n";
  }

  e2e::TempDir dir;
};

#endif
