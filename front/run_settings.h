// Run settings: the process-wide values taken from the command line.
//
// Filled once by parseCommandLine (command_line.h) before anything is
// connected; afterwards only reportWriteFailed (the report writer sets it)
// changes.  Both
// programs share these sources; `program` says which one is running and is
// set by main before the command line is parsed.
#ifndef DRIFT_FRONT_RUN_SETTINGS_H
#define DRIFT_FRONT_RUN_SETTINGS_H

#include <cstdint>
#include <string>
#include <vector>

#include "text/ascii.h"

enum class ProgramKind { Export, Import };

// Limits of the command line.  Longer input is refused, never cut.
constexpr std::size_t kMaxArgumentLength = 127;   // after the prefix character
constexpr std::size_t kMaxPasswordLength = 255;
constexpr std::size_t kMaxSectionFilter = 100;    // names in -L: lists
constexpr std::size_t kMaxDbfPathLength = 254;    // first line of a -D:@ file
constexpr std::int32_t kDefaultBlockSize = 10000;

// The password text that marks a cancelled prompt (Esc, or -P:').
constexpr const char* kCancelMarker = "'";

struct RunSettings {
  ProgramKind program = ProgramKind::Export;
  std::string reportFile;      // -R:  empty: no report
  std::string service;         // -S:  empty: the local database
  std::string user;            // -U:  required
  std::string password;        // -P:  or the console prompt
  bool passwordGiven = false;  // -P: was on the command line (even empty)
  std::string configFile;      // -F:  required
  std::string tableName;       // -T:  table for every section
  std::string dbfPath;         // -D:  the command-line destination (after -D:@)
  std::string whereClause;     // -W:  export only; each section starts from it
  std::string orderByClause;   // -O:  export only; each section starts from it
  std::int32_t blockSize = kDefaultBlockSize;  // -N:  rows per block, >= 1
  bool compact = false;        // -C
  std::vector<std::string> sectionFilter;  // -L:  upper-cased; empty: all
  bool reportWriteFailed = false;  // a report record could not be written (said once)
};

extern RunSettings runSettings;

inline bool isExport() { return runSettings.program == ProgramKind::Export; }

// True when the -L: list is empty or holds `name` exactly (both sides are
// upper case by the time this is asked).
bool isSectionSelected(const std::string& name);

// Upper-cases a to z only; every other byte is kept.
using text::upperAscii;

#endif
