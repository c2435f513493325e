// dbftool's command table.  Each command lives in its own source file and adds itself
// with one line at namespace scope:
//
//   DBFTOOL_COMMAND("info", "info [--json] [--encoding E] FILE", runInfo);
//
// run receives the arguments after the command name and returns the exit status.
#pragma once

#include <vector>

namespace dbftool {

struct Command {
  const char* name;
  const char* usage;  // one line, without the program name
  int (*run)(int argc, char** argv);
};

// Adds a command to the table; returns true so that it can initialise a static.
bool registerCommand(const Command& command);
// The table, in order of registration.
const std::vector<Command>& commandTable();

}  // namespace dbftool

#define DBFTOOL_CONCAT_(a, b) a##b
#define DBFTOOL_CONCAT(a, b) DBFTOOL_CONCAT_(a, b)
#define DBFTOOL_COMMAND(name, usage, run)                                        \
  [[maybe_unused]] static const bool DBFTOOL_CONCAT(dbftoolCommand_, __LINE__) = \
      ::dbftool::registerCommand({name, usage, run})
