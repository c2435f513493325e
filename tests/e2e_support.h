// Support for end-to-end tests: run a built program and look at what it
// did.
//
//   e2e::TempDir dir;                                   // removed at the end
//   e2e::writeFile(dir.path("run.cfg"), "%TABLE_NAME=T\n...");
//   e2e::RunResult r = e2e::runProgram("indrift",
//       {"-U:scott", "-P:tiger", "-F:run.cfg"}, {.cwd = dir.path()});
//   EXPECT_EQ(r.exitCode, 0);
//   EXPECT_EQ(e2e::maskTimes(r.out), "...");
//
// Programs are found in the build directory (DRIFT_BUILD_DIR).  A program
// run by runProgram has no controlling terminal (it runs in a new session),
// so nothing it writes to the console device reaches the test, and the
// password prompt, if any, reads standard input.  runOnTerminal runs it on
// a pseudo-terminal instead, to drive the keyboard.
#ifndef DRIFT_TESTS_E2E_SUPPORT_H
#define DRIFT_TESTS_E2E_SUPPORT_H

#include <string>
#include <vector>

#include "tests/scratch_dir.h"

namespace e2e {

struct RunOptions {
  std::string stdinText;          // fed to standard input, which then closes
  std::string cwd;                // working directory; empty: the test's own
  std::vector<std::string> env;   // extra "NAME=value" entries
};

struct RunResult {
  std::string out;     // standard output
  std::string err;     // standard error
  std::string tty;     // what reached the terminal (runOnTerminal only)
  int exitCode = -1;   // exit status; 128 + signal when killed by one
  // runOnTerminal only: the terminal's local modes (termios c_lflag, e.g.
  // ECHO and ICANON) as the program left them; -1 when unknown.
  long ttyLocalModes = -1;
};

// Absolute path of a built program ("exdrift", "indrift", "dbftool").
std::string programPath(const std::string& name);

// Runs a program (name in the build directory, or a path containing '/')
// with the arguments, without a shell.  Gives up and kills it after 60 s.
RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                     const RunOptions& options = {});

// Runs a shell command line in `cwd` with the built programs first on the PATH, as a
// user who installed them would; HOME is `home` when given.
RunResult runShell(const std::string& commands, const std::string& cwd,
                   const std::string& home = "");

// Runs a program with a pseudo-terminal as its controlling terminal and
// standard input; standard output and standard error stay separate pipes.
// Waits until `waitFor` has appeared on the terminal (e.g. "Password: "),
// then types `keys`; the terminal output is collected until the program
// ends.  options.stdinText is ignored.
RunResult runOnTerminal(const std::string& program, const std::vector<std::string>& args,
                        const std::string& waitFor, const std::string& keys,
                        const RunOptions& options = {});

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class TempDir : public ScratchDir {
 public:
  TempDir() : ScratchDir("drift-e2e") {}
};

void writeFile(const std::string& path, const std::string& content);
std::string readFile(const std::string& path);  // empty when missing
bool fileExists(const std::string& path);

// Replaces every HH:MM:SS time stamp by "hh:mm:ss" and every MM/DD/YY date
// by "mm/dd/yy", so output can be compared byte for byte.
std::string maskTimes(const std::string& text);

}  // namespace e2e

#endif
