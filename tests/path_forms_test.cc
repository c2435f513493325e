// The forms a user gives a dbf path in: relative or absolute, with '/' or '\', a
// directory with or without a trailing separator joined to %DBF_NAME, a spelling
// whose case differs from the directory's entries, with or without the extension.
// Each reaches the same file, with its memo, group and aside files beside it; the
// messages that name the file keep the form they have always shown.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e_support.h"

namespace {

class PathFormsTest : public ::testing::Test {
 protected:
  // A shell command line in the test directory, the built programs first on the PATH.
  e2e::RunResult shell(const std::string& commands) { return e2e::runShell(commands, dir.path(), dir.path("home")); }
  e2e::RunResult drift(const std::string& program, const std::string& config,
                       const std::string& dbf) {
    e2e::writeFile(dir.path("run.cfg"), config);
    e2e::RunOptions options;
    options.cwd = dir.path();
    return e2e::runProgram(program, {"-S:shop.db", "-U:me", "-P:", "-F:run.cfg", "-D:" + dbf, "-C"},
                           options);
  }
  static bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
  }

  e2e::TempDir dir;
};

TEST_F(PathFormsTest, EveryFormOfANameReachesTheSameFiles) {
  e2e::RunResult r = shell(
      "mkdir Data Dd dD && dbftool create Data/orders.dbf N:N:5 T:C:6 M:M:10 && "
      "dbftool create Data/mb.dbf T:C:4 && "
      "printf '\\173' | dd of=Data/mb.dbf bs=1 seek=29 conv=notrunc 2>/dev/null && "
      "sqlite3 -bail shop.db \"CREATE TABLE O (N NUMBER(5), T VARCHAR2(6), M CLOB); "
      "INSERT INTO O VALUES (1, 'ab', 'first'), (2, 'cd', 'second'); "
      "CREATE TABLE I (N NUMBER(5), T VARCHAR2(6), M CLOB, F VARCHAR2(40)); "
      "CREATE TABLE S (T VARCHAR2(1))\"");
  ASSERT_EQ(r.exitCode, 0) << r.err;

  // A truncating export by a directory with a trailing '\' writes its new data and
  // memo files beside the data file and leaves none of them behind.
  r = drift("exdrift", "%TABLE_NAME=O\n%TRUNCATE=ON\n%DBF_NAME=orders.dbf\n%ORDER_BY=\"N\"\n"
                       "N=N\nT=T\nM=M\n",
            "Data\\");
  EXPECT_EQ(r.exitCode, 0) << r.out;
  r = shell("ls Data");
  EXPECT_EQ(r.out, "mb.dbf\norders.dbf\norders.dbt\n");

  // Imports by four spellings of that file; %FILE_NAME is the base name as given.
  const std::string fields = "N=N\nT=T\nM=M\nF=%FILE_NAME\n";
  const std::vector<std::pair<std::string, std::string>> imports = {
      {"%TABLE_NAME=I\n%DBF_NAME=ORDERS.DBF\n", "data"},         // joined: data\ORDERS.DBF
      {"%TABLE_NAME=I\n", "Data\\orders.dbf"},                   // '\' on the command line
      {"%TABLE_NAME=I\n%DBF_NAME=orders\n", dir.path("Data/")},  // absolute, trailing '/'
      {"%TABLE_NAME=I\n", "./data/ORDERS"}};                     // no extension
  for (const auto& [section, dbf] : imports) {
    r = drift("indrift", section + fields, dbf);
    EXPECT_EQ(r.exitCode, 0) << dbf << "\n" << r.out;
  }
  r = shell("sqlite3 shop.db 'SELECT N, T, M, F FROM I ORDER BY rowid'");
  EXPECT_EQ(r.out,
            "1|ab|first|ORDERS.DBF\n2|cd|second|ORDERS.DBF\n"
            "1|ab|first|orders.dbf\n2|cd|second|orders.dbf\n"
            "1|ab|first|orders\n2|cd|second|orders\n"
            "1|ab|first|ORDERS\n2|cd|second|ORDERS\n");

  // The messages that name the file: the refused record in the system's form, the
  // code page in the engine's, the path the engine tried in the engine's form when
  // the system cannot tell which directory is meant (Dd and dD), as always.
  r = drift("indrift", "%TABLE_NAME=S\nT=T\n", "Data\\orders.dbf");
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_TRUE(contains(r.out, "Refused record 1 of dbf-file 'Data/orders.dbf'\n")) << r.out;
  for (const char* program : {"indrift", "exdrift"}) {
    r = drift(program, "%TABLE_NAME=S\nT=T\n", "Data/mb.dbf");
    EXPECT_EQ(r.exitCode, 1) << program;
    EXPECT_TRUE(contains(
        r.out, "DBF-file 'Data\\mb.dbf' is in code page 932, a multi-byte code page: not supported\n"))
        << r.out;
  }
  r = drift("indrift", "%TABLE_NAME=S\nT=T\n", "dd/x.dbf");
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_TRUE(contains(r.out, "Can't open dbf-file.\n'DD\\X.DBF': No such file or directory\n"))
      << r.out;

  // dbftool takes the same forms, and its engine texts name files in the engine's form.
  r = shell("dbftool index Data/orders.dbf Data/by_n.ntx N --group data/ORDERS.cgp && "
            "dbftool list Data\\\\orders.dbf data/BY_N && ls Data && "
            "dbftool index Data/nope.dbf Data/x.ntx N");
  // The tag takes the engine's upper-case name, the group file the case it is given.
  EXPECT_EQ(r.out,
            "Data/by_n.ntx: 2 keys of 5 bytes\n1\t00001\n2\t00002\n"
            "BY_N.NTX\nORDERS.cgp\nmb.dbf\norders.dbf\norders.dbt\n")
      << r.err;
  EXPECT_EQ(r.err, "dbftool: Data/nope.dbf: Opening File (-60): File Name: DATA\\NOPE.DBF\n");

  // The export keeps out of a file with its own group file, naming it beside the path.
  r = drift("exdrift", "%TABLE_NAME=O\n%DBF_NAME=orders.dbf\nN=N\n", "Data\\");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(contains(r.out, "Dbf-file has the index group file 'Data/ORDERS.cgp'; exdrift does "
                              "not keep index tags current\n"))
      << r.out;
}

// Files whose names differ only in case, side by side (as copied from a system that
// tells them apart): the name as written reaches its own data, memo and code-page
// files and leaves the others alone; a name spelled as neither still fails as missing.
TEST_F(PathFormsTest, ExactSpellingReachesItsOwnFilesBesideCaseTwins) {
  e2e::RunResult r = shell(
      "mkdir data && dbftool create data/orders.dbf N:N:5 T:C:4 M:M:10 && "
      "printf '\\0' | dd of=data/orders.dbf bs=1 seek=29 conv=notrunc 2>/dev/null && "
      "cp data/orders.dbf data/ORDERS.DBF && cp data/orders.dbt data/ORDERS.DBT && "
      "printf 1251 > data/orders.cpg && printf 866 > data/ORDERS.CPG && "
      "cp -p data/ORDERS.DBF ORDERS.DBF.was && cp -p data/ORDERS.DBT ORDERS.DBT.was && "
      "sqlite3 -bail shop.db \"CREATE TABLE O (N NUMBER(5), T VARCHAR2(4), M CLOB); "
      "INSERT INTO O VALUES (1, 'а', 'first'); "
      "CREATE TABLE I (N NUMBER(5), T VARCHAR2(4), M CLOB)\"");
  ASSERT_EQ(r.exitCode, 0) << r.err;

  r = drift("exdrift", "%TABLE_NAME=O\nN=N\nT=T\nM=M\n", "data/orders.dbf");
  EXPECT_EQ(r.exitCode, 0) << r.out;
  // The letter in code page 1251 (orders.cpg), its memo in orders.dbt; the twins as
  // they were.
  r = shell(
      "od -An -tx1 -j135 -N1 data/orders.dbf && cmp data/ORDERS.DBF ORDERS.DBF.was && "
      "cmp data/ORDERS.DBT ORDERS.DBT.was && ls data");
  EXPECT_EQ(r.out, " e0\nORDERS.CPG\nORDERS.DBF\nORDERS.DBT\norders.cpg\norders.dbf\norders.dbt\n")
      << r.err;

  // Without its extension the name still finds its own file; the upper-case twin has
  // no record; a third spelling cannot tell which is meant.
  const std::string fields = "%TABLE_NAME=I\nN=N\nT=T\nM=M\n";
  r = drift("indrift", fields, "data/orders");
  EXPECT_EQ(r.exitCode, 0) << r.out;
  r = drift("indrift", fields, "data/ORDERS.DBF");
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_TRUE(contains(r.out, "Processed 0 lines")) << r.out;
  r = drift("indrift", fields, "data/Orders.dbf");
  EXPECT_EQ(r.exitCode, 2) << r.out;
  r = shell("sqlite3 shop.db 'SELECT N, T, M FROM I'");
  EXPECT_EQ(r.out, "1|а|first\n");

  // Each twin with a group of its own (the twin's made elsewhere and copied in): an
  // append keeps its own file's tag current and leaves the twin's tag alone.
  r = shell(
      "dbftool index data/orders.dbf data/own.ntx T --group data/orders.cgp >/dev/null && "
      "mkdir elsewhere && cp data/ORDERS.DBF data/ORDERS.DBT elsewhere && "
      "dbftool index elsewhere/ORDERS.DBF elsewhere/TWIN.NTX T >/dev/null && "
      "cp elsewhere/TWIN.NTX data && printf 'TWIN.NTX\\r\\n' > data/ORDERS.CGP && "
      "dbftool append data/orders.dbf N=2 T=b >/dev/null && "
      "cmp data/TWIN.NTX elsewhere/TWIN.NTX && dbftool seek data/orders.dbf data/own b");
  EXPECT_EQ(r.out, "{\"recno\":2,\"key\":\"b\",\"exact\":true}\n") << r.err;

  // Without files of its own beside it, the file never takes the twin's: an append
  // without its group leaves the twin's tag alone, and without its memo file the
  // import fails.
  r = shell(
      "rm data/orders.cgp && dbftool append data/orders.dbf N=3 T=c >/dev/null && "
      "cmp data/TWIN.NTX elsewhere/TWIN.NTX && rm data/orders.dbt");
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  r = drift("indrift", fields, "data/orders.dbf");
  EXPECT_EQ(r.exitCode, 2) << r.out;
  EXPECT_TRUE(contains(r.out, "'data/orders.dbt': No such file or directory\n")) << r.out;
}

// Tag files whose names differ only in case: each name as written reaches its own tag,
// whether listed, checked, rebuilt or kept current through a group; a third spelling
// fails as missing.
TEST_F(PathFormsTest, ExactSpellingReachesItsOwnTagBesideACaseTwin) {
  e2e::RunResult r = shell(
      "dbftool create t.dbf NAME:C:4 CITY:C:4 && dbftool append t.dbf NAME=a CITY=z && "
      "dbftool append t.dbf NAME=b CITY=y && dbftool index t.dbf by.ntx CITY && mv BY.NTX x && "
      "dbftool index t.dbf by.ntx NAME && mv BY.NTX by.ntx && mv x BY.NTX");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  r = shell("dbftool list t.dbf by.ntx && dbftool list t.dbf BY.NTX");
  EXPECT_EQ(r.out, "1\ta\n2\tb\n2\ty\n1\tz\n") << r.err;

  // Rebuilt into a group, the tag named is written and listed in its own spelling; an
  // append through that group, named beside a twin group listing the twin tag, keeps
  // it current and leaves the twin as it was.
  r = shell(
      "cp BY.NTX was && dbftool index t.dbf by.ntx NAME --group t.cgp >/dev/null && "
      "cmp BY.NTX was && cat t.cgp && printf 'BY.NTX\\r\\n' > T.CGP && "
      "dbftool append t.dbf --group t.cgp NAME=c CITY=x >/dev/null && cmp BY.NTX was && "
      "dbftool check t.dbf by.ntx BY.NTX");
  EXPECT_EQ(r.out, "by.ntx\r\nby.ntx: sound\n") << r.err;
  EXPECT_EQ(r.err, "dbftool: BY.NTX: record 3 is missing from the tag\n");
  // A group that lists the twin gets the tag named beside it.
  r = shell("dbftool index t.dbf by.ntx NAME --group T.CGP >/dev/null && cat T.CGP");
  EXPECT_EQ(r.out, "BY.NTX\r\nby.ntx\r\n") << r.err;
  r = shell("dbftool list t.dbf By.ntx");
  EXPECT_EQ(r.exitCode, 1) << r.out;
}

}  // namespace
