// End-to-end tests of what both programs do before any transfer: the
// command line, the settings echo, the password prompt and its cancel path,
// the report file and compact mode.  Most runs name a configuration file
// that does not exist, so they end right after start-up; the FrontConfig
// runs read sections whose tables do not exist, so nothing is transferred.
#include <gtest/gtest.h>
#include <signal.h>
#include <termios.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/e2e_support.h"

namespace {

using e2e::maskTimes;
using e2e::runProgram;
using e2e::RunResult;
using Args = std::vector<std::string>;

const char kExportUsage[] =
    "Transfer from the selected Oracle table to dbf-file.\n"
    "\n"
    "Usage: exdrift <options>\n"
    "  -S:<service name> - set name of Oracle-service\n"
    "  -U:<user name> - set user name to login to server\n"
    "  -P:<password> - set password to login to server (if no - from console)\n"
    "  -D:<file name/dir> - destination dbf-file name or dir (fi no-from cfg-file)\n"
    "     or -D:@<file name> - set filename to find destination dbf-filename\n"
    "  -T:<table name> - source Oracle table name (fi no-from cfg-file)\n"
    "  -F:<file name> - set configuration file name\n"
    "  -L:<section1>,...,<sectionN> - list of sections (if no-all sections)\n"
    "  -W:<WHERE> - where clause for select without 'WHERE'(if no-all table)\n"
    "  -O:<ORDER BY>-order by clause for select without 'ORDER BY'(if no-no sorting)\n"
    "  -R:<file name> - set filename for report (if no - no report)\n"
    "  -N:<size> - set lines per block (if no - 10000)\n"
    "  -C - set compact output mode\n"
    "\n"
    "Configuration file structure:\n"
    "    %BEGIN_SECTION <section name> // - begin of section\n"
    "      %TABLE_NAME=<oracle_table_name>\n"
    "      %TRUNCATE=ON/OFF\n"
    "      %DBF_NAME=<dbf_file_name> //if no - from command line\n"
    "      %WHERE=\"<where clause>\" //if no - from command line or none\n"
    "      %ORDER_BY=\"<order clause>\" //if no - from command line or none\n"
    "      [!]<oracle_field_1>=[!]<dbf_field_1>\n"
    "      [!]<oracle_field_2>=[!]<dbf_field_2>\n"
    "                  . . .\n"
    "      [!]<oracle_field_n>=[!]<dbf_field_n>\n"
    "    %END_SECTION // - end of 1-st section\n"
    "\t\t         ... // - next sections\n"
    "Simbol '!' meen that no charset convertion perform for this field.\n";

const char kImportUsage[] =
    "Transfer selected dbf-file to Oracle table.\n"
    "\n"
    "Usage: indrift <options>\n"
    "    -S:<service name> - set name of Oracle-service\n"
    "    -U:<user name> - set user name to login to server\n"
    "    -P:<password> - set password to login to server (if no - from console)\n"
    "    -D:<file name/dir> - source dbf-file name or dir (fi no - from cfg-file)\n"
    "       or -D:@<file name> - set filename to find source dbf-filename\n"
    "    -T:<table name> - destination Oracle table name (fi no-from cfg-file)\n"
    "    -F:<file name> - set configuration file name\n"
    "    -L:<section1>,...,<sectionN> - list of sections (if no-all sections)\n"
    "    -R:<file name> - set filename for report (if no - no report)\n"
    "    -N:<size> - set lines per block (if no - 10000)\n"
    "    -C - set compact output mode\n"
    "\n"
    "Configuration file structure:\n"
    "    %BEGIN_SECTION <section name> // - begin of section\n"
    "      %TABLE_NAME=<oracle_table_name>\n"
    "      %TRUNCATE=ON/OFF\n"
    "      %DBF_NAME=<dbf_file_name> //if no - from command line\n"
    "      [!]<oracle_field_1>=[!]<dbf_field_1>\n"
    "      [!]<oracle_field_2>=[!]<dbf_field_2>\n"
    "                  . . .\n"
    "      [!]<oracle_field_n>=[!]<dbf_field_n>\n"
    "    %END_SECTION // - end of 1-st section\n"
    "\t\t         ... // - next sections\n"
    "Simbol '!' meen that no charset convertion perform for this field.\n"
    "Instead of <dbf_field_n> allow %FILE_NAME or %RECNUM reserved words,\n"
    "        at that will be inserted file name or record number accordingly.\n";

const char kListError[] =
    "Incorrect section list.\n"
    "Form is: <section1>,<section2>,...,<sectionN>\n";

const char* const kPrograms[] = {"exdrift", "indrift"};

std::string usageOf(const std::string& program) {
  return program == "exdrift" ? kExportUsage : kImportUsage;
}

std::string settingsEcho(const std::string& config, int blockSize, const std::string& service,
                         const std::string& user) {
  return "Configuration file: " + config + "\n" +
         "        Block size: " + std::to_string(blockSize) + "\n" +
         "           Service: " + (service.empty() ? "<<Local Database>>" : service) + "\n" +
         "              User: " + user + "\n";
}

std::string notFound(const std::string& config) { return "File '" + config + "' not found.\n"; }

// Every run below ends after start-up: the configuration file is missing.
class FrontCli : public ::testing::Test {
 protected:
  RunResult run(const std::string& program, const Args& args, const std::string& input = "") {
    return runProgram(program, args, {.stdinText = input, .cwd = dir.path(), .env = {}});
  }
  e2e::TempDir dir;
};

TEST_F(FrontCli, TooFewArgumentsPrintTheUsage) {
  for (const char* program : kPrograms) {
    SCOPED_TRACE(program);
    for (const Args& args : {Args{}, Args{"-U:scott"}, Args{"-F:run.cfg"}}) {
      RunResult r = run(program, args);
      EXPECT_EQ(r.out, usageOf(program));
      EXPECT_EQ(r.exitCode, 1);
    }
  }
}

TEST_F(FrontCli, PrefixIsOptionalAndOnlyTheKeyIsUpperCased) {
  for (const char* program : kPrograms) {
    for (const std::string user : {"/u:Scott", "\\u:Scott", "-U:Scott", "U:Scott", " u:Scott"}) {
      SCOPED_TRACE(std::string(program) + " " + user);
      RunResult r = run(program, {user, "f:Run.cfg", "-P:pw"});
      EXPECT_EQ(r.out, settingsEcho("Run.cfg", 10000, "", "Scott") + notFound("Run.cfg"));
      EXPECT_EQ(r.exitCode, 1);
    }
  }
}

TEST_F(FrontCli, MalformedArgumentsPrintTheUsage) {
  const Args bad[] = {
      {"-c"},                 // compact is upper case only
      {"-"},                  // nothing after the prefix
      {""},                   // empty argument
      {"-CX"},                // not a key
      {"-X:name"},            // unknown key
      {"-S:"},                // empty value
      {"-U:"},
      {"-F:"},
      {"-R:"},
      {"-L:"},
      {"-N:"},
      {"-D:"},
      {"-N:0"},
      {"-N:x"},
      {"-N:-5"},
      {"-N:2147483648"},      // beyond 32 bits
      {"-N:99999999999999999999"},
      {"-S:" + std::string(126, 's')},  // 128 characters after the prefix
  };
  for (const char* program : kPrograms) {
    for (const Args& extra : bad) {
      SCOPED_TRACE(std::string(program) + " [" + extra[0] + "]");
      Args args{"-U:u", "-P:p", "-F:run.cfg"};
      args.insert(args.end(), extra.begin(), extra.end());
      RunResult r = run(program, args);
      EXPECT_EQ(r.out, usageOf(program));
      EXPECT_EQ(r.exitCode, 1);
    }
  }
}

TEST_F(FrontCli, LongestArgumentAndLargestBlockSizeAreAccepted) {
  const std::string service(125, 's');  // "S:" + 125 = 127 characters
  RunResult r = run("indrift", {"-U:u", "-P:p", "-F:run.cfg", "-S:" + service,
                                "-N:2147483647"});
  EXPECT_EQ(r.out, settingsEcho("run.cfg", 2147483647, service, "u") + notFound("run.cfg"));
  EXPECT_EQ(r.exitCode, 1);
}

TEST_F(FrontCli, OptionValuesAndTheSettingsEcho) {
  // -N: takes the leading digits; -T: with no value is ignored; a repeated
  // option overwrites the earlier one; the service shows when given.
  RunResult r = run("exdrift", {"-U:first", "-N:25rows", "-T:", "-S:orcl", "-U:Second",
                                "-P:p", "-F:a.cfg", "-W:X = 1", "-O:X"});
  EXPECT_EQ(r.out, settingsEcho("a.cfg", 25, "orcl", "Second") + notFound("a.cfg"));
  EXPECT_EQ(r.exitCode, 1);
}

TEST_F(FrontCli, ImportRefusesWhereAndOrderBy) {
  for (const std::string option : {"-W:X = 1", "-O:X"}) {
    RunResult r = run("indrift", {"-U:u", "-P:p", "-F:a.cfg", option});
    EXPECT_EQ(r.out, kImportUsage) << option;
    EXPECT_EQ(r.exitCode, 1);
  }
}

TEST_F(FrontCli, MissingUserOrConfigurationComesAfterAllOptions) {
  for (const char* program : kPrograms) {
    SCOPED_TRACE(program);
    // The list error of the last option is found before the missing -F:.
    RunResult list = run(program, {"-U:u", "-P:p", "-L:,A"});
    EXPECT_EQ(list.out, kListError);
    RunResult noConfig = run(program, {"-U:u", "-S:s", "-P:p", "-N:5"});
    EXPECT_EQ(noConfig.out, usageOf(program));
    EXPECT_EQ(noConfig.exitCode, 1);
    RunResult noUser = run(program, {"-F:a.cfg", "-P:p"});
    EXPECT_EQ(noUser.out, usageOf(program));
    EXPECT_EQ(noUser.exitCode, 1);
  }
}

TEST_F(FrontCli, SectionLists) {
  for (const char* program : kPrograms) {
    SCOPED_TRACE(program);
    const Args base{"-U:u", "-P:p", "-F:a.cfg"};
    auto with = [&](const Args& lists) {
      Args args = base;
      args.insert(args.end(), lists.begin(), lists.end());
      return run(program, args);
    };
    for (const std::string good : {"-L:A,B,", "-L:a", "-L:A B,c"}) {
      RunResult r = with({good});
      EXPECT_EQ(r.out, settingsEcho("a.cfg", 10000, "", "u") + notFound("a.cfg")) << good;
    }
    for (const std::string bad : {"-L:A,,B", "-L:,A", "-L:A,B,,"}) {
      RunResult r = with({bad, "-R:report.txt"});
      EXPECT_EQ(r.out, kListError) << bad;
      EXPECT_EQ(r.exitCode, 1);
    }
    // The list messages show in compact mode too and never reach the report.
    RunResult compact = with({"-R:report.txt", "-C", "-L:A,,B"});
    EXPECT_EQ(compact.out, kListError);
    EXPECT_FALSE(e2e::fileExists(dir.path("report.txt")));

    // 100 names over several options fit; the 101st does not.
    Args hundred;
    for (int i = 0; i < 10; ++i) {
      std::string list = "-L:";
      for (int j = 0; j < 10; ++j) list += "S" + std::to_string(i * 10 + j) + ",";
      hundred.push_back(list);
    }
    EXPECT_EQ(with(hundred).out, settingsEcho("a.cfg", 10000, "", "u") + notFound("a.cfg"));
    hundred.push_back("-L:ONE_MORE");
    RunResult tooMany = with(hundred);
    EXPECT_EQ(tooMany.out, "Too large section list, 100 is maximum number of sections.\n");
    EXPECT_EQ(tooMany.exitCode, 1);
  }
}

TEST_F(FrontCli, DbfPathFileThatCannotBeOpened) {
  for (const char* program : kPrograms) {
    SCOPED_TRACE(program);
    const std::string report = dir.path(std::string(program) + ".rep");
    RunResult r = run(program, {"-U:u", "-P:p", "-R:" + report, "-D:@paths.txt", "-F:a.cfg"});
    EXPECT_EQ(r.out, "Error opening file 'paths.txt'.\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(maskTimes(e2e::readFile(report)), "hh:mm:ss Error opening file 'paths.txt'.\n");

    // In compact mode the console shows the report record instead.
    RunResult compact = run(program, {"-C", "-U:u", "-D:@paths.txt", "-F:a.cfg"});
    EXPECT_EQ(maskTimes(compact.out), "hh:mm:ss Error opening file 'paths.txt'.\n");
    EXPECT_EQ(compact.exitCode, 1);
  }
}

TEST_F(FrontCli, DbfPathFileThatCanBeOpened) {
  e2e::writeFile(dir.path("paths.txt"), "data\\orders.dbf\r\nsecond line\n");
  RunResult r = run("exdrift", {"-U:u", "-P:p", "-D:@paths.txt", "-F:a.cfg"});
  EXPECT_EQ(r.out, settingsEcho("a.cfg", 10000, "", "u") + notFound("a.cfg"));
  EXPECT_EQ(r.exitCode, 1);
  // A first line longer than a path may be is refused, not cut.
  e2e::writeFile(dir.path("long.txt"), std::string(300, 'p') + "\n");
  RunResult longPath = run("exdrift", {"-U:u", "-P:p", "-D:@long.txt", "-F:a.cfg"});
  EXPECT_EQ(longPath.out, "Path in file 'long.txt' is longer than 254 characters.\n");
  EXPECT_EQ(longPath.exitCode, 1);
}

TEST_F(FrontCli, MissingConfigurationFileFailsTheRun) {
  for (const char* program : kPrograms) {
    SCOPED_TRACE(program);
    RunResult r = run(program, {"-U:u", "-P:p", "-F:nowhere.cfg", "-R:r.txt"});
    EXPECT_EQ(r.out, settingsEcho("nowhere.cfg", 10000, "", "u") + notFound("nowhere.cfg"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(maskTimes(e2e::readFile(dir.path("r.txt"))),
              "hh:mm:ss File 'nowhere.cfg' not found.\n");
    std::remove(dir.path("r.txt").c_str());
  }
}

TEST_F(FrontCli, CompactModeShowsOnlyReportRecords) {
  for (const char* program : kPrograms) {
    SCOPED_TRACE(program);
    // Without -R: the record is still echoed, and nothing is written to disk.
    RunResult r = run(program, {"-C", "-U:u", "-P:p", "-F:a.cfg"});
    EXPECT_EQ(maskTimes(r.out), "hh:mm:ss File 'a.cfg' not found.\n");
    EXPECT_EQ(r.exitCode, 1);
    RunResult cancelled = run(program, {"-U:u", "-C", "-P:'", "-F:a.cfg", "-R:c.rep"});
    EXPECT_EQ(maskTimes(cancelled.out), "hh:mm:ss Process canceled by user\n");
    EXPECT_EQ(maskTimes(e2e::readFile(dir.path("c.rep"))), "hh:mm:ss Process canceled by user\n");
    std::remove(dir.path("c.rep").c_str());
  }
}

TEST_F(FrontCli, ReportFileAppendsAcrossRuns) {
  const std::string report = dir.path("runs.rep");
  RunResult first = run("indrift", {"-U:u", "-P:p", "-F:one.cfg", "-R:" + report});
  RunResult second = run("exdrift", {"-U:u", "-P:'", "-F:two.cfg", "-R:" + report});
  EXPECT_EQ(first.exitCode, 1);
  EXPECT_EQ(second.out, settingsEcho("two.cfg", 10000, "", "u") + "Process aborted\n");
  EXPECT_EQ(second.exitCode, 1);
  const std::string text = e2e::readFile(report);
  EXPECT_EQ(maskTimes(text),
            "hh:mm:ss File 'one.cfg' not found.\n"
            "hh:mm:ss Process canceled by user\n");
  // The time stamp is the local wall clock, two digits each.
  ASSERT_GE(text.size(), 9u);
  const int hours = std::stoi(text.substr(0, 2));
  EXPECT_LT(hours, 24);
  EXPECT_EQ(text[2], ':');
  EXPECT_EQ(text[8], ' ');
}

TEST_F(FrontCli, ReportFileInMissingDirectory) {
  for (const char* program : kPrograms) {
    SCOPED_TRACE(program);
    const Args args{"-U:u", "-P:p", "-F:a.cfg", "-R:" + dir.path("no/such/dir/r.rep")};
    RunResult r = run(program, args);
    EXPECT_EQ(r.out, settingsEcho("a.cfg", 10000, "", "u") + notFound("a.cfg") +
                         "!!! Can't open report file\n");
    EXPECT_EQ(r.exitCode, 1);
    Args compact = args;
    compact.push_back("-C");
    RunResult c = run(program, compact);
    EXPECT_EQ(maskTimes(c.out), "hh:mm:ss File 'a.cfg' not found.\n!!! Can't open report file\n");
    EXPECT_FALSE(e2e::fileExists(dir.path("no")));
  }
}

TEST_F(FrontCli, PasswordFromStandardInputWithoutTerminal) {
  for (const char* program : kPrograms) {
    SCOPED_TRACE(program);
    RunResult r = run(program, {"-U:u", "-F:a.cfg"}, "secret\n");
    EXPECT_EQ(r.out, settingsEcho("a.cfg", 10000, "", "u") + notFound("a.cfg"));
    EXPECT_EQ(r.err, "          Password: \n");
    EXPECT_EQ(r.exitCode, 1);

    // -P: with no value means an empty password and no prompt.
    RunResult empty = run(program, {"-U:u", "-P:", "-F:a.cfg"}, "unused\n");
    EXPECT_EQ(empty.err, "");
    EXPECT_EQ(empty.out, settingsEcho("a.cfg", 10000, "", "u") + notFound("a.cfg"));

    // In compact mode the prompt still comes.
    RunResult compact = run(program, {"-C", "-U:u", "-F:a.cfg"}, "pw\n");
    EXPECT_EQ(compact.err, "          Password: \n");

    // A password longer than 255 characters is refused.
    RunResult tooLong = run(program, {"-U:u", "-F:a.cfg"}, std::string(256, 'p') + "\n");
    EXPECT_EQ(tooLong.out, settingsEcho("a.cfg", 10000, "", "u"));
    EXPECT_EQ(tooLong.err,
              "          Password: \nThe password is longer than 255 characters.\n");
    EXPECT_EQ(tooLong.exitCode, 1);
    RunResult longest = run(program, {"-U:u", "-F:a.cfg"}, std::string(255, 'p') + "\r\n");
    EXPECT_EQ(longest.out, settingsEcho("a.cfg", 10000, "", "u") + notFound("a.cfg"));
  }
}

TEST_F(FrontCli, ApostrophePasswordCancels) {
  for (const char* program : kPrograms) {
    SCOPED_TRACE(program);
    RunResult r = run(program, {"-U:u", "-P:'", "-F:a.cfg", "-R:cancel.rep"});
    EXPECT_EQ(r.out, settingsEcho("a.cfg", 10000, "", "u") + "Process aborted\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(maskTimes(e2e::readFile(dir.path("cancel.rep"))),
              "hh:mm:ss Process canceled by user\n");
    std::remove(dir.path("cancel.rep").c_str());
  }
}

// The keyboard at the password prompt, through a pseudo-terminal.
class FrontTerminal : public FrontCli {
 protected:
  RunResult type(const std::string& program, const std::string& keys) {
    return e2e::runOnTerminal(program, {"-U:u", "-F:a.cfg", "-R:tty.rep"}, "Password: ", keys,
                              {.stdinText = "", .cwd = dir.path(), .env = {}});
  }
};

TEST_F(FrontTerminal, EscCancelsTheRun) {
  for (const char* program : kPrograms) {
    SCOPED_TRACE(program);
    RunResult r = type(program, "ab\x1b");
    EXPECT_EQ(r.out, settingsEcho("a.cfg", 10000, "", "u") + "Process aborted\n");
    EXPECT_EQ(r.exitCode, 1);
    // The typed keys show as X; the prompt line ends with CR LF (the
    // terminal itself adds a CR before the LF).
    EXPECT_NE(r.tty.find("          Password: XX\r"), std::string::npos) << r.tty;
    EXPECT_EQ(r.tty.find("ab"), std::string::npos);
    EXPECT_EQ(maskTimes(e2e::readFile(dir.path("tty.rep"))),
              "hh:mm:ss Process canceled by user\n");
    std::remove(dir.path("tty.rep").c_str());
  }
}

// The prompt turns echo off while it reads keys; however the program ends,
// the terminal must be left as it was found.
bool echoRestored(const RunResult& r) {
  return r.ttyLocalModes >= 0 && (r.ttyLocalModes & ECHO) != 0 && (r.ttyLocalModes & ICANON) != 0;
}

TEST_F(FrontTerminal, TerminalModesAreRestoredOnEveryWayOut) {
  for (const char* program : kPrograms) {
    SCOPED_TRACE(program);
    RunResult enter = type(program, "pw\r");
    EXPECT_EQ(enter.exitCode, 1);  // the configuration file is missing
    EXPECT_TRUE(echoRestored(enter)) << enter.ttyLocalModes;
    RunResult esc = type(program, "pw\x1b");
    EXPECT_EQ(esc.out, settingsEcho("a.cfg", 10000, "", "u") + "Process aborted\n");
    EXPECT_TRUE(echoRestored(esc)) << esc.ttyLocalModes;
    // Ctrl-C ends the process by its signal, as it always does, but gives
    // the echo back first.
    RunResult interrupted = type(program, "pw\x03");
    EXPECT_EQ(interrupted.exitCode, 128 + SIGINT);
    EXPECT_EQ(interrupted.out, settingsEcho("a.cfg", 10000, "", "u"));
    EXPECT_TRUE(echoRestored(interrupted)) << interrupted.ttyLocalModes;
    std::remove(dir.path("tty.rep").c_str());
  }
}

TEST_F(FrontTerminal, BackspaceEditsAndEnterContinues) {
  // Backspace on the empty prompt writes nothing; both 8 and 127 erase;
  // control keys and bytes from 0x80 are ignored.
  RunResult r = type("indrift", "\b\x7f" "ab\b" "c\x01\xc3\xa9" "d\x7f\r");
  EXPECT_EQ(r.out, settingsEcho("a.cfg", 10000, "", "u") + notFound("a.cfg"));
  EXPECT_EQ(r.exitCode, 1);
  const std::size_t prompt = r.tty.find("          Password: ");
  ASSERT_NE(prompt, std::string::npos) << r.tty;
  const std::string echo = r.tty.substr(prompt + 20);
  EXPECT_EQ(echo.substr(0, 13), "XX\b \bXX\b \b\r\r\n") << echo;
}

TEST_F(FrontTerminal, KeysBeyondTheLimitAreIgnored) {
  RunResult r = type("exdrift", std::string(300, 'k') + "\r");
  const std::size_t prompt = r.tty.find("          Password: ");
  ASSERT_NE(prompt, std::string::npos);
  EXPECT_EQ(r.tty.substr(prompt + 20, 258), std::string(255, 'X') + "\r\r\n");
  EXPECT_EQ(r.exitCode, 1);
}

}  // namespace

// The configuration file read by the programs themselves.  A run connects
// (to an empty local database) and reads, checks and announces the sections
// below; it ends at the first one, whose table does not exist, or at the
// first fault of structure, before anything is transferred.
class FrontConfig : public FrontCli {
 protected:
  void SetUp() override { e2e::writeFile(dir.path("local.db"), ""); }
  static std::string announced(const std::string& section, const std::string& table,
                               const std::string& dbf) {
    return "\n     Section name: " + section + "\nOracle table name: " + table +
           "\n    DBF-file name: " + dbf + "\n";
  }
  static bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
  }
};

TEST_F(FrontConfig, DbfPathFileAndSectionListReachTheSections) {
  e2e::writeFile(dir.path("paths.txt"), "data\\orders.dbf\r\nsecond line\n");
  e2e::writeFile(dir.path("run.cfg"),
                 "%BEGIN_SECTION first\n%TABLE_NAME=T\nA=A\n%END_SECTION\n"
                 "%begin_section Second\n%TABLE_NAME=U\nA=A\n%END_SECTION\n"
                 "%TABLE_NAME=V\n%DBF_NAME=v.dbf\nA=A");  // no line feed at the end
  for (const char* program : kPrograms) {
    SCOPED_TRACE(program);
    // Each run announces the one section it selects (-L: names in lower case
    // select the upper-cased section names), then fails on its missing table
    // or dbf file.
    const std::pair<const char*, std::string> selected[] = {
        {"-L:first", announced("FIRST", "T", "data\\orders.dbf")},
        {"-L:second", announced("SECOND", "U", "data\\orders.dbf")},
        {"-L:default_section_2", announced("DEFAULT_SECTION_2", "V", "data\\orders.dbf\\v.dbf")}};
    for (const auto& [list, section] : selected) {
      RunResult r = run(program, {"-U:u", "-P:p", "-F:run.cfg", "-D:@paths.txt", list});
      EXPECT_EQ(r.exitCode, 2) << r.out;
      EXPECT_TRUE(contains(r.out, section)) << r.out;
      EXPECT_FALSE(contains(r.out, "\r"));
    }

    RunResult some = run(program, {"-U:u", "-P:p", "-F:run.cfg", "-D:x.dbf", "-L:second"});
    EXPECT_TRUE(contains(some.out, announced("SECOND", "U", "x.dbf"))) << some.out;
    EXPECT_FALSE(contains(some.out, "FIRST"));
    EXPECT_FALSE(contains(some.out, "DEFAULT_SECTION_2"));
  }
}

TEST_F(FrontConfig, StructureErrorEndsTheRunWithExitCodeOne) {
  e2e::writeFile(dir.path("bad.cfg"),
                 "%TABLE_NAME=T\n%TRUNCATE=YES\nA=B\n%END_SECTION\n%BEGIN_SECTION never\n");
  for (const char* program : kPrograms) {
    SCOPED_TRACE(program);
    const std::string report = std::string(program) + ".rep";
    RunResult r = run(program, {"-U:u", "-P:p", "-F:bad.cfg", "-D:x.dbf", "-R:" + report});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(contains(r.out, "\nUnknown option value in line 2.\n"
                                "\nIncorrect structure of configuration file\n"))
        << r.out;
    EXPECT_FALSE(contains(r.out, "NEVER"));
    EXPECT_TRUE(contains(maskTimes(e2e::readFile(dir.path(report))),
                         "hh:mm:ss Unknown option value in line 2.\n"
                         "hh:mm:ss Incorrect structure of configuration file.\n"));
  }
}

// A report file at the file-size limit: every record fails to be written
// (the programs ignore SIGXFSZ), which is said once, and the run's own
// result is unchanged.
TEST_F(FrontConfig, ReportFileAtTheSizeLimitIsSaidOnce) {
  e2e::writeFile(dir.path("bad.cfg"), "%TABLE_NAME=T\n%TRUNCATE=YES\n");
  for (const char* program : kPrograms) {
    SCOPED_TRACE(program);
    const std::string full(1024, 'r');
    e2e::writeFile(dir.path("full.rep"), full);
    RunResult r = runProgram("/bin/bash",
                             {"-c", "ulimit -f 1; exec \"$0\" \"$@\"", e2e::programPath(program),
                              "-U:u", "-P:p", "-F:bad.cfg", "-D:x.dbf", "-R:full.rep"},
                             {.stdinText = "", .cwd = dir.path(), .env = {}});
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_TRUE(contains(r.out, "\nConnecting... !!! Can't write report file\nDone\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "\nUnknown option value in line 2.\n"
                                "\nIncorrect structure of configuration file\n"))
        << r.out;
    EXPECT_EQ(r.out.find("!!!"), r.out.rfind("!!!")) << r.out;
    EXPECT_EQ(e2e::readFile(dir.path("full.rep")), full);
  }
}

TEST_F(FrontConfig, CommandLineTableClashesWithTheFile) {
  e2e::writeFile(dir.path("run.cfg"), "%BEGIN_SECTION s\n%TABLE_NAME=T\n");
  for (const char* program : kPrograms) {
    SCOPED_TRACE(program);
    RunResult r = run(program, {"-U:u", "-P:p", "-F:run.cfg", "-D:x.dbf", "-T:OTHER"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(contains(r.out, "\nRedefinition table name in line 2.\n")) << r.out;
  }
}
