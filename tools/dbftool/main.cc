// dbftool: inspect, dump and create dbf files with the engine.  The commands are in
// the command table (command.h); main only picks one.
#include <cstdio>
#include <cstring>

#include "tools/dbftool/command.h"

namespace dbftool {

std::vector<Command>& mutableTable() {
  static std::vector<Command> table;
  return table;
}

bool registerCommand(const Command& command) {
  mutableTable().push_back(command);
  return true;
}

const std::vector<Command>& commandTable() { return mutableTable(); }

}  // namespace dbftool

namespace {

void usage(FILE* out) {
  std::fprintf(out, "dbftool %s: dbf files for exdrift and indrift\nusage:\n", DRIFT_VERSION);
  for (const dbftool::Command& c : dbftool::commandTable())
    std::fprintf(out, "  dbftool %s\n", c.usage);
  std::fprintf(out, "  dbftool help\n  dbftool --version\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    usage(stderr);
    return 1;
  }
  if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "help") == 0) {
    usage(stdout);
    return 0;
  }
  if (std::strcmp(argv[1], "--version") == 0) return std::printf("dbftool %s\n", DRIFT_VERSION) < 0;
  for (const dbftool::Command& c : dbftool::commandTable())
    if (std::strcmp(argv[1], c.name) == 0) return c.run(argc - 2, argv + 2);
  std::fprintf(stderr, "dbftool: unknown command '%s'\n", argv[1]);
  usage(stderr);
  return 1;
}
