// The configuration file reader.
//
// A configuration file is a text of sections:
//
//   %BEGIN_SECTION <name>          // optional; else DEFAULT_SECTION_<n>
//   %TABLE_NAME=<oracle table>
//   %TRUNCATE=ON|OFF               // carries over to later sections
//   %CODEPAGE=<n>|FILE             // code page of the dbf text; carries over
//   %DBF_NAME=<dbf file>           // appended to a -D: directory
//   %WHERE="<condition>"           // export only; carries over
//   %ORDER_BY="<ordering>"         // export only; carries over
//   [!]<oracle column>=[!]<dbf field>   // '!': no character-set conversion
//   %END_SECTION
//
// Tab, comma, '|', '=', ':', ';', '<', '>' and '-' separate like blanks
// (outside double quotes, in the export; everywhere, in the import), every
// other control byte and every byte from 0x80 becomes a blank, and "//"
// starts a comment line.  Keywords are case-insensitive; section and dbf
// field names are upper-cased.
//
// The driver calls openConfig once, then readSection and resetSection for
// each section until configAtEnd, then closeConfig, all with the one
// section state it hands on to the transfer.  The truncate flag, the code page and the
// WHERE / ORDER BY texts carry over from section to section, everything
// else is reset by resetSection.
#ifndef DRIFT_FRONT_CONFIG_READER_H
#define DRIFT_FRONT_CONFIG_READER_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

constexpr std::size_t kMaxConfigLine = 127;   // characters of a line
constexpr std::size_t kMaxSections = 100;     // sections in a file
constexpr std::size_t kMaxFields = 255;       // field lines in a section (the most
                                              // fields a dbf file holds)
constexpr std::uint16_t kConvertedCharsetId = 152;  // code page 866 on the wire

// One field line of a section.
struct FieldMapping {
  std::string oracleName;   // as written, without a leading '!'
  std::string dbfName;      // upper-cased, without a leading '!'; the import
                            // also sees %FILE_NAME / %RECNUM here
  std::uint16_t charsetId = kConvertedCharsetId;  // 0 when either side had '!'; the
                                                  // drivers replace 152 by the id of
                                                  // the section's code page
};

// The section being read.  sectionName empty: no section is open (after
// readSection: the file ended without another section).
struct SectionState {
  std::string sectionName;
  std::string tableName;   // starts as runSettings.tableName (-T:)
  std::string dbfPath;     // starts as runSettings.dbfPath (-D:)
  bool truncate = false;   // not reset between sections
  int codePage = 0;        // %CODEPAGE; 0: the dbf file's own.  Not reset either
  std::string whereClause;    // starts as -W:; %WHERE changes it (export only); kept
  std::string orderByClause;  // starts as -O:; %ORDER_BY changes it (export only); kept
  std::vector<FieldMapping> fields;   // at most kMaxFields, in file order

  int fieldCount() const { return static_cast<int>(fields.size()); }
};

// Opens runSettings.configFile and resets the reader (line number, names
// seen) and `section` (truncate flag and code page off; WHERE and ORDER BY
// back to -W: and -O:).  On failure prints (unless compact) and reports
// "File '<name>' not found.\n" and returns nullptr: the run fails as for a
// configuration error.
std::FILE* openConfig(SectionState& section);

// True once the file has been read to its end.
bool configAtEnd(std::FILE* file);

void closeConfig(std::FILE* file);

// Reads up to the next %END_SECTION or the end of the file into `section`.
// True: it holds the next section, or no section (empty sectionName)
// at the end of the file; a section that -L: does not select is read and
// checked but not announced.  False: a structure error was printed and
// reported; the driver stops the run with exit code 1.
bool readSection(std::FILE* file, SectionState& section);

// Back to the start values after a section: no name, tableName = -T:,
// dbfPath = -D:, no fields.  Truncate and WHERE / ORDER BY are kept.
void resetSection(SectionState& section);

// Number of the last line read (1-based; 0 before the first).
int configLineNumber();

// Lower level, exposed for the tests.
//
// Reads one line with the separators already turned into blanks (the line
// feed becomes a trailing blank, a carriage return is dropped).  Returns
// false only at the end of the file with nothing read.  `tooLong` is set
// when the line held more than kMaxConfigLine characters; `line` then holds
// only the start of it, and the rest of the line has been consumed.
bool readConfigLine(std::FILE* file, std::string& line, bool& tooLong);

// Moves the first blank-delimited token of `line` into `token` and leaves
// in `line` what follows the blank that ended it.  False when the line
// holds nothing but blanks.
bool nextToken(std::string& token, std::string& line);

#endif
