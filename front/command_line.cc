#include "front/command_line.h"

#include <cstdint>
#include <string>

#include "front/console.h"
#include "front/password.h"
#include "front/run_settings.h"
#include "front/text_file.h"

namespace {

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

bool usageError() {
  printUsage();
  return false;
}

// -N: value: leading blanks, an optional sign, then the leading digits;
// whatever follows is ignored ("25rows" is 25).  No digits gives 0.
// False when the number does not fit in 32 bits.
bool parseBlockSize(const std::string& value, std::int32_t& result) {
  std::size_t i = 0;
  while (i < value.size() && value[i] == ' ') ++i;
  bool negative = false;
  if (i < value.size() && (value[i] == '+' || value[i] == '-')) negative = value[i++] == '-';
  std::int64_t number = 0;
  for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
    number = number * 10 + (value[i] - '0');
    if (number > INT32_MAX + std::int64_t{1}) return false;
  }
  if (negative) number = -number;
  if (number > INT32_MAX || number < INT32_MIN) return false;
  result = static_cast<std::int32_t>(number);
  return true;
}

// -L: names separated by commas; a trailing comma ends the list.
bool addSectionNames(const std::string& value) {
  std::size_t pos = 0;
  while (pos < value.size()) {
    std::size_t comma = value.find(',', pos);
    if (comma == std::string::npos) comma = value.size();
    if (comma == pos) {
      messageAlways("Incorrect section list.\n");
      messageAlways("Form is: <section1>,<section2>,...,<sectionN>\n");
      return false;
    }
    if (runSettings.sectionFilter.size() >= kMaxSectionFilter) {
      messageAlways(formatText("Too large section list, %i is maximum number of sections.\n",
                               static_cast<int>(kMaxSectionFilter)));
      return false;
    }
    runSettings.sectionFilter.push_back(upperAscii(value.substr(pos, comma - pos)));
    pos = comma + 1;
  }
  return true;
}

// -D:@file: the first line of the file names the dbf path.
bool readDbfPathFile(const std::string& name) {
  std::FILE* file = openTextForReading(name);
  if (!file) {
    std::string message = formatText("Error opening file '%s'.\n", name.c_str());
    messageConsole(message);
    reportLine(message);
    return false;
  }
  std::string path;
  bool tooLong = false;
  for (int c; (c = std::fgetc(file)) != EOF && c != '\n';) {
    if (path.size() > kMaxDbfPathLength) {
      tooLong = true;
      break;
    }
    path += static_cast<char>(c);
  }
  std::fclose(file);
  if (!path.empty() && path.back() == '\r') path.pop_back();
  if (tooLong || path.size() > kMaxDbfPathLength) {
    std::string message = formatText("Path in file '%s' is longer than %i characters.\n",
                                     name.c_str(), static_cast<int>(kMaxDbfPathLength));
    messageConsole(message);
    reportLine(message);
    return false;
  }
  runSettings.dbfPath = path;
  return true;
}

// One option; false after its message (the usage or a list error).
bool takeArgument(std::string argument) {
  if (!argument.empty() &&
      (argument[0] == '-' || argument[0] == '/' || argument[0] == '\\' || argument[0] == ' '))
    argument.erase(0, 1);
  if (argument.size() > kMaxArgumentLength) return usageError();
  if (argument.size() < 2) {
    if (argument != "C") return usageError();
    runSettings.compact = true;
    return true;
  }
  const std::string key = upperAscii(argument.substr(0, 2));
  const std::string value = argument.substr(2);
  const bool exportOnly = key == "W:" || key == "O:";
  static const char* const kKeys[] = {"R:", "S:", "U:", "P:", "T:", "F:", "W:", "O:",
                                      "D:", "N:", "L:"};
  bool known = false;
  for (const char* k : kKeys) known = known || key == k;
  if (!known || (exportOnly && !isExport())) return usageError();

  if (value.empty()) {
    if (key == "P:") {
      runSettings.password.clear();
      runSettings.passwordGiven = true;
      return true;
    }
    if (key == "T:") return true;
    return usageError();
  }

  if (key == "R:") runSettings.reportFile = value;
  else if (key == "S:") runSettings.service = value;
  else if (key == "U:") runSettings.user = value;
  else if (key == "P:") {
    runSettings.password = value;
    runSettings.passwordGiven = true;
  } else if (key == "T:") runSettings.tableName = value;
  else if (key == "F:") runSettings.configFile = value;
  else if (key == "W:") runSettings.whereClause = value;
  else if (key == "O:") runSettings.orderByClause = value;
  else if (key == "D:") {
    if (value[0] == '@') return readDbfPathFile(value.substr(1));
    runSettings.dbfPath = value;
  } else if (key == "N:") {
    std::int32_t size = 0;
    if (!parseBlockSize(value, size) || size < 1) return usageError();
    runSettings.blockSize = size;
  } else if (key == "L:") {
    return addSectionNames(value);
  }
  return true;
}

void printSettings() {
  messageConsole(formatText("Configuration file: %s\n", runSettings.configFile.c_str()));
  messageConsole(formatText("        Block size: %i\n", runSettings.blockSize));
  messageConsole(formatText("           Service: %s\n", runSettings.service.empty()
                                                            ? "<<Local Database>>"
                                                            : runSettings.service.c_str()));
  messageConsole(formatText("              User: %s\n", runSettings.user.c_str()));
}

}  // namespace

void printUsage() {
  messageAlways(isExport() ? kExportUsage : kImportUsage);
}

bool parseCommandLine(int argc, char** argv) {
  if (argc <= 2) return usageError();
  for (int i = 1; i < argc; ++i)
    if (!takeArgument(argv[i])) return false;
  if (runSettings.user.empty() || runSettings.configFile.empty()) return usageError();
  printSettings();
  return runSettings.passwordGiven || readPassword(runSettings.password);
}
