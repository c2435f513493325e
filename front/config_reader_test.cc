// The configuration reader, driven the way the drivers drive it: open,
// then readSection / resetSection until the end of the file.
#include "front/config_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "front/front_test_support.h"

namespace {

struct Section {
  std::string name, table, dbf, where, orderBy;
  bool truncate = false;
  std::vector<FieldMapping> fields;
};

struct Outcome {
  bool ok = true;
  std::vector<Section> sections;  // every section returned, selected or not
  std::string out;                // console output of the whole read
};

class ConfigReader : public FrontTest, public ::testing::WithParamInterface<ProgramKind> {
 protected:
  void SetUp() override {
    FrontTest::SetUp();
    runSettings.program = GetParam();
  }

  Outcome readAll(const std::string& text) {
    writeFile("run.cfg", text);
    runSettings.configFile = path("run.cfg");
    Outcome result;
    SectionState sectionState;
    std::FILE* file = openConfig(sectionState);
    EXPECT_NE(file, nullptr);
    if (!file) return result;
    while (!configAtEnd(file)) {
      sectionState.tableName = runSettings.tableName;
      if (!readSection(file, sectionState)) {
        result.ok = false;
        break;
      }
      if (!sectionState.sectionName.empty())
        result.sections.push_back({sectionState.sectionName, sectionState.tableName,
                                   sectionState.dbfPath, sectionState.whereClause,
                                   sectionState.orderByClause, sectionState.truncate,
                                   sectionState.fields});
      resetSection(sectionState);
    }
    closeConfig(file);
    result.out = output();
    return result;
  }

  // The file must fail with `message`, printed after an empty line.
  void expectError(const std::string& text, const std::string& message) {
    Outcome o = readAll(text);
    EXPECT_FALSE(o.ok) << text;
    const std::string tail = "\n" + message;
    ASSERT_GE(o.out.size(), tail.size()) << o.out;
    EXPECT_EQ(o.out.substr(o.out.size() - tail.size()), tail) << text;
  }
};

INSTANTIATE_TEST_SUITE_P(BothReaders, ConfigReader,
                         ::testing::Values(ProgramKind::Export, ProgramKind::Import),
                         [](const auto& info) {
                           return info.param == ProgramKind::Export ? "Export" : "Import";
                         });

TEST_P(ConfigReader, SectionsAreAnnouncedAsTheyAreRead) {
  runSettings.dbfPath = "data";
  Outcome o = readAll(
      "// orders first\n"
      "\n"
      "%begin_section orders  // trailing words are ignored\n"
      "%TABLE_NAME=ORDERS\n"
      "%dbf_name:orders.dbf\n"
      "ID=id\n"
      "Name = name\n"
      "%END_SECTION anything\n"
      "%BEGIN_SECTION second\n"
      "%TABLE_NAME T\n"
      "!X=Y\n"
      "%END_SECTION\n");
  ASSERT_TRUE(o.ok);
  ASSERT_EQ(o.sections.size(), 2u);
  EXPECT_EQ(o.out,
            "\n"
            "     Section name: ORDERS\n"
            "Oracle table name: ORDERS\n"
            "    DBF-file name: data\\orders.dbf\n"
            "Found 2 Fields to transfering\n"
            "\n"
            "     Section name: SECOND\n"
            "Oracle table name: T\n"
            "    DBF-file name: data\n"
            "Found 1 Fields to transfering\n"
            "\n");
  EXPECT_EQ(o.sections[0].fields[1].oracleName, "Name");
  EXPECT_EQ(o.sections[0].fields[1].dbfName, "NAME");
  ASSERT_EQ(o.sections[1].fields.size(), 1u);
  EXPECT_EQ(o.sections[1].fields[0].charsetId, 0);
}

TEST_P(ConfigReader, DefaultSectionNamesCountTheSectionsSeen) {
  runSettings.dbfPath = "x.dbf";
  Outcome o = readAll(
      "%TABLE_NAME=A\nF1=F1\n%END_SECTION\n"
      "%BEGIN_SECTION named\n%TABLE_NAME=B\nF2=F2\n%END_SECTION\n"
      "%TABLE_NAME=C\nF3=F3\n");
  ASSERT_TRUE(o.ok);
  ASSERT_EQ(o.sections.size(), 3u);
  EXPECT_EQ(o.sections[0].name, "DEFAULT_SECTION_0");
  EXPECT_EQ(o.sections[1].name, "NAMED");
  EXPECT_EQ(o.sections[2].name, "DEFAULT_SECTION_2");
  EXPECT_EQ(o.sections[2].table, "C");

  Outcome second =
      readAll("%BEGIN_SECTION one\n%TABLE_NAME=A\nF=F\n%END_SECTION\n%TABLE_NAME=B\nF=F\n");
  ASSERT_EQ(second.sections.size(), 2u);
  EXPECT_EQ(second.sections[1].name, "DEFAULT_SECTION_1");
}

TEST_P(ConfigReader, SectionNameErrors) {
  runSettings.dbfPath = "x.dbf";
  expectError("%begin_section orders\n%TABLE_NAME=A\nF=F\n%END_SECTION\n\n%BEGIN_SECTION Orders\n",
              "Redefinition used section name 'ORDERS' in line 6.\n");
  // A default name is taken like any other.
  expectError("%TABLE_NAME=A\nF=F\n%END_SECTION\n%BEGIN_SECTION default_section_0\n",
              "Redefinition used section name 'DEFAULT_SECTION_0' in line 4.\n");
  expectError("// nothing open\n%END_SECTION\n", "Section not defined in line 2.\n");
  expectError("%BEGIN_SECTION A\n%BEGIN_SECTION B\n", "Redefinition section name in line 2.\n");
  expectError("%TABLE_NAME=A\n%BEGIN_SECTION B\n", "Redefinition section name in line 2.\n");
  expectError("%BEGIN_SECTION\n", "Not found section name in line 1.\n");
  expectError("%BEGIN_SECTION //name\n", "Not found section name in line 1.\n");
}

TEST_P(ConfigReader, AtMostOneHundredSections) {
  runSettings.tableName = "T";
  runSettings.dbfPath = "x.dbf";
  std::string text;
  for (int i = 0; i < 100; ++i) text += "%BEGIN_SECTION S" + std::to_string(i) + "\nF=F\n%END_SECTION\n";
  Outcome hundred = readAll(text);
  EXPECT_TRUE(hundred.ok);
  EXPECT_EQ(hundred.sections.size(), 100u);
  expectError(text + "%BEGIN_SECTION ONE_MORE\n", "Too many sections in line 301.\n");
  // A default section past the limit is refused the same way.
  expectError(text + "F=F\n", "Too many sections in line 301.\n");
}

TEST_P(ConfigReader, LinesNeedASecondToken) {
  expectError("%TABLE_NAME\n", "Not found second field in file '" + path("run.cfg") +
                                   "' line: 1\n");
  expectError("\n\nFIELD_ONLY   \n", "Not found second field in file '" + path("run.cfg") +
                                         "' line: 3\n");
}

TEST_P(ConfigReader, TableNameErrors) {
  runSettings.dbfPath = "x.dbf";
  expectError("%TABLE_NAME=A\n%TABLE_NAME=B\n", "Redefinition table name in line 2.\n");
  runSettings.tableName = "FROM_COMMAND_LINE";
  expectError("%BEGIN_SECTION S\n%TABLE_NAME=A\n", "Redefinition table name in line 2.\n");
  runSettings.tableName.clear();
  expectError("%BEGIN_SECTION S\nA=B\n%END_SECTION\n", "Not defined table name!\n");
}

TEST_P(ConfigReader, TableNameFromTheCommandLineServesEverySection) {
  runSettings.tableName = "ALL";
  runSettings.dbfPath = "x.dbf";
  Outcome o = readAll("A=B\n%END_SECTION\n%BEGIN_SECTION two\nC=D\n");
  ASSERT_TRUE(o.ok);
  ASSERT_EQ(o.sections.size(), 2u);
  EXPECT_EQ(o.sections[0].table, "ALL");
  EXPECT_EQ(o.sections[1].table, "ALL");
}

TEST_P(ConfigReader, DbfPathFromCommandLineAndSection) {
  runSettings.tableName = "T";
  expectError("%BEGIN_SECTION S\nA=B\n%END_SECTION\n", "Not defined DBF-file name!\n");

  Outcome alone = readAll("%DBF_NAME=a.dbf\nA=B\n%END_SECTION\n");
  ASSERT_EQ(alone.sections.size(), 1u);
  EXPECT_EQ(alone.sections[0].dbf, "a.dbf");

  runSettings.dbfPath = "dir\\";
  Outcome slashed = readAll("%DBF_NAME=a.dbf\nA=B\n");
  ASSERT_EQ(slashed.sections.size(), 1u);
  EXPECT_EQ(slashed.sections[0].dbf, "dir\\a.dbf");

  runSettings.dbfPath = "dir";
  Outcome o = readAll("%DBF_NAME=a.dbf\nA=B\n%END_SECTION\nX=Y\n%END_SECTION\n%DBF_NAME b.dbf\nA=B\n");
  ASSERT_EQ(o.sections.size(), 3u);
  EXPECT_EQ(o.sections[0].dbf, "dir\\a.dbf");
  EXPECT_EQ(o.sections[1].dbf, "dir");  // reset to the command-line value
  EXPECT_EQ(o.sections[2].dbf, "dir\\b.dbf");
}

TEST_P(ConfigReader, TruncateCarriesOver) {
  runSettings.tableName = "T";
  runSettings.dbfPath = "x.dbf";
  Outcome o = readAll(
      "A=B\n%END_SECTION\n"
      "%TRUNCATE=on\nA=B\n%END_SECTION\n"
      "A=B\n%END_SECTION\n"
      "%truncate Off\nA=B\n%END_SECTION\n"
      "A=B\n");
  ASSERT_TRUE(o.ok);
  ASSERT_EQ(o.sections.size(), 5u);
  EXPECT_FALSE(o.sections[0].truncate);
  EXPECT_TRUE(o.sections[1].truncate);
  EXPECT_TRUE(o.sections[2].truncate);
  EXPECT_FALSE(o.sections[3].truncate);
  EXPECT_FALSE(o.sections[4].truncate);
  expectError("%TRUNCATE=YES\n", "Unknown option value in line 1.\n");
}

TEST_P(ConfigReader, FieldLinesAndCharacterSets) {
  runSettings.tableName = "T";
  runSettings.dbfPath = "x.dbf";
  Outcome o = readAll("Plain=field\n!Raw=field2\nRaw2=!field3\n!Both=!f4 extra words\n");
  ASSERT_EQ(o.sections.size(), 1u);
  const auto& f = o.sections[0].fields;
  ASSERT_EQ(f.size(), 4u);
  EXPECT_EQ(f[0].oracleName, "Plain");
  EXPECT_EQ(f[0].dbfName, "FIELD");
  EXPECT_EQ(f[0].charsetId, 152);
  EXPECT_EQ(f[1].oracleName, "Raw");
  EXPECT_EQ(f[1].charsetId, 0);
  EXPECT_EQ(f[2].dbfName, "FIELD3");
  EXPECT_EQ(f[2].charsetId, 0);
  EXPECT_EQ(f[3].oracleName, "Both");
  EXPECT_EQ(f[3].dbfName, "F4");
  EXPECT_EQ(f[3].charsetId, 0);

  std::string most;  // the most fields a dbf file holds
  for (int i = 0; i < 255; ++i) most += "C" + std::to_string(i) + "=F\n";
  Outcome full = readAll(most);
  ASSERT_EQ(full.sections.size(), 1u);
  EXPECT_EQ(full.sections[0].fields.size(), 255u);
  expectError(most + "ONE=MORE\n", "Too many fields in line 256.\n");
}

// A section that would move nothing ends the read with its line number:
// the last line of the section, or of the file when it ends the section.
TEST_P(ConfigReader, SectionWithoutFieldLinesIsAnError) {
  runSettings.dbfPath = "x.dbf";
  expectError("%BEGIN_SECTION s\n%TABLE_NAME=T\n// A=B\n%END_SECTION\n",
              "Not defined fields of section 'S' in line 4.\n");
  expectError("%TABLE_NAME=T\nA=B\n%END_SECTION\n%TABLE_NAME=U\n\n",
              "Not defined fields of section 'DEFAULT_SECTION_1' in line 5.\n");
  // Lines ended by carriage returns alone read as one line: its first pair
  // names the table, the rest of it is ignored.
  expectError("%TABLE_NAME=T\rA=B\rC=D\r",
              "Not defined fields of section 'DEFAULT_SECTION_0' in line 1.\n");
  // A section that -L: leaves out is checked all the same.
  runSettings.sectionFilter = {"OTHER"};
  expectError("%BEGIN_SECTION s\n%TABLE_NAME=T\n%END_SECTION\n",
              "Not defined fields of section 'S' in line 3.\n");
}

TEST_P(ConfigReader, SectionListSelectsWhatIsAnnounced) {
  runSettings.tableName = "T";
  runSettings.dbfPath = "x.dbf";
  runSettings.sectionFilter = {"B"};
  Outcome o = readAll("%BEGIN_SECTION a\nX=Y\n%END_SECTION\n%BEGIN_SECTION b\nX=Y\n%END_SECTION\n");
  ASSERT_TRUE(o.ok);
  EXPECT_EQ(o.sections.size(), 2u);  // both read and checked
  EXPECT_EQ(o.out,
            "\n"
            "\n     Section name: B\nOracle table name: T\n    DBF-file name: x.dbf\n"
            "Found 1 Fields to transfering\n"
            "\n");
  // An unselected section is still checked.
  runSettings.tableName.clear();
  expectError("%BEGIN_SECTION a\nX=Y\n%END_SECTION\n", "Not defined table name!\n");
}

TEST_P(ConfigReader, LastLineWithoutLineFeedAndCarriageReturns) {
  runSettings.dbfPath = "x.dbf";
  Outcome o = readAll("%TABLE_NAME=T\r\nA=B\r\nLAST=ONE");
  ASSERT_TRUE(o.ok);
  ASSERT_EQ(o.sections.size(), 1u);
  ASSERT_EQ(o.sections[0].fields.size(), 2u);
  EXPECT_EQ(o.sections[0].table, "T");
  EXPECT_EQ(o.sections[0].fields[1].oracleName, "LAST");
  EXPECT_EQ(o.sections[0].fields[1].dbfName, "ONE");
}

TEST_P(ConfigReader, OverlongLinesAreRefusedWithTheirNumber) {
  runSettings.tableName = "T";
  runSettings.dbfPath = "x.dbf";
  const std::string longest = "A=" + std::string(125, 'b');  // 127 characters
  Outcome ok = readAll(longest + "\r\n");
  ASSERT_TRUE(ok.ok);
  ASSERT_EQ(ok.sections.size(), 1u);
  EXPECT_EQ(ok.sections[0].fields[0].dbfName, std::string(125, 'B'));
  expectError("// one\n" + longest + "b\nC=D\n", "Line 2 is longer than 127 characters.\n");
  expectError(std::string(5000, 'x'), "Line 1 is longer than 127 characters.\n");
}

TEST_P(ConfigReader, CompactModeKeepsOnlyErrorsAsReportRecords) {
  runSettings.compact = true;
  runSettings.dbfPath = "x.dbf";
  runSettings.reportFile = path("run.rep");
  Outcome good = readAll("%TABLE_NAME=T\nA=B\n");
  EXPECT_TRUE(good.ok);
  EXPECT_EQ(good.out, "");
  Outcome bad = readAll("%TRUNCATE=maybe\n");
  EXPECT_EQ(maskTimes(bad.out), "hh:mm:ss Unknown option value in line 1.\n");
  EXPECT_EQ(maskTimes(readFile("run.rep")), "hh:mm:ss Unknown option value in line 1.\n");
}

TEST_P(ConfigReader, MissingFileIsReportedAndFailsTheRun) {
  runSettings.configFile = path("none.cfg");
  runSettings.reportFile = path("run.rep");
  SectionState section;
  EXPECT_EQ(openConfig(section), nullptr);
  const std::string message = "File '" + path("none.cfg") + "' not found.\n";
  EXPECT_EQ(output(), message);
  EXPECT_EQ(maskTimes(readFile("run.rep")), "hh:mm:ss " + message);
}

TEST_P(ConfigReader, DirectoryIsNotAConfigurationFile) {
  runSettings.configFile = path("");  // the scratch directory itself
  SectionState section;
  EXPECT_EQ(openConfig(section), nullptr);
  EXPECT_EQ(output(), "File '" + path("") + "' not found.\n");
}

// ---- the export's reader ---------------------------------------------------

class ExportReader : public ConfigReader {};
INSTANTIATE_TEST_SUITE_P(Export, ExportReader, ::testing::Values(ProgramKind::Export));

TEST_P(ExportReader, WhereAndOrderByTakeTheQuotedTextAndCarryOver) {
  runSettings.tableName = "T";
  runSettings.dbfPath = "x.dbf";
  runSettings.orderByClause = "FROM_COMMAND_LINE";
  Outcome o = readAll(
      "%WHERE=\"A = 1, B<>2 - C >= D|E;F:G\"  trailing\n"  // outside any section
      "X=Y\n%END_SECTION\n"
      "%order_by \"ID DESC\"\n"
      "X=Y\n%END_SECTION\n");
  ASSERT_TRUE(o.ok);
  ASSERT_EQ(o.sections.size(), 2u);
  EXPECT_EQ(o.sections[0].name, "DEFAULT_SECTION_0");  // %WHERE opened none
  EXPECT_EQ(o.sections[0].where, "A = 1, B<>2 - C >= D|E;F:G");
  EXPECT_EQ(o.sections[0].orderBy, "FROM_COMMAND_LINE");
  EXPECT_EQ(o.sections[1].where, "A = 1, B<>2 - C >= D|E;F:G");
  EXPECT_EQ(o.sections[1].orderBy, "ID DESC");

  Outcome empty = readAll("%WHERE=\"\"\nX=Y\n");
  ASSERT_EQ(empty.sections.size(), 1u);
  EXPECT_EQ(empty.sections[0].where, "");
}

TEST_P(ExportReader, WhereAndOrderByQuoteErrors) {
  expectError("%WHERE=A = 1\n", "Not found opening quote in line 1.\n");
  expectError("%WHERE\n", "Not found opening quote in line 1.\n");
  expectError("\n%WHERE=\"A = 1\n", "Not found closing quote in line 2.\n");
  expectError("%ORDER_BY=ID\n", "Not found opening quote in line 1.\n");
  expectError("%ORDER_BY=\"ID\n", "Not found closing quote in line 1.\n");
}

TEST_P(ExportReader, LineReaderKeepsSeparatorsInsideQuotes) {
  writeFile("l.cfg", "A-B,\"c-d,e\tf\"|g\x01h\xe9" "i\r\n");
  std::FILE* file = std::fopen(path("l.cfg").c_str(), "r");
  std::string line;
  bool tooLong = true;
  ASSERT_TRUE(readConfigLine(file, line, tooLong));
  EXPECT_FALSE(tooLong);
  EXPECT_EQ(line, "A B \"c-d,e f\" g h i ");
  EXPECT_FALSE(readConfigLine(file, line, tooLong));
  std::fclose(file);
}

// ---- the import's reader ---------------------------------------------------

class ImportReader : public ConfigReader {};
INSTANTIATE_TEST_SUITE_P(Import, ImportReader, ::testing::Values(ProgramKind::Import));

TEST_P(ImportReader, WhereAndOrderByAreIgnoredWithAMessage) {
  runSettings.tableName = "T";
  runSettings.dbfPath = "x.dbf";
  Outcome o = readAll("%WHERE=\"A = 1\"\nX=Y\n%ORDER_BY=\"ID\"\n%END_SECTION\n");
  ASSERT_TRUE(o.ok);
  ASSERT_EQ(o.sections.size(), 1u);
  EXPECT_EQ(o.sections[0].name, "DEFAULT_SECTION_0");  // %WHERE opened it
  EXPECT_EQ(o.sections[0].where, "");
  EXPECT_EQ(o.sections[0].fields.size(), 1u);  // neither became a field
  EXPECT_EQ(o.out,
            "\nWHERW clause ignored in line 1.\n"
            "\nORDER BY clause ignored in line 3.\n"
            "\n     Section name: DEFAULT_SECTION_0\nOracle table name: T\n"
            "    DBF-file name: x.dbf\nFound 1 Fields to transfering\n"
            "\n");
  // They need a second token like any other line.
  expectError("%WHERE\n", "Not found second field in file '" + path("run.cfg") + "' line: 1\n");
}

TEST_P(ImportReader, ReservedDbfNamesAreStoredAsFields) {
  runSettings.tableName = "T";
  runSettings.dbfPath = "x.dbf";
  Outcome o = readAll("SRC=%file_name\nNO=%RecNum\n");
  ASSERT_EQ(o.sections.size(), 1u);
  ASSERT_EQ(o.sections[0].fields.size(), 2u);
  EXPECT_EQ(o.sections[0].fields[0].dbfName, "%FILE_NAME");
  EXPECT_EQ(o.sections[0].fields[1].dbfName, "%RECNUM");
}

TEST_P(ImportReader, LineReaderHasNoQuotes) {
  writeFile("l.cfg", "A-B,\"c-d,e\"");
  std::FILE* file = std::fopen(path("l.cfg").c_str(), "r");
  std::string line;
  bool tooLong = false;
  ASSERT_TRUE(readConfigLine(file, line, tooLong));
  EXPECT_EQ(line, "A B \"c d e\"");
  std::fclose(file);
}

// ---- tokens ----------------------------------------------------------------

TEST(NextToken, SplitsAtTheFirstBlankAfterTheToken) {
  std::string line = "   first  second ";
  std::string token;
  ASSERT_TRUE(nextToken(token, line));
  EXPECT_EQ(token, "first");
  EXPECT_EQ(line, " second ");
  ASSERT_TRUE(nextToken(token, line));
  EXPECT_EQ(token, "second");
  EXPECT_FALSE(nextToken(token, line));
  line = "last";
  ASSERT_TRUE(nextToken(token, line));
  EXPECT_EQ(token, "last");
  EXPECT_EQ(line, "");
}

}  // namespace

// %CODEPAGE names the code page of its section and of every later one until
// replaced; FILE (the default) leaves it to the file.  Other values are refused.
TEST_P(ConfigReader, CodePageCarriesOverUntilReplaced) {
  writeFile("run.cfg",
            "%BEGIN_SECTION A\n%TABLE_NAME=T\n%DBF_NAME=a\nX=X\n%END_SECTION\n"
            "%BEGIN_SECTION B\n%CODEPAGE=1251\n%TABLE_NAME=T\n%DBF_NAME=b\nX=X\n%END_SECTION\n"
            "%BEGIN_SECTION C\n%TABLE_NAME=T\n%DBF_NAME=c\nX=X\n%END_SECTION\n"
            "%BEGIN_SECTION D\n%codepage: file\n%TABLE_NAME=T\n%DBF_NAME=d\nX=X\n%END_SECTION\n"
            "%BEGIN_SECTION E\n%CODEPAGE 437\n%TABLE_NAME=T\n%DBF_NAME=e\nX=X\n%END_SECTION\n");
  runSettings.configFile = path("run.cfg");
  SectionState sectionState;
  std::FILE* file = openConfig(sectionState);
  ASSERT_NE(file, nullptr);
  std::vector<int> seen;
  while (!configAtEnd(file)) {
    ASSERT_TRUE(readSection(file, sectionState)) << output();
    if (!sectionState.sectionName.empty()) seen.push_back(sectionState.codePage);
    resetSection(sectionState);
  }
  closeConfig(file);
  EXPECT_EQ(seen, (std::vector<int>{0, 1251, 1251, 0, 437}));

  for (const char* value : {"865", "932", "0", "CP1251", "12510", "ON"})
    expectError(std::string("%TABLE_NAME=T\n%CODEPAGE=") + value + "\n",
                "Unknown code page in line 2.\n");
}
