// Shared set-up of the indrift end-to-end tests: a SQLite database made with the
// sqlite3 command, dbf files made with dbftool create and filled through the
// engine (exact bytes per field) or written by an independent tool (python3-dbf),
// indrift run in a temporary directory, and the rows read back with sqlite3.
#ifndef DRIFT_TESTS_IMPORT_FIXTURE_H
#define DRIFT_TESTS_IMPORT_FIXTURE_H

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/e2e_support.h"
#include "xbase/data/data.h"

// One record to append: the field texts in field order (memo fields take their
// memo text), and whether it is marked deleted.
struct DbfRecord {
  std::vector<std::string> values;
  bool deleted = false;
};

class ImportTest : public ::testing::Test {
 protected:
  // Runs SQL statements on the test database (shop.db in the directory).
  void sql(const std::string& statements) {
    e2e::RunResult r = e2e::runProgram("/usr/bin/sqlite3", {dir.path("shop.db")},
                                       {.stdinText = statements});
    ASSERT_EQ(r.exitCode, 0) << r.err;
  }

  // The rows of a query as the sqlite3 command prints them: '|' between values,
  // NULL for a null.
  std::string rows(const std::string& query) {
    e2e::RunResult r = e2e::runProgram("/usr/bin/sqlite3", {dir.path("shop.db")},
                                       {.stdinText = ".nullvalue NULL\n" + query + ";\n"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return r.out;
  }

  // Creates a dbf file in the directory: fields as dbftool takes them.
  void dbf(const std::string& name, const std::vector<std::string>& fields) {
    std::vector<std::string> args = {"create", dir.path(name)};
    args.insert(args.end(), fields.begin(), fields.end());
    e2e::RunResult r = e2e::runProgram("dbftool", args);
    ASSERT_EQ(r.exitCode, 0) << r.err;
  }

  // Appends records to an existing dbf file through the engine.  Field texts are
  // stored as given (blank-filled to the field's length); memo texts go to the
  // memo file.
  void append(const std::string& name, const std::vector<DbfRecord>& records) {
    CODE4 context;
    engineInit(&context);
    context.autoOpen = 0;
    context.errQuiet = 1;
    DataFile* data = dataOpen(&context, dir.path(name).c_str());
    ASSERT_NE(data, nullptr) << "code " << engineErrorCode(&context);
    for (const DbfRecord& record : records) {
      ASSERT_EQ(dataAppendStart(data, 0), 0);
      dataBlank(data);
      ASSERT_EQ(static_cast<int>(record.values.size()), dataFieldCount(data));
      for (int j = 1; j <= dataFieldCount(data); ++j) {
        FieldInfo* field = dataField(data, j);
        const std::string& value = record.values[j - 1];
        if (fieldType(field) == 'M') {
          if (!value.empty())
            ASSERT_EQ(memoAssign(field, value.data(), static_cast<int32_t>(value.size())), 0);
        } else {
          fieldAssignText(field, value.data(), static_cast<int32_t>(value.size()));
        }
      }
      if (record.deleted) dataDelete(data);
      ASSERT_EQ(dataAppend(data), 0) << "code " << engineErrorCode(&context);
    }
    EXPECT_EQ(dataClose(data), 0);
    EXPECT_EQ(engineRelease(&context), 0);
  }

  // Runs a python3-dbf script in the directory (the module is imported as dbf).
  void python(const std::string& script) {
    e2e::RunResult r = e2e::runProgram("/usr/bin/python3", {"-c", "import dbf\n" + script},
                                       {.cwd = dir.path()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
  }

  void config(const std::string& text) { e2e::writeFile(dir.path("run.cfg"), text); }

  // indrift on the test database as scott/tiger with run.cfg, plus `extra`.
  e2e::RunResult indrift(const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args = {"-S:shop.db", "-U:scott", "-P:tiger", "-F:run.cfg"};
    args.insert(args.end(), extra.begin(), extra.end());
    return e2e::runProgram("indrift", args, {.cwd = dir.path()});
  }

  // What every run prints before its first section.
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

  // The record counter of a transfer that read `lines` records; `steps` are the
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

  static std::string success(int sections) {
    return "Process successfully complited, " + std::to_string(sections) +
           " section(s) transfered.\n";
  }
  static std::string failure(int sections) {
    return "Some error has occurred. Process terminated. " + std::to_string(sections) +
           " section(s) transfered.\n";
  }

  e2e::TempDir dir;
};

#endif
