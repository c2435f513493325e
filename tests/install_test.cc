// The installed tree and the Debian package: the files they hold, the version the
// programs report, the man pages (free of formatter warnings, and naming every
// option and command the programs know), and a package installed into a scratch root
// that runs the three commands of the README from its PATH.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e_support.h"

namespace {

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// The version that CMakeLists.txt gives the project.
std::string projectVersion() {
  std::string text = e2e::readFile(DRIFT_SOURCE_DIR "/CMakeLists.txt");
  std::smatch m;
  return std::regex_search(text, m, std::regex(R"(project\(drift VERSION ([0-9.]+))")) ? m[1].str()
                                                                                       : "";
}

class InstallTest : public ::testing::Test {
 protected:
  e2e::RunResult run(const std::string& program, const std::vector<std::string>& args,
                     std::vector<std::string> env = {}) {
    e2e::RunOptions options;
    options.cwd = dir.path();
    options.env = std::move(env);
    return e2e::runProgram(program, args, options);
  }
  // The files under `root`, relative to it, sorted.
  std::string filesUnder(const std::string& root) {
    e2e::RunResult r = run("/bin/sh", {"-c", "cd '" + root + "' && find . -type f | sort"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return r.out;
  }
  // A man page as man renders it, wide enough that no line wraps.
  e2e::RunResult manPage(const std::string& page) {
    return run("/usr/bin/man", {"--warnings", "-E", "UTF-8", "-l", page},
               {"MANWIDTH=400", "LC_ALL=C.UTF-8", "MAN_KEEP_FORMATTING=", "MANPAGER=cat",
                "PAGER=cat"});
  }

  e2e::TempDir dir;
};

const char kInstalledFiles[] =
    "./bin/dbftool\n./bin/exdrift\n./bin/indrift\n./include/ocilite/oci.h\n./lib/libocilite.so\n"
    "./share/man/man1/dbftool.1\n./share/man/man1/exdrift.1\n./share/man/man1/indrift.1\n"
    "./share/man/man5/drift.cfg.5\n";

TEST_F(InstallTest, InstalledTreeHoldsProgramsLibraryHeaderAndManPagesThatMatchThePrograms) {
  const std::string root = dir.path("root");
  e2e::RunResult r = run(DRIFT_CMAKE, {"--install", DRIFT_BUILD_DIR, "--prefix", root});
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_EQ(filesUnder(root), kInstalledFiles);

  const std::string version = projectVersion();
  ASSERT_FALSE(version.empty());
  r = run(root + "/bin/dbftool", {"--version"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "dbftool " + version + "\n");
  e2e::RunResult help = run(root + "/bin/dbftool", {"help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_EQ(lines(help.out).at(0), "dbftool " + version + ": dbf files for exdrift and indrift");

  // Every page formats without a warning and carries the version.
  for (const char* page : {"man1/exdrift.1", "man1/indrift.1", "man1/dbftool.1", "man5/drift.cfg.5"}) {
    r = manPage(root + "/share/man/" + page);
    EXPECT_EQ(r.exitCode, 0) << page;
    EXPECT_EQ(r.err, "") << page;
    EXPECT_NE(r.out.find("drift " + version), std::string::npos) << page;
  }
  // dbftool's page shows every command line that help lists.
  std::string page = manPage(root + "/share/man/man1/dbftool.1").out;
  int commands = 0;
  for (const std::string& line : lines(help.out)) {
    if (line.rfind("  dbftool ", 0) != 0) continue;
    ++commands;
    EXPECT_NE(page.find(line.substr(2) + "\n"), std::string::npos) << line;
  }
  EXPECT_GE(commands, 15);
  // The programs' pages name every option of their usage texts.
  for (const char* program : {"exdrift", "indrift"}) {
    std::string usage = run(root + "/bin/" + program, {}).out;
    std::string text = manPage(root + "/share/man/man1/" + program + ".1").out;
    std::regex option(R"(^\s+(?:or )?(-[A-Z](?::@?)?))");
    int options = 0;
    for (const std::string& line : lines(usage)) {
      std::smatch m;
      if (!std::regex_search(line, m, option)) continue;
      ++options;
      EXPECT_NE(text.find("\n       " + m[1].str()), std::string::npos) << program << " " << m[1];
    }
    EXPECT_GE(options, 10) << program;
  }
}

TEST_F(InstallTest, PackageDeclaresSqliteInstallsAndRunsTheThreeCommandsFromItsPath) {
  const std::string out = dir.path("pkg");
  e2e::RunResult r = run("/bin/sh", {"-c", "cd '" DRIFT_BUILD_DIR "' && '" DRIFT_CPACK "' -G DEB -B '" +
                                               out + "' >/dev/null && ls '" + out + "'/*.deb"});
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  const std::string deb = lines(r.out).at(0);
  EXPECT_NE(deb.find("drift_" + projectVersion() + "_"), std::string::npos) << deb;

  r = run("/usr/bin/dpkg-deb", {"-f", deb, "Package", "Version", "Depends"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(std::regex_search(r.out, std::regex("Depends: .*libsqlite3-0"))) << r.out;
  EXPECT_TRUE(std::regex_search(r.out, std::regex("Depends: (.*, )?sqlite3(,|\n)"))) << r.out;
  EXPECT_NE(r.out.find("Version: " + projectVersion() + "\n"), std::string::npos) << r.out;

  // dpkg installs it into a scratch root with a database of its own (where the
  // libraries it depends on are not registered, hence --force-depends).
  const std::string root = dir.path("root");
  r = run("/bin/sh", {"-c", "mkdir -p '" + root + "/var/lib/dpkg/info' '" + root +
                                "/var/lib/dpkg/updates' && touch '" + root + "/var/lib/dpkg/status'"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  r = run("/usr/bin/dpkg", {"--root=" + root, "--force-depends", "--force-not-root",
                            "--force-script-chrootless", "-i", deb});
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  r = run("/usr/bin/dpkg", {"--root=" + root, "-s", "drift"});
  EXPECT_NE(r.out.find("Status: install ok installed\n"), std::string::npos) << r.out << r.err;
  EXPECT_EQ(filesUnder(root + "/usr"), kInstalledFiles);

  // man finds the page on the package's man path; the programs run from its PATH.
  r = run("/usr/bin/man", {"-w", "indrift"}, {"MANPATH=" + root + "/usr/share/man"});
  EXPECT_EQ(r.out, root + "/usr/share/man/man1/indrift.1\n") << r.err;
  ASSERT_EQ(run(DRIFT_BUILD_DIR "/dbftool", {"create", "items.dbf", "NAME:C:5", "QTY:N:4"}).exitCode, 0);
  ASSERT_EQ(run(DRIFT_BUILD_DIR "/dbftool", {"append", "items.dbf", "NAME=Ёжик", "QTY=12"}).exitCode, 0);
  r = run("/bin/sh",
          {"-c", "dbftool ddl *.dbf | sqlite3 shop.db && dbftool config *.dbf > load.cfg && "
                 "indrift -S:shop.db -U:me -P: -F:load.cfg -D:. -C >/dev/null && "
                 "sqlite3 shop.db 'SELECT NAME, QTY FROM ITEMS'"},
          {"PATH=" + root + "/usr/bin:/usr/bin:/bin"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "Ёжик|12\n");
}

}  // namespace
