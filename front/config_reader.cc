#include "front/config_reader.h"

#include <algorithm>
#include <cstdlib>

#include "front/code_page.h"
#include "front/console.h"
#include "front/run_settings.h"
#include "front/text_file.h"

namespace {

// Reader state of the open file.
int lineNumber = 0;
std::vector<std::string> namesSeen;  // every section name so far, also defaults

// The import's reader knows no quotes: its separators apply everywhere.
bool readerHandlesQuotes() { return isExport(); }

bool isSeparator(char c) {
  switch (c) {
    case '\t': case ',': case '|': case '=': case ':': case ';': case '<': case '>': case '-':
      return true;
    default:
      return false;
  }
}

bool structureError(const std::string& message) {
  messageError(message);
  return false;
}

// Text between the first double quote of `rest` and the next one.
bool quotedText(const std::string& rest, std::string& text) {
  std::size_t open = rest.find('"');
  if (open == std::string::npos)
    return structureError(formatText("Not found opening quote in line %i.\n", lineNumber));
  std::size_t close = rest.find('"', open + 1);
  if (close == std::string::npos)
    return structureError(formatText("Not found closing quote in line %i.\n", lineNumber));
  text = rest.substr(open + 1, close - open - 1);
  return true;
}

// The end of a section (at %END_SECTION or at the end of the file).
bool finishSection(const SectionState& sectionState) {
  messageConsole("\n");
  const SectionState& s = sectionState;
  if (s.sectionName.empty()) return true;
  if (s.tableName.empty()) return structureError("Not defined table name!\n");
  if (s.dbfPath.empty()) return structureError("Not defined DBF-file name!\n");
  // A section that moves nothing is a mistake in the file (field lines that
  // did not parse, a file whose lines end in carriage returns only), never a
  // section to skip while the run reports success.
  if (s.fields.empty())
    return structureError(formatText("Not defined fields of section '%s' in line %i.\n",
                                     s.sectionName.c_str(), lineNumber));
  if (!isSectionSelected(s.sectionName)) return true;
  messageConsole(formatText("     Section name: %s\n", s.sectionName.c_str()));
  messageConsole(formatText("Oracle table name: %s\n", s.tableName.c_str()));
  messageConsole(formatText("    DBF-file name: %s\n", s.dbfPath.c_str()));
  if (s.fieldCount() > 0)
    messageConsole(formatText("Found %d Fields to transfering\n", s.fieldCount()));
  return true;
}

bool openSection(SectionState& sectionState, const std::string& name) {
  if (namesSeen.size() >= kMaxSections)
    return structureError(formatText("Too many sections in line %i.\n", lineNumber));
  if (std::find(namesSeen.begin(), namesSeen.end(), name) != namesSeen.end())
    return structureError(formatText("Redefinition used section name '%s' in line %i.\n",
                                     name.c_str(), lineNumber));
  namesSeen.push_back(name);
  sectionState.sectionName = name;
  return true;
}

bool addField(SectionState& sectionState, const std::string& first,
              const std::string& second) {
  if (sectionState.fields.size() >= kMaxFields)
    return structureError(formatText("Too many fields in line %i.\n", lineNumber));
  FieldMapping field;
  field.oracleName = first;
  field.dbfName = upperAscii(second);
  if (!field.dbfName.empty() && field.dbfName[0] == '!') {
    field.dbfName.erase(0, 1);
    field.charsetId = 0;
  }
  if (!field.oracleName.empty() && field.oracleName[0] == '!') {
    field.oracleName.erase(0, 1);
    field.charsetId = 0;
  }
  sectionState.fields.push_back(field);
  return true;
}

// One line other than %END_SECTION; false on a structure error.
bool takeLine(SectionState& sectionState, const std::string& first, std::string line) {
  const std::string keyword = upperAscii(first);
  const bool exportReader = isExport();

  if (keyword == "%BEGIN_SECTION") {
    if (!sectionState.sectionName.empty())
      return structureError(formatText("Redefinition section name in line %i.\n", lineNumber));
    std::string name;
    if (!nextToken(name, line) || name.rfind("//", 0) == 0)
      return structureError(formatText("Not found section name in line %i.\n", lineNumber));
    return openSection(sectionState, upperAscii(name));
  }
  if (exportReader && keyword == "%WHERE") return quotedText(line, sectionState.whereClause);
  if (exportReader && keyword == "%ORDER_BY") return quotedText(line, sectionState.orderByClause);

  std::string second;
  if (!nextToken(second, line))
    return structureError(formatText("Not found second field in file '%s' line: %i\n",
                                     runSettings.configFile.c_str(), lineNumber));
  if (sectionState.sectionName.empty() &&
      !openSection(sectionState,
                   formatText("DEFAULT_SECTION_%i", static_cast<int>(namesSeen.size()))))
    return false;

  if (keyword == "%TABLE_NAME") {
    if (!sectionState.tableName.empty())
      return structureError(formatText("Redefinition table name in line %i.\n", lineNumber));
    sectionState.tableName = second;
    return true;
  }
  if (keyword == "%TRUNCATE") {
    const std::string value = upperAscii(second);
    if (value == "ON") sectionState.truncate = true;
    else if (value == "OFF") sectionState.truncate = false;
    else return structureError(formatText("Unknown option value in line %i.\n", lineNumber));
    return true;
  }
  if (keyword == "%CODEPAGE") {
    const std::string value = upperAscii(second);
    int codePage = 0;
    if (value != "FILE") {
      if (value.size() > 4 || value.find_first_not_of("0123456789") != std::string::npos)
        codePage = -1;
      else
        codePage = std::atoi(value.c_str());
      if (oracleCharsetOfCodePage(codePage) == 0)
        return structureError(formatText("Unknown code page in line %i.\n", lineNumber));
    }
    sectionState.codePage = codePage;
    return true;
  }
  if (keyword == "%DBF_NAME") {
    std::string& path = sectionState.dbfPath;
    if (!path.empty() && path.back() != '\\') path += '\\';
    path += second;
    return true;
  }
  if (!exportReader && keyword == "%WHERE") {
    messageError(formatText("WHERW clause ignored in line %i.\n", lineNumber));
    return true;
  }
  if (!exportReader && keyword == "%ORDER_BY") {
    messageError(formatText("ORDER BY clause ignored in line %i.\n", lineNumber));
    return true;
  }
  return addField(sectionState, first, second);
}

}  // namespace

bool readConfigLine(std::FILE* file, std::string& line, bool& tooLong) {
  line.clear();
  tooLong = false;
  std::size_t length = 0;  // characters of the line, the dropped ones aside
  bool inQuotes = false;
  bool readSomething = false;
  for (int c; (c = std::fgetc(file)) != EOF;) {
    readSomething = true;
    if (c == '\n') {
      if (!tooLong) line += ' ';
      return true;
    }
    if (c == '\r') continue;
    if (++length > kMaxConfigLine) {
      tooLong = true;
      continue;
    }
    char ch = static_cast<char>(c);
    if (c == '"' && readerHandlesQuotes()) inQuotes = !inQuotes;
    else if (c < 0x20 || c >= 0x80) ch = ' ';
    else if (!inQuotes && isSeparator(ch)) ch = ' ';
    line += ch;
  }
  return readSomething;
}

bool nextToken(std::string& token, std::string& line) {
  std::size_t start = line.find_first_not_of(' ');
  if (start == std::string::npos) {
    token.clear();
    return false;
  }
  std::size_t end = line.find(' ', start);
  if (end == std::string::npos) {
    token = line.substr(start);
    line.clear();
  } else {
    token = line.substr(start, end - start);
    line.erase(0, end + 1);
  }
  return true;
}

std::FILE* openConfig(SectionState& section) {
  lineNumber = 0;
  namesSeen.clear();
  section = SectionState{};
  section.whereClause = runSettings.whereClause;
  section.orderByClause = runSettings.orderByClause;
  resetSection(section);
  std::FILE* file = openTextForReading(runSettings.configFile);
  if (!file) {
    messagePlain(formatText("File '%s' not found.\n", runSettings.configFile.c_str()));
  }
  return file;
}

bool configAtEnd(std::FILE* file) { return std::feof(file) != 0; }

void closeConfig(std::FILE* file) {
  if (file) std::fclose(file);
}

int configLineNumber() { return lineNumber; }

void resetSection(SectionState& section) {
  section.sectionName.clear();
  section.tableName = runSettings.tableName;
  section.dbfPath = runSettings.dbfPath;
  section.fields.clear();
}

bool readSection(std::FILE* file, SectionState& section) {
  std::string line;
  bool tooLong = false;
  while (readConfigLine(file, line, tooLong)) {
    ++lineNumber;
    if (tooLong)
      return structureError(formatText("Line %i is longer than %i characters.\n", lineNumber,
                                       static_cast<int>(kMaxConfigLine)));
    std::string first;
    if (!nextToken(first, line) || first.rfind("//", 0) == 0) continue;  // blank, comment
    if (upperAscii(first) == "%END_SECTION") {
      if (section.sectionName.empty())
        return structureError(formatText("Section not defined in line %i.\n", lineNumber));
      return finishSection(section);  // the rest of the line is ignored
    }
    if (!takeLine(section, first, line)) return false;
  }
  // A read error must not pass for the end of the file.
  if (std::ferror(file))
    return structureError(formatText("Error reading file '%s' after line %i.\n",
                                     runSettings.configFile.c_str(), lineNumber));
  return finishSection(section);
}
