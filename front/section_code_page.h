// The character set that carries a section's text between the dbf file and the
// database, shared by both drivers.
#pragma once

#include <cstdint>
#include <string>

#include "front/code_page.h"
#include "front/config_reader.h"
#include "front/console.h"
#include "xbase/data/code_page.h"
#include "xbase/data/data.h"
#include "xbase/file/file_name.h"

// The Oracle character-set id of the section's code page: %CODEPAGE when the
// section names one, else the code page of the file's language-driver byte.  0,
// with the reason in *problem, when the file's code page cannot be carried: a
// multi-byte code page (a fixed-width field may cut its characters) or one that
// has no Oracle character set here.  The text names the file in the engine's form
// ('\' between directories).
inline std::uint16_t sectionCharset(const SectionState& section, const DataFile* data,
                                    std::string* problem) {
  problem->clear();
  const int codePage = section.codePage != 0 ? section.codePage : dataCodePage(data);
  const std::uint16_t id = oracleCharsetOfCodePage(codePage);
  if (id != 0) return id;
  const std::string shown = fileEngineName(section.dbfPath);
  if (codePageIsMultiByte(codePage))
    *problem = formatText("DBF-file '%s' is in code page %d, a multi-byte code page: not supported\n",
                          shown.c_str(), codePage);
  else
    *problem = formatText("DBF-file '%s' is in code page %d, which has no character set here;"
                          " name one with %%CODEPAGE\n",
                          shown.c_str(), codePage);
  return 0;
}

// The id a pair declares: none for a pair with '!', else the section's.
inline std::uint16_t pairCharset(const FieldMapping& mapping, std::uint16_t sectionId) {
  return mapping.charsetId == 0 ? 0 : sectionId;
}

// True when some pair of the section converts text (has no '!').
inline bool convertsText(const SectionState& section) {
  for (const FieldMapping& mapping : section.fields)
    if (mapping.charsetId != 0) return true;
  return false;
}
