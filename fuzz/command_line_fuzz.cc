// The command line of both programs.  Input: the first byte picks the program,
// the rest are arguments separated by NUL bytes.  A -P: argument goes first so
// that no password prompt waits for the console, and -R: arguments are left
// out so that no report file is written at a name the fuzzer made up.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "front/command_line.h"
#include "front/console.h"
#include "front/run_settings.h"
#include "fuzz/fuzz_support.h"

namespace {

bool namesReportFile(const std::string& arg) {
  size_t key = !arg.empty() && (arg[0] == '-' || arg[0] == '/' || arg[0] == '\\' || arg[0] == ' ');
  return arg.size() >= key + 2 && (arg[key] == 'R' || arg[key] == 'r') && arg[key + 1] == ':';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static FILE* sink = [] {
    fuzz::scratchDir();
    return std::fopen("/dev/null", "w");
  }();
  if (size == 0) return 0;
  setConsoleStream(sink);
  runSettings = RunSettings{};
  runSettings.program = (data[0] & 1) ? ProgramKind::Import : ProgramKind::Export;

  std::vector<std::string> args = {"drift", "-P:x"};
  fuzz::Parts parts(data + 1, size - 1, std::string_view("\0", 1));
  while (!parts.done() && args.size() < 40) {
    std::string arg(parts.next());
    if (!namesReportFile(arg)) args.push_back(arg);
  }
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  bool ok = parseCommandLine(static_cast<int>(args.size()), argv.data());
  // An accepted command line names a user and a configuration file.
  if (ok && (runSettings.blockSize < 1 || runSettings.user.empty() || runSettings.configFile.empty()))
    __builtin_trap();
  return 0;
}
