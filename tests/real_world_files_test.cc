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
  e2e::RunResult shell(const std::string& commands) { return e2e::runShell(commands, dir.path(), dir.path("home")); }
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

// What cannot be read as asked is refused before anything moves, naming what is
// wrong: two stored names equal ignoring case, a multi-byte code page.  A file
// without fields (shapelib writes them for shapes without attributes) is read.
TEST_F(RealWorldFilesTest, AmbiguousNamesAndMultiByteFilesAreRefusedFieldlessFilesRead) {
  e2e::RunResult r = shell(
      "dbfcreate clash.dbf -s name 4 -s Name 4 && dbfadd clash.dbf ab cd && "
      "dbfcreate mb.dbf -s txt 4 && dbfadd mb.dbf ab && "
      "printf '\\173' | dd of=mb.dbf bs=1 seek=29 conv=notrunc 2>/dev/null && "
      "dbfcreate empty.dbf && "
      "/usr/bin/python3 -c \"b = bytearray(open('empty.dbf', 'rb').read()); b[4] = 3; "
      "open('empty.dbf', 'wb').write(bytes(b[:33]) + b' * ' + bytes([0x1A]))\" && "
      "sqlite3 -bail db \"CREATE TABLE m (t VARCHAR2(4)); INSERT INTO m VALUES ('keep'); "
      "CREATE TABLE e (r NUMBER, f VARCHAR2(20))\"");
  ASSERT_EQ(r.exitCode, 0) << r.err;

  e2e::writeFile(dir.path("clash.cfg"), "%TABLE_NAME=M\n%DBF_NAME=clash.dbf\nT=NAME\n");
  r = shell("indrift -S:db -U:me -P: -F:clash.cfg -D:. -C");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.out.find("Field 'NAME' not found ('name' and 'Name' both match it)\n"), std::string::npos)
      << r.out;
  r = shell("exdrift -S:db -U:me -P: -F:clash.cfg -D:. -C");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.out.find("Field 'NAME' not found in dbf-file ('name' and 'Name' both match it)\n"),
            std::string::npos)
      << r.out;

  r = shell("dbftool append clash.dbf name=x; dbftool eval clash.dbf 'Name+\"x\"'");
  EXPECT_EQ(r.err,
            "dbftool: clash.dbf: no field named name ('name' and 'Name' both match it)\n"
            "dbftool: Name+\"x\": Unrecognized Field Name (-210): 'name' and 'Name' both match it\n");

  const std::string before = e2e::readFile(dir.path("mb.dbf"));
  e2e::writeFile(dir.path("mb.cfg"), "%TABLE_NAME=M\n%TRUNCATE=ON\n%DBF_NAME=mb.dbf\nT=TXT\n");
  const std::string refusal =
      "DBF-file '.\\mb.dbf' is in code page 932, a multi-byte code page: not supported\n";
  for (const char* program : {"indrift", "exdrift"}) {
    r = shell(std::string(program) + " -S:db -U:me -P: -F:mb.cfg -D:. -C");
    EXPECT_EQ(r.exitCode, 1) << program;
    EXPECT_NE(r.out.find(refusal), std::string::npos) << r.out;
  }
  EXPECT_EQ(e2e::readFile(dir.path("mb.dbf")), before);
  r = shell("sqlite3 db 'SELECT t FROM m' && dbftool dump mb.dbf");
  EXPECT_EQ(r.out, "keep\n");
  EXPECT_EQ(r.err, "dbftool: mb.dbf: code page 932 is a multi-byte code page: name an encoding "
                   "with --encoding\n");
  // A pair with '!' moves the bytes as they are, and so does dump with --encoding.
  e2e::writeFile(dir.path("raw.cfg"), "%TABLE_NAME=M\n%TRUNCATE=ON\n%DBF_NAME=mb.dbf\nT=!TXT\n");
  r = shell("indrift -S:db -U:me -P: -F:raw.cfg -D:. -C && sqlite3 db 'SELECT t FROM m' && "
            "dbftool dump --encoding latin1 mb.dbf");
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  const std::string rawTail = "transfered.\nab\ntxt\r\nab\r\n";
  ASSERT_GE(r.out.size(), rawTail.size());
  EXPECT_EQ(r.out.substr(r.out.size() - rawTail.size()), rawTail) << r.out;

  r = shell("dbftool info --json empty.dbf && dbftool dump --json empty.dbf");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("\"headerLength\":33,\"recordLength\":1,\"recordCount\":3,\"memo\":false,"
                       "\"codePage\":1252,\"fields\":[]}\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("{\"recno\":1,\"deleted\":false,\"values\":[]}\n"
                       "{\"recno\":2,\"deleted\":true,\"values\":[]}\n"
                       "{\"recno\":3,\"deleted\":false,\"values\":[]}\n"),
            std::string::npos)
      << r.out;
  e2e::writeFile(dir.path("empty.cfg"), "%TABLE_NAME=E\n%DBF_NAME=empty.dbf\nR=%RECNUM\nF=%FILE_NAME\n");
  r = shell("indrift -S:db -U:me -P: -F:empty.cfg -D:. -C && sqlite3 db 'SELECT r, f FROM e'");
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  const std::string rows = "transfered.\n1|empty.dbf\n3|empty.dbf\n";
  ASSERT_GE(r.out.size(), rows.size());
  EXPECT_EQ(r.out.substr(r.out.size() - rows.size()), rows) << r.out;
}

// npm's dbffile writes Windows-1251 text (and lower-case names) without recording
// the code page: %CODEPAGE=1251 says it.  The package comes from the npm registry;
// without npm, or without the registry, the test is skipped.
TEST_F(RealWorldFilesTest, NpmDbffileInWindows1251LoadsWithCodePageSet) {
  if (shell("command -v npm && command -v node").exitCode != 0)
    GTEST_SKIP() << "npm or node is not installed: the dbffile writer is not tried";
  if (shell("timeout 120 npm install --silent --no-audit --no-fund dbffile").exitCode != 0)
    GTEST_SKIP() << "npm could not install dbffile (no registry reachable)";
  e2e::writeFile(dir.path("write.js"),
                 "const {DBFFile} = require('dbffile');\n"
                 "(async () => {\n"
                 "  const f = await DBFFile.create('npm.dbf', [\n"
                 "    {name: 'title', type: 'C', size: 12},\n"
                 "    {name: 'Qty', type: 'N', size: 6, decimalPlaces: 0}], {encoding: 'cp1251'});\n"
                 "  await f.appendRecords([{title: 'Привет, мир', Qty: 5}, {title: 'ёЁ№', Qty: -2}]);\n"
                 "})();\n");
  e2e::RunResult r = shell(
      "node write.js && dbftool ddl npm.dbf | sqlite3 -bail shop.db && "
      "dbftool config npm.dbf | sed 's/^%TABLE_NAME=/%CODEPAGE=1251\\n&/' > load.cfg && "
      "indrift -S:shop.db -U:me -P: -F:load.cfg -D:. -C && sqlite3 shop.db 'SELECT title FROM npm'");
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("\nПривет, мир\nёЁ№\n"), std::string::npos) << r.out;
  r = writers({"imported", "load.cfg"});
  EXPECT_EQ(r.out, "same 4\n") << r.err;
}

// dbftool takes and shows text in the file's code page: append stores it, index
// and seek compare with it, list, eval, dump and info show it; --encoding reads
// the bytes another way.
TEST_F(RealWorldFilesTest, DbftoolWorksInTheFilesOwnCodePage) {
  e2e::RunResult r = shell(
      "dbftool create w.dbf --codepage 1251 N:C:8 && dbftool append w.dbf N=Жёлтый && "
      "dbftool append w.dbf n=Алый && dbftool index w.dbf w.ntx N --for 'N<>\"Жё\"' && "
      "dbftool list w.dbf w.ntx && dbftool seek w.dbf w.ntx Ал && "
      "dbftool eval w.dbf 'N+\"ё\"' --recno 2 && dbftool dump w.dbf && "
      "dbftool dump --encoding cp866 w.dbf && dbftool info --json w.dbf && "
      "/usr/bin/python3 -c \"import dbfread; "
      "print([r['N'] for r in dbfread.DBF('w.dbf', encoding='cp1251')])\"");
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_EQ(r.out.substr(0, r.out.find("{\"version\"")),
            "1\n2\nw.ntx: 1 keys of 8 bytes\n2\tАлый\n"
            "{\"recno\":2,\"key\":\"Алый\",\"exact\":true}\n"
            "{\"type\":\"C\",\"length\":9,\"value\":\"Алый    ё\"}\n"
            "N\r\nЖёлтый\r\nАлый\r\n"
            "N\r\n╞╕ыЄ√щ\r\n└ы√щ\r\n");
  EXPECT_NE(r.out.find("\"codePage\":1251,"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("['Жёлтый', 'Алый']\n"), std::string::npos) << r.out;
}

// A table exported into a file made with create --codepage 1251 holds Windows-1251
// bytes, and the file read back gives the table's text again.
TEST_F(RealWorldFilesTest, ExportIntoAWindows1251FileAndBack) {
  e2e::writeFile(dir.path("out.cfg"), "%TABLE_NAME=SRC\n%DBF_NAME=out.dbf\nNAME=NAME\n");
  e2e::writeFile(dir.path("in.cfg"), "%TABLE_NAME=DST\n%DBF_NAME=out.dbf\nNAME=NAME\n");
  e2e::RunResult r = shell(
      "sqlite3 -bail db \"CREATE TABLE src (name NVARCHAR2(12)); CREATE TABLE dst (name NVARCHAR2(12)); "
      "INSERT INTO src VALUES ('Съешь ещё'); INSERT INTO src VALUES ('№ «€» Ђђ'); "
      "INSERT INTO src VALUES ('日本 ü')\" && "
      "dbftool create out.dbf --codepage 1251 NAME:C:12 && "
      "exdrift -S:db -U:me -P: -F:out.cfg -D:. -C > /dev/null && "
      "indrift -S:db -U:me -P: -F:in.cfg -D:. -C > /dev/null && "
      "/usr/bin/python3 -c \"import dbfread; "
      "print([r['NAME'] for r in dbfread.DBF('out.dbf', encoding='cp1251')])\" && "
      "sqlite3 db 'SELECT name FROM dst ORDER BY rowid'");
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  // What Windows-1251 lacks becomes '?', as Oracle replaces it.
  EXPECT_EQ(r.out, "['Съешь ещё', '№ «€» Ђђ', '?? ?']\nСъешь ещё\n№ «€» Ђђ\n?? ?\n");
}

}  // namespace
