// A round trip: indrift imports a dbf file written by python3-dbf, exdrift exports
// the table into a dbf file of the same structure made by dbftool, and the two
// files' records (dbftool dump --json) are compared field by field.  Only the
// differences that the conversions make by design may remain.
#include <gtest/gtest.h>

#include <string>

#include "tests/e2e_support.h"
#include "tests/import_fixture.h"

namespace {

class ImportRoundTrip : public ImportTest {
 protected:
  void dumpJson(const std::string& name, const std::string& to) {
    e2e::RunResult r = e2e::runProgram(
        "dbftool", {"dump", "--json", "--encoding", "cp866", dir.path(name)});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    e2e::writeFile(dir.path(to), r.out);
  }

  // One line per field that differs: "record field: 'before' -> 'after'", and a
  // line for a record count that differs.
  std::string differences(const std::string& before, const std::string& after) {
    static const char* const script =
        "import json, sys\n"
        "names = sys.argv[3].split(',')\n"
        "a = [json.loads(l) for l in open(sys.argv[1], encoding='utf-8')]\n"
        "b = [json.loads(l) for l in open(sys.argv[2], encoding='utf-8')]\n"
        "if len(a) != len(b): print('records', len(a), '->', len(b))\n"
        "for x, y in zip(a, b):\n"
        "    for n, u, v in zip(names, x['values'], y['values']):\n"
        "        if u != v: print(x['recno'], n + ':', repr(u), '->', repr(v))\n";
    e2e::RunResult r = e2e::runProgram(
        "/usr/bin/python3",
        {"-c", script, dir.path(before), dir.path(after), "NAME,AMOUNT,BORN,FLAG,NOTE"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return r.out;
  }
};

TEST_F(ImportRoundTrip, ImportedThenExportedRecordsMatchFieldByField) {
  python("import datetime\n"
         "t = dbf.Table('source.dbf', 'NAME C(12); AMOUNT N(9,2); BORN D; FLAG L; NOTE M',"
         " codepage='cp866', dbf_type='db3')\n"
         "t.open(dbf.READ_WRITE)\n"
         "t.append(('Иванов', 12.5, datetime.date(2021, 3, 4), True, 'Заметка о клиенте'))\n"
         "t.append(('Smith', -0.5, datetime.date(1999, 12, 31), False, ''))\n"
         "t.append(('Пётр', 123456.78, None, None, 'memo ' * 300))\n"
         "t.append(('gone', 1, None, True, 'deleted'))\n"
         "t.append(('', 0, None, False, 'x'))\n"
         "dbf.delete(t[3])\n"
         "t.close()\n");
  dbf("back.dbf", {"NAME:C:12", "AMOUNT:N:9:2", "BORN:D", "FLAG:L", "NOTE:M"});
  sql("CREATE TABLE CLIENTS (NAME VARCHAR2(24), AMOUNT NUMBER(9,2), BORN DATE,"
      " FLAG NUMBER(1), NOTE VARCHAR2(4000), RN NUMBER(6));");

  config("%TABLE_NAME=CLIENTS\n%DBF_NAME=source\n"
         "NAME=NAME\nAMOUNT=AMOUNT\nBORN=BORN\nFLAG=FLAG\nNOTE=NOTE\nRN=%RECNUM\n");
  e2e::RunResult r = indrift({"-C"});
  ASSERT_EQ(r.exitCode, 0) << r.out;
  config("%TABLE_NAME=CLIENTS\n%DBF_NAME=back\n"
         "NAME=NAME\nAMOUNT=AMOUNT\nBORN=BORN\nFLAG=FLAG\nNOTE=NOTE\n");
  r = runDrift("exdrift", {"-O:RN", "-C"});
  ASSERT_EQ(r.exitCode, 0) << r.out;

  // The deleted fourth record stays behind; the records after it move up one.
  python("t = dbf.Table('source.dbf')\n"
         "t.open(dbf.READ_WRITE)\n"
         "t.pack()\n"
         "t.close()\n");
  dumpJson("source.dbf", "source.json");
  dumpJson("back.dbf", "back.json");
  // By design: numbers come back as the server's text, left-aligned (12.5, -.5, 0);
  // a logical that was not true comes back false.  Texts in code page 866, dates,
  // blanks and memos of any length come back as they were.
  EXPECT_EQ(differences("source.json", "back.json"),
            "1 AMOUNT: '    12.50' -> '12.5     '\n"
            "2 AMOUNT: '    -0.50' -> '-.5      '\n"
            "3 FLAG: '?' -> 'F'\n"
            "4 AMOUNT: '     0.00' -> '0        '\n");
}

}  // namespace
