// Set-up of the indrift end-to-end tests: the shared set-up (drift_fixture.h) with
// indrift as the program, dbf files filled through the engine (exact bytes per
// field) or written by an independent tool (python3-dbf), and the rows read back
// with sqlite3.
#ifndef DRIFT_TESTS_IMPORT_FIXTURE_H
#define DRIFT_TESTS_IMPORT_FIXTURE_H

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/drift_fixture.h"
#include "tests/e2e_support.h"
#include "xbase/data/data.h"

// One record to append: the field texts in field order (memo fields take their
// memo text), and whether it is marked deleted.
struct DbfRecord {
  std::vector<std::string> values;
  bool deleted = false;
};

class ImportTest : public DriftTest {
 protected:
  // The rows of a query as the sqlite3 command prints them: '|' between values,
  // NULL for a null.
  std::string rows(const std::string& query) {
    e2e::RunOptions options;
    options.stdinText = ".nullvalue NULL\n" + query + ";\n";
    e2e::RunResult r = e2e::runProgram("/usr/bin/sqlite3", {dir.path("shop.db")}, options);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return r.out;
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
          if (!value.empty()) {
            ASSERT_EQ(memoAssign(field, value.data(), static_cast<int32_t>(value.size())), 0);
          }
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
    e2e::RunOptions options;
    options.cwd = dir.path();
    e2e::RunResult r =
        e2e::runProgram("/usr/bin/python3", {"-c", "import dbf\n" + script}, options);
    ASSERT_EQ(r.exitCode, 0) << r.err;
  }

  e2e::RunResult indrift(const std::vector<std::string>& extra = {}) {
    return runDrift("indrift", extra);
  }

  // The summary of a run that succeeded.
  static std::string success(int sections) {
    return "Process successfully complited, " + std::to_string(sections) +
           " section(s) transfered.\n";
  }
};

#endif
