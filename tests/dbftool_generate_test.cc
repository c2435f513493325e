// dbftool ddl, config and create --like: the table definitions and configuration
// files generated from dbf files, and the dbf files generated from tables, checked by
// loading them with sqlite3, indrift and exdrift.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/dbftool_fixture.h"
#include "tests/e2e_support.h"

namespace {

class DbftoolGenerateTest : public DbftoolFixture {
 protected:
  e2e::RunResult sqlite(const std::string& sql) {
    e2e::RunOptions options;
    options.cwd = dir.path();
    options.stdinText = sql;
    return e2e::runProgram("/usr/bin/sqlite3", {"-bail", "shop.db"}, options);
  }
  e2e::RunResult program(const std::string& name, const std::string& config) {
    e2e::RunOptions options;
    options.cwd = dir.path();
    return e2e::runProgram(name, {"-S:shop.db", "-U:me", "-P:", "-F:" + config, "-D:."}, options);
  }
  // Overwrites the stored name (and, when given, the type letter) of field `index`
  // (from 0) in a data file.
  void patchField(const std::string& name, int index, const std::string& stored, char type = 0) {
    std::string bytes = e2e::readFile(dir.path(name));
    size_t at = 32 + 32 * static_cast<size_t>(index);
    ASSERT_LT(at + 12, bytes.size());
    std::string padded = stored;
    padded.resize(11, '\0');
    bytes.replace(at, 11, padded);
    if (type) bytes[at + 11] = type;
    e2e::writeFile(dir.path(name), bytes);
  }

};

TEST_F(DbftoolGenerateTest, NamesTypesAndSizesOfEveryFieldAndTheConfigurationThatPairsThem) {
  ASSERT_EQ(tool({"create", "order.dbf", "ID:N:5", "ORDER:C:20", "DESC:N:12:3", "GROUP:D",
                  "LEVEL:L", "NOTE:M", "ORDER_:C:1", "RATE:F:20:15", "BIG:C:254", "NAME:C:3",
                  "ODD:C:2"})
                .exitCode,
            0);
  // Names as other programs store them: lower case, and not an identifier.
  patchField("order.dbf", 9, "name");
  patchField("order.dbf", 10, "1a$b");
  ASSERT_EQ(tool({"create", "2024 sales.dbf", "AMT:N:20:2", "ONE:N:1"}).exitCode, 0);
  ASSERT_EQ(system(("mkdir " + dir.path("sub")).c_str()), 0);
  ASSERT_EQ(tool({"create", "sub/ORDER.DBF", "X:C:1"}).exitCode, 0);
  ASSERT_EQ(tool({"create", "sqlite_stat1.dbf", "X:C:1"}).exitCode, 0);
  ASSERT_EQ(tool({"create", "dual.dbf", "X:C:1"}).exitCode, 0);

  e2e::RunResult r = tool({"ddl", "order.dbf", "2024 sales.dbf", "sub/ORDER.DBF",
                           "sqlite_stat1.dbf", "dual.dbf"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out,
            "CREATE TABLE ORDER_ (\n"
            "  ID NUMBER(5),\n"
            "  ORDER_ NVARCHAR2(20),\n"
            "  DESC_ NUMBER(12,3),\n"
            "  GROUP_ DATE,\n"
            "  LEVEL_ NUMBER(1),\n"
            "  NOTE CLOB,\n"
            "  ORDER_2 NVARCHAR2(1),\n"
            "  RATE NUMBER(20,15),\n"
            "  BIG NVARCHAR2(254),\n"
            "  NAME NVARCHAR2(3),\n"
            "  F_1A_B_ NVARCHAR2(2)\n"
            ");\n"
            "CREATE TABLE T_2024_SALES (\n"
            "  AMT NUMBER(20,2),\n"
            "  ONE NUMBER(1)\n"
            ");\n"
            "CREATE TABLE ORDER_2 (\n"
            "  X NVARCHAR2(1)\n"
            ");\n"
            "CREATE TABLE T_SQLITE_STAT1_ (\n"
            "  X NVARCHAR2(1)\n"
            ");\n"
            "CREATE TABLE DUAL_ (\n"
            "  X NVARCHAR2(1)\n"
            ");\n");
  // The definitions load, and the declared types are the ones printed.
  e2e::RunResult s = sqlite(r.out + "SELECT type FROM pragma_table_info('ORDER_') WHERE name = 'DESC_';");
  ASSERT_EQ(s.exitCode, 0) << s.err;
  EXPECT_EQ(s.out, "NUMBER(12,3)\n");

  r = tool({"ddl", "--table", "ORDERS", "order.dbf"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out.substr(0, 21), "CREATE TABLE ORDERS (");

  r = tool({"config", "order.dbf", "sub/ORDER.DBF", "--truncate"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out,
            "// indrift: dbf files into tables (dbftool config)\n"
            "%BEGIN_SECTION ORDER_\n"
            "%TABLE_NAME=ORDER_\n"
            "%DBF_NAME=order.dbf\n"
            "%TRUNCATE=ON\n"
            "ID=ID\n"
            "ORDER_=ORDER\n"
            "DESC_=DESC\n"
            "GROUP_=GROUP\n"
            "LEVEL_=LEVEL\n"
            "NOTE=NOTE\n"
            "ORDER_2=ORDER_\n"
            "RATE=RATE\n"
            "BIG=BIG\n"
            "NAME=name\n"
            "F_1A_B_=1a$b\n"
            "%END_SECTION\n"
            "%BEGIN_SECTION ORDER_2\n"
            "%TABLE_NAME=ORDER_2\n"
            "%DBF_NAME=sub/ORDER.DBF\n"
            "%TRUNCATE=ON\n"
            "X=X\n"
            "%END_SECTION\n");
  r = tool({"config", "--export", "--table", "SALES", "sub/ORDER.DBF"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out,
            "// exdrift: tables into dbf files (dbftool config)\n"
            "%BEGIN_SECTION SALES\n%TABLE_NAME=SALES\n%DBF_NAME=sub/ORDER.DBF\nX=X\n%END_SECTION\n");
}

TEST_F(DbftoolGenerateTest, FilesAndOptionsThatCannotBeGeneratedAreRefusedWithNothingPrinted) {
  ASSERT_EQ(tool({"create", "good.dbf", "A:C:1"}).exitCode, 0);
  ASSERT_EQ(tool({"create", "odd.dbf", "A:C:1", "B:C:4"}).exitCode, 0);
  patchField("odd.dbf", 1, "B", 'I');
  ASSERT_EQ(tool({"create", "my-file.dbf", "A:C:1"}).exitCode, 0);
  ASSERT_EQ(tool({"create", "dash.dbf", "A:C:1"}).exitCode, 0);
  patchField("dash.dbf", 0, "A-B");
  struct Case {
    std::vector<std::string> args;
    std::string err;
  };
  const Case cases[] = {
      {{"ddl", "good.dbf", "odd.dbf"},
       "dbftool: odd.dbf: field 'B' is of type 'I', which indrift cannot read\n"},
      {{"config", "good.dbf", "missing.dbf"}, "dbftool: missing.dbf: Opening File (-60)\n"},
      {{"config", "good.dbf", "my-file.dbf"},
       "dbftool: my-file.dbf: a configuration file cannot name this file (a blank, '-' or "
       "another separator, or more than 100 bytes); rename it\n"},
      {{"config", "dash.dbf"}, "dbftool: dash.dbf: a configuration file cannot name field 'A-B'\n"},
      {{"ddl", "--table", "T", "good.dbf", "dash.dbf"},
       "dbftool: --table names the table of one file only\nusage: dbftool ddl FILE... [--table NAME]\n"},
      {{"ddl", "--table", "select", "good.dbf"},
       "dbftool: --table select: not a table name (a letter, then letters, digits or _, at most "
       "30, no reserved word)\nusage: dbftool ddl FILE... [--table NAME]\n"},
      {{"config", "--import", "--upsert", "good.dbf"},
       "dbftool: unknown option '--upsert'\nusage: dbftool config FILE... [--import | --export] "
       "[--table NAME] [--truncate]\n"},
  };
  for (const Case& c : cases) {
    e2e::RunResult r = tool(c.args);
    EXPECT_EQ(r.exitCode, 1) << c.args[1];
    EXPECT_EQ(r.out, "") << c.args[1];
    EXPECT_EQ(r.err, c.err);
  }
  // A file name with a minus sign is still fine for ddl: only the configuration
  // cannot carry it.
  e2e::RunResult r = tool({"ddl", "my-file.dbf"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "CREATE TABLE MY_FILE (\n  A NVARCHAR2(1)\n);\n");
}

TEST_F(DbftoolGenerateTest, CreateLikeHoldsEveryColumnAndWritesTheExportConfiguration) {
  ASSERT_EQ(sqlite("CREATE TABLE goods (id NUMBER(6) NOT NULL, name NVARCHAR2(12), code CHAR(4), "
                   "price NUMBER(9,2), tiny NUMBER(3,5), round NUMBER(5,-2), big INTEGER, "
                   "sold_on DATE, note CLOB, long_column_name VARCHAR2(300), "
                   "long_column_other LONG, r RAW(6))")
                .exitCode,
            0);
  e2e::RunResult r = tool({"create", "out", "--like", "goods", "-S:shop.db", "-U:me", "-P:",
                           "--codepage", "1251", "--config", "back.cfg"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err,
            "dbftool: warning: column 'BIG' may hold numbers wider than a dbf field (20 "
            "characters); exdrift refuses such a value\n");
  r = tool({"info", "--json", "out.dbf"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  std::string fields = r.out.substr(r.out.find("\"fields\""));
  EXPECT_EQ(fields,
            "\"fields\":[{\"name\":\"ID\",\"type\":\"N\",\"length\":7,\"decimals\":0},"
            "{\"name\":\"NAME\",\"type\":\"C\",\"length\":12,\"decimals\":0},"
            "{\"name\":\"CODE\",\"type\":\"C\",\"length\":4,\"decimals\":0},"
            "{\"name\":\"PRICE\",\"type\":\"N\",\"length\":11,\"decimals\":2},"
            "{\"name\":\"TINY\",\"type\":\"N\",\"length\":8,\"decimals\":5},"
            "{\"name\":\"ROUND\",\"type\":\"N\",\"length\":8,\"decimals\":0},"
            "{\"name\":\"BIG\",\"type\":\"N\",\"length\":20,\"decimals\":0},"
            "{\"name\":\"SOLD_ON\",\"type\":\"D\",\"length\":8,\"decimals\":0},"
            "{\"name\":\"NOTE\",\"type\":\"M\",\"length\":10,\"decimals\":0},"
            "{\"name\":\"LONG_COLUM\",\"type\":\"C\",\"length\":254,\"decimals\":0},"
            "{\"name\":\"LONG_COL_2\",\"type\":\"M\",\"length\":10,\"decimals\":0},"
            "{\"name\":\"R\",\"type\":\"C\",\"length\":6,\"decimals\":0}]}\n");
  // Code page 1251 in the language-driver byte.
  EXPECT_EQ(static_cast<unsigned char>(e2e::readFile(dir.path("out.dbf"))[29]), 0xC9);
  EXPECT_EQ(e2e::readFile(dir.path("back.cfg")),
            "// exdrift: goods into out.dbf (dbftool create --like)\n"
            "%BEGIN_SECTION GOODS\n%TABLE_NAME=goods\n%DBF_NAME=out.dbf\n"
            "ID=ID\nNAME=NAME\nCODE=CODE\nPRICE=PRICE\nTINY=TINY\nROUND=ROUND\nBIG=BIG\n"
            "SOLD_ON=SOLD_ON\nNOTE=NOTE\nLONG_COLUMN_NAME=LONG_COLUM\n"
            "LONG_COLUMN_OTHER=LONG_COL_2\nR=R\n%END_SECTION\n");

  // Refused before any file is made: a column no field holds, a column name the
  // configuration cannot carry, an unknown code page, a missing table, an existing
  // configuration file.
  ASSERT_EQ(sqlite("CREATE TABLE blobs (a NUMBER, b BLOB); CREATE TABLE spaced (\"Sold On\" DATE)")
                .exitCode,
            0);
  struct Case {
    std::vector<std::string> args;
    std::string err;
  };
  const std::vector<std::string> login = {"-S:shop.db", "-U:me", "-P:"};
  const Case cases[] = {
      {{"--like", "blobs"}, "dbftool: blobs: column 'B' is of type BLOB, which no dbf field holds\n"},
      {{"--like", "spaced", "--config", "new.cfg"},
       "dbftool: spaced: a configuration file cannot name column 'SOLD ON'\n"},
      {{"--like", "goods", "--codepage", "65001"},
       "dbftool: --codepage 65001: not a code page a dbf file can record\n"
       "usage: dbftool create OUT.dbf --like TABLE -S:SERVICE -U:USER [-P:PASSWORD] "
       "[--codepage N] [--config OUT.cfg]\n"},
      {{"--like", "nosuch"},
       "dbftool: nosuch: Error while execute SQL-statement. ORA-00942: table or view does not exist\n"},
      {{"--like", "goods", "--config", "back.cfg"}, "dbftool: back.cfg: the file exists already\n"},
      {{"--like", "goods;drop"}, "dbftool: goods;drop: not a table name\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"create", "new.dbf"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    args.insert(args.end(), login.begin(), login.end());
    r = tool(args);
    EXPECT_EQ(r.exitCode, 1) << c.args[1];
    EXPECT_EQ(r.err, c.err);
    EXPECT_FALSE(e2e::fileExists(dir.path("new.dbf"))) << c.args[1];
    EXPECT_FALSE(e2e::fileExists(dir.path("new.cfg"))) << c.args[1];
  }
  // Without --config a column name of any spelling becomes a field name.
  r = tool({"create", "spaced", "--like", "spaced", "-S:shop.db", "-U:me", "-P:"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  r = tool({"info", "--json", "spaced.dbf"});
  EXPECT_NE(r.out.find("[{\"name\":\"SOLD_ON\",\"type\":\"D\""), std::string::npos) << r.out;
  // The code page is 866 unless told otherwise.
  EXPECT_EQ(static_cast<unsigned char>(e2e::readFile(dir.path("spaced.dbf"))[29]), 0x65);
}

}  // namespace
