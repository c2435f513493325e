// Set-up of the exdrift end-to-end tests: the shared set-up (drift_fixture.h) with
// exdrift as the program, and the results read back with dbftool and with an
// independent reader (python3-dbfread).
#ifndef DRIFT_TESTS_EXPORT_FIXTURE_H
#define DRIFT_TESTS_EXPORT_FIXTURE_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/drift_fixture.h"
#include "tests/e2e_support.h"

class ExportTest : public DriftTest {
 protected:
  e2e::RunResult exdrift(const std::vector<std::string>& extra = {}) {
    return runDrift("exdrift", extra);
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

  // The end of a run that succeeded: an empty line, then the summary.
  static std::string success(int sections) {
    return "\nProcess successfully complited, " + std::to_string(sections) +
           " section(s) transfered.\n";
  }
};

#endif
