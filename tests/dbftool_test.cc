// dbftool end to end: create, info and dump as a user runs them, and the files
// cross-checked with independent dbf readers and writers (python3-dbf,
// python3-dbfread, GDAL).
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "tests/e2e_support.h"

namespace {

class DbftoolTest : public ::testing::Test {
 protected:
  e2e::RunOptions here() const {
    e2e::RunOptions options;
    options.cwd = dir.path();
    return options;
  }
  e2e::RunResult tool(const std::vector<std::string>& args) {
    return e2e::runProgram("dbftool", args, here());
  }

  // Runs a python3 script with the test directory as working directory.
  e2e::RunResult python(const std::string& script, const std::vector<std::string>& args = {}) {
    std::vector<std::string> all = {"-c", script};
    all.insert(all.end(), args.begin(), args.end());
    return e2e::runProgram("/usr/bin/python3", all, here());
  }

  // Compares `dbftool dump --json` of a file with what python3-dbfread reads from it
  // (raw bytes for ordinary fields, the memo text for M fields, deleted records
  // included); prints "same N" or the first difference.
  std::string crossCheck(const std::string& name, const std::string& encoding = "cp866") {
    e2e::RunResult dump = tool({"dump", "--json", "--encoding", encoding, name});
    EXPECT_EQ(dump.exitCode, 0) << dump.err;
    e2e::writeFile(dir.path("dump.json"), dump.out);
    static const char* const script = R"(
import json, sys, dbfread
name, enc = sys.argv[1], sys.argv[2]
pyenc = {'cp866': 'cp866', 'latin1': 'latin-1', 'utf8': 'utf-8'}[enc]
raw = dbfread.DBF(name, raw=True, load=True)
text = dbfread.DBF(name, encoding=pyenc, load=True)
expected = []
# dbfread keeps live and deleted records apart; the file order comes from the flag
# bytes, read directly.
with open(name, 'rb') as f:
    data = f.read()
hl = int.from_bytes(data[8:10], 'little'); rl = int.from_bytes(data[10:12], 'little')
n = (len(data) - hl) // rl
live = iter(zip(raw.records, text.records)); dead = iter(zip(raw.deleted, text.deleted))
for i in range(n):
    flag = data[hl + i * rl]
    r, t = next(live) if flag == 0x20 else next(dead)
    values = []
    for f in raw.fields:
        if f.type in 'MG':
            values.append(t[f.name] or '')
        else:
            values.append(r[f.name].decode(pyenc, errors='replace'))
    expected.append({'recno': i + 1, 'deleted': flag != 0x20, 'values': values})
got = [json.loads(line) for line in open('dump.json', encoding='utf-8')]
if got != expected:
    for g, e in zip(got + [None] * len(expected), expected + [None] * len(got)):
        if g != e:
            print('differ', g, e)
            break
else:
    print('same', len(got))
)";
    e2e::RunResult r = python(script, {name, encoding});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return r.out;
  }

  static std::string today() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &local);
    return text;
  }

  e2e::TempDir dir;
};

TEST_F(DbftoolTest, CreateEveryTypeThenInfoAndEmptyDumps) {
  e2e::RunResult r = tool({"create", "all.dbf", "NAME:C:20", "qty:N:8:2", "RATE:F:12:4",
                           "BORN:D", "OK:L", "NOTE:M", "CODE:C:1"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
  // Header, seven descriptors, 0x0D, 0x1A; an empty memo file of one block.
  std::string bytes = e2e::readFile(dir.path("all.dbf"));
  ASSERT_EQ(bytes.size(), 32u + 7 * 32 + 2);
  EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0x83);
  EXPECT_EQ(bytes.substr(bytes.size() - 2), "\x0D\x1A");
  std::string memo = e2e::readFile(dir.path("all.dbt"));
  ASSERT_EQ(memo.size(), 512u);
  EXPECT_EQ(memo.substr(0, 4), std::string("\x01\0\0\0", 4));

  r = tool({"info", "--json", "all.dbf"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out,
            "{\"version\":131,\"lastUpdate\":\"" + today() +
                "\",\"headerLength\":257,\"recordLength\":61,\"recordCount\":0,\"memo\":true,\"codePage\":866,"
                "\"fields\":[{\"name\":\"NAME\",\"type\":\"C\",\"length\":20,\"decimals\":0},"
                "{\"name\":\"QTY\",\"type\":\"N\",\"length\":8,\"decimals\":2},"
                "{\"name\":\"RATE\",\"type\":\"F\",\"length\":12,\"decimals\":4},"
                "{\"name\":\"BORN\",\"type\":\"D\",\"length\":8,\"decimals\":0},"
                "{\"name\":\"OK\",\"type\":\"L\",\"length\":1,\"decimals\":0},"
                "{\"name\":\"NOTE\",\"type\":\"M\",\"length\":10,\"decimals\":0},"
                "{\"name\":\"CODE\",\"type\":\"C\",\"length\":1,\"decimals\":0}]}\n");

  r = tool({"info", "all.dbf"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("Records:       0\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("    3  RATE        F         12         4      29\n"), std::string::npos)
      << r.out;

  r = tool({"dump", "--json", "all.dbf"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "");
  r = tool({"dump", "all.dbf"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "NAME,QTY,RATE,BORN,OK,NOTE,CODE\r\n");

  // Without a memo field: version 3 and no memo file.
  r = tool({"create", "plain", "ID:N:5"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(e2e::readFile(dir.path("plain.dbf")).size(), 32u + 32 + 2);
  EXPECT_FALSE(e2e::fileExists(dir.path("plain.dbt")));
  r = tool({"info", "--json", "plain.dbf"});
  EXPECT_EQ(r.out.substr(0, 12), "{\"version\":3");
  EXPECT_NE(r.out.find("\"memo\":false"), std::string::npos);
}

TEST_F(DbftoolTest, InfoForAPersonShowsHeaderFactsAndTheFieldTable) {
  ASSERT_EQ(tool({"create", "g.dbf", "NAME:C:10", "QTY:N:8:2", "NOTE:M"}).exitCode, 0);
  e2e::RunResult r = tool({"info", "g.dbf"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out,
            "File:          g.dbf\n"
            "Version:       0x83\n"
            "Memo file:     yes\n"
            "Code page:     866\n"
            "Last update:   " + today() + "\n"
            "Header length: 129\n"
            "Record length: 29\n"
            "Records:       0\n"
            "Fields:        3\n"
            "    #  Name        Type  Length  Decimals  Offset\n"
            "    1  NAME        C         10         0       1\n"
            "    2  QTY         N          8         2      11\n"
            "    3  NOTE        M         10         0      19\n");
}

TEST_F(DbftoolTest, IndependentReadersSeeWhatCreateMade) {
  ASSERT_EQ(tool({"create", "t.dbf", "NAME:C:10", "QTY:N:8:2", "BORN:D", "OK:L", "NOTE:M"})
                .exitCode,
            0);
  e2e::RunResult r = python(R"(
import dbfread
t = dbfread.DBF('t.dbf', load=True)
print(t.header.dbversion, t.header.numrecords, len(t.records))
for f in t.fields: print(f.name, f.type, f.length, f.decimal_count)
)");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "131 0 0\nNAME C 10 0\nQTY N 8 2\nBORN D 8 0\nOK L 1 0\nNOTE M 10 0\n");

  r = e2e::runProgram("/usr/bin/ogrinfo", {"-so", "-al", dir.path("t.dbf")});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("Feature Count: 0"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("NAME: String (10.0)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("QTY: Real (8.2)"), std::string::npos) << r.out;
}

TEST_F(DbftoolTest, DumpMatchesRecordsAndMemosThatPythonDbfWroteIntoACreatedFile) {
  ASSERT_EQ(tool({"create", "t.dbf", "NAME:C:12", "QTY:N:8:2", "BORN:D", "OK:L", "NOTE:M"})
                .exitCode,
            0);
  e2e::RunResult r = python(R"(
import dbf, datetime
t = dbf.Table('t.dbf', codepage='cp866')
t.open(dbf.READ_WRITE)
t.append(('Анна', 12.5, datetime.date(1999, 4, 29), True, 'первая заметка'))
t.append(('Bob "B", x', -3, None, False, 'x' * 511))
t.append(('gone', 1, None, None, 'y' * 1200))
t.append(('last', 0, datetime.date(2000, 2, 29), True, ''))
dbf.delete(t[2])
t.close()
)");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(crossCheck("t.dbf"), "same 4\n");

  r = tool({"dump", "--json", "t.dbf"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  std::vector<std::string> lines;
  for (size_t at = 0, nl; (nl = r.out.find('\n', at)) != std::string::npos; at = nl + 1)
    lines.push_back(r.out.substr(at, nl - at));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0],
            "{\"recno\":1,\"deleted\":false,\"values\":[\"Анна        \",\"   12.50\","
            "\"19990429\",\"T\",\"первая заметка\"]}");
  EXPECT_EQ(lines[2].substr(0, 35), "{\"recno\":3,\"deleted\":true,\"values\":");

  // CSV: live records only, trailing blanks gone, quotes doubled, memo text.
  r = tool({"dump", "t.dbf"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out,
            "NAME,QTY,BORN,OK,NOTE\r\n"
            "Анна,   12.50,19990429,T,первая заметка\r\n"
            "\"Bob \"\"B\"\", x\",   -3.00,,F," + std::string(511, 'x') + "\r\n"
            "last,    0.00,20000229,T,\r\n");
  e2e::writeFile(dir.path("out.csv"), tool({"dump", "t.dbf"}).out);
  r = python("import csv\nrows=list(csv.reader(open('out.csv', newline='', encoding='utf-8')))\n"
             "print(len(rows), rows[2][0])\n");
  EXPECT_EQ(r.out, "4 Bob \"B\", x\n") << r.err;
}

TEST_F(DbftoolTest, ReadsFilesThatPythonDbfAndGdalMadeThemselves) {
  e2e::RunResult r = python(R"(
import dbf, datetime
t = dbf.Table('py.dbf', 'NAME C(20); AMOUNT N(10,3); WHEN D; FLAG L; REMARK M',
              codepage='cp866', dbf_type='db3')
t.open(dbf.READ_WRITE)
for i in range(30):
    t.append(('строка %d' % i, i * 1.125, datetime.date(2000 + i, 1 + i % 12, 1),
              i % 2 == 0, ('заметка %d ' % i) * (i * 7)))
dbf.delete(t[5])
t.close()
)");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(crossCheck("py.dbf"), "same 30\n");
  r = tool({"info", "--json", "py.dbf"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("\"recordCount\":30,\"memo\":true"), std::string::npos) << r.out;

  // GDAL writes a dbf from a CSV file (as the attribute table of a shapefile).
  e2e::writeFile(dir.path("in.csv"), "city,population\nMoscow,12500000\n\"Comma, Town\",7\n");
  r = e2e::runProgram("/usr/bin/ogr2ogr", {"-f", "ESRI Shapefile", "-lco", "ENCODING=UTF-8",
                                           dir.path("gdal.dbf"), dir.path("in.csv")});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(crossCheck("gdal.dbf", "utf8"), "same 2\n");
  r = tool({"dump", "--encoding", "utf8", "gdal.dbf"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "city,population\r\nMoscow,12500000\r\n\"Comma, Town\",7\r\n");
}

TEST_F(DbftoolTest, EncodingsAndControlCharactersGiveValidUtf8) {
  ASSERT_EQ(tool({"create", "e.dbf", "T:C:4"}).exitCode, 0);
  // One record written byte by byte: 0xE9, a tab, 0x01 and a quote.
  std::string bytes = e2e::readFile(dir.path("e.dbf"));
  bytes.pop_back();  // the 0x1A
  bytes += std::string(" \xE9\t\x01\"", 5) + "\x1A";
  bytes[4] = 1;
  e2e::writeFile(dir.path("e.dbf"), bytes);
  EXPECT_EQ(tool({"dump", "--json", "e.dbf"}).out,
            "{\"recno\":1,\"deleted\":false,\"values\":[\"щ\\t\\u0001\\\"\"]}\n");
  EXPECT_EQ(tool({"dump", "--json", "--encoding", "latin1", "e.dbf"}).out,
            "{\"recno\":1,\"deleted\":false,\"values\":[\"é\\t\\u0001\\\"\"]}\n");
  // 0xE9 alone is not UTF-8: it becomes the replacement character.
  EXPECT_EQ(tool({"dump", "--json", "--encoding=utf8", "e.dbf"}).out,
            "{\"recno\":1,\"deleted\":false,\"values\":[\"\xEF\xBF\xBD\\t\\u0001\\\"\"]}\n");
  EXPECT_EQ(tool({"dump", "--encoding", "latin1", "e.dbf"}).out, "T\r\n\"é\t\\x01\"\"\"\r\n");
  e2e::RunResult r = tool({"dump", "--encoding", "koi8", "e.dbf"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("cp866"), std::string::npos);
}

TEST_F(DbftoolTest, DamagedDescriptorsStillGiveValidUtf8AndJson) {
  ASSERT_EQ(tool({"create", "odd.dbf", "AB:C:3"}).exitCode, 0);
  std::string bytes = e2e::readFile(dir.path("odd.dbf"));
  bytes[32] = '\xE9';  // name: 0xE9 0x01
  bytes[33] = '\x01';
  bytes[32 + 11] = '\x07';  // a type byte that is no letter
  e2e::writeFile(dir.path("odd.dbf"), bytes);
  e2e::RunResult r = tool({"info", "--json", "odd.dbf"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("\"fields\":[{\"name\":\"щ\\u0001\",\"type\":\"\\u0007\",\"length\":3,"),
            std::string::npos)
      << r.out;
  r = tool({"info", "odd.dbf"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("    1  щ\\x01       \\x07       3         0       1\n"), std::string::npos)
      << r.out;
  r = tool({"dump", "odd.dbf"});
  EXPECT_EQ(r.out, "щ\\x01\r\n");
}

TEST_F(DbftoolTest, FailuresNameTheFileAndTheEngineErrorAndChangeNothing) {
  // Missing file.
  e2e::RunResult r = tool({"info", "none.dbf"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "dbftool: none.dbf: Opening File (-60)\n");

  // Not a data file: a header length of 32.
  std::string junk(64, '\0');
  junk[8] = 32;
  e2e::writeFile(dir.path("junk.dbf"), junk);
  r = tool({"dump", "--json", "junk.dbf"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "dbftool: junk.dbf: File is not a Data File (-200)\n");
  e2e::writeFile(dir.path("short.dbf"), "\x03\x7e");
  r = tool({"info", "--json", "short.dbf"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "dbftool: short.dbf: Reading File (-70)\n");

  // A memo file that has gone missing.
  ASSERT_EQ(tool({"create", "m.dbf", "NOTE:M"}).exitCode, 0);
  ASSERT_EQ(unlink(dir.path("m.dbt").c_str()), 0);
  r = tool({"dump", "m.dbf"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "dbftool: m.dbf: Opening File (-60)\n");

  // A memo block number past the end of the memo file: the records before it are
  // dumped, then the failure names the record, the field, the block and what the
  // engine found wrong with it.
  ASSERT_EQ(tool({"create", "far.dbf", "ID:C:2", "NOTE:M"}).exitCode, 0);
  std::string far = e2e::readFile(dir.path("far.dbf"));
  far.pop_back();
  far += std::string(" 1 ") + "          " + " 2 " + "      9999" + "\x1A";
  far[4] = 2;
  e2e::writeFile(dir.path("far.dbf"), far);
  r = tool({"dump", "--json", "far.dbf"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "{\"recno\":1,\"deleted\":false,\"values\":[\"1 \",\"\"]}\n");
  EXPECT_EQ(r.err, "dbftool: far.dbf: record 2, field NOTE, memo block 9999: Unexpected "
                   "Information (-910): Memo block number past the end of the memo file: "
                   "FAR.DBT\n");
  r = tool({"eval", "far.dbf", "NOTE", "--recno", "2"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "dbftool: NOTE: Unexpected Information (-910): Memo block number past the "
                   "end of the memo file: FAR.DBT\n");
  // A block number stored in binary by another program.
  far.replace(far.size() - 11, 10, std::string("\x05\0\0\0", 4) + "      ");
  e2e::writeFile(dir.path("far.dbf"), far);
  r = tool({"dump", "far.dbf"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "dbftool: far.dbf: record 2, field NOTE, memo block \\x05: Unexpected "
                   "Information (-910): Memo block number is not valid: FAR.DBT\n");

  // Bad field definitions: nothing is created.
  for (const std::vector<std::string>& fields :
       {std::vector<std::string>{"NAME:X:5"}, {"NAME:C:0"}, {"NAME:C:255"}, {"TOOLONGNAME1:C:5"},
        {"NAME:C"}, {"A:N:5:4"}, {"A:C:5", "a:C:5"}, {"D:D:9"}, {"1A:C:5"}, {"A:C:abc"}}) {
    std::vector<std::string> args = {"create", "bad.dbf"};
    args.insert(args.end(), fields.begin(), fields.end());
    r = tool(args);
    EXPECT_EQ(r.exitCode, 1) << fields[0];
    EXPECT_EQ(r.err.rfind("dbftool: bad.dbf: ", 0), 0u) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    EXPECT_FALSE(e2e::fileExists(dir.path("bad.dbf"))) << fields[0];
  }

  // An existing file is never overwritten.
  ASSERT_EQ(tool({"create", "keep.dbf", "A:C:3"}).exitCode, 0);
  std::string before = e2e::readFile(dir.path("keep.dbf"));
  r = tool({"create", "keep.dbf", "B:N:4"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "dbftool: keep.dbf: Creating File (-20)\n");
  EXPECT_EQ(e2e::readFile(dir.path("keep.dbf")), before);

  // Usage errors.
  EXPECT_EQ(tool({}).exitCode, 1);
  EXPECT_EQ(tool({"frobnicate"}).exitCode, 1);
  EXPECT_EQ(tool({"info"}).exitCode, 1);
  EXPECT_EQ(tool({"dump", "--bogus", "keep.dbf"}).exitCode, 1);
}

TEST_F(DbftoolTest, AFileHeldExclusivelyByAnotherProcessIsRefused) {
  ASSERT_EQ(tool({"create", "held.dbf", "A:C:3"}).exitCode, 0);
  // The holder keeps the file the way an exporting exdrift does: exclusively.
  int fd = open(dir.path("held.dbf").c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
  e2e::RunResult r = tool({"dump", "--json", "held.dbf"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "dbftool: held.dbf: Opening File (-60)\n");
  close(fd);
  r = tool({"dump", "--json", "held.dbf"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
}

TEST_F(DbftoolTest, ReadOnlyFilesCanBeInspected) {
  ASSERT_EQ(tool({"create", "ro.dbf", "A:C:3", "M:M"}).exitCode, 0);
  ASSERT_EQ(chmod(dir.path("ro.dbf").c_str(), 0444), 0);
  ASSERT_EQ(chmod(dir.path("ro.dbt").c_str(), 0444), 0);
  std::string before = e2e::readFile(dir.path("ro.dbf"));
  EXPECT_EQ(tool({"info", "--json", "ro.dbf"}).exitCode, 0);
  EXPECT_EQ(tool({"dump", "ro.dbf"}).exitCode, 0);
  EXPECT_EQ(e2e::readFile(dir.path("ro.dbf")), before);
}

}  // namespace
