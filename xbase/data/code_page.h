// Code pages of dbf files: the language-driver byte (header byte 29) and the
// characters of each single-byte code page.
//
// A file's text is in the code page its language-driver byte names.  A byte of 0
// (dBASE III programs leave it so) or one this table does not know defers to a
// side file of the same name with the extension .cpg (GDAL and other GIS programs
// name the code page there: "CP1251", "1252", "ANSI 1251", "UTF-8"); without one,
// the text is code page 866, the code page of the files these programs have
// always written.
#pragma once

#include <cstdint>
#include <string>

#include "xbase/data/data_file.h"

inline constexpr int kDefaultCodePage = 866;
inline constexpr int kUtf8CodePage = 65001;  // named by a .cpg file only

// The code page a language-driver byte names; kDefaultCodePage for 0 and for a
// byte not in the table.  Multi-byte code pages (932, 936, 949, 950) are returned
// as such: the caller refuses them.
int codePageOfLanguageDriver(uint8_t languageDriver);

// The byte a new file records for a code page (0x65 for 866); -1 when the code
// page has none.
int languageDriverOfCodePage(int codePage);

// Code pages whose characters take more than one byte (932, 936, 949, 950, and
// UTF-8 as 65001).
bool codePageIsMultiByte(int codePage);

// The code page of an open data file: its language-driver byte, else its .cpg
// file, else 866.
int dataCodePage(const DataFile* data);

// The code page a .cpg file beside the named data file names; 0 when there is no
// such file or it names no code page known here.  `spelling`: the data file's path as
// the system spells it (DataFile::systemPath), or null; `exactName`: the side file only
// in that exact spelling (DataFile::caseTwin).
int cpgCodePage(const char* dataName, const char* spelling = nullptr, bool exactName = false);

// The code page a .cpg text names (0: none known).
int parseCpgText(const std::string& text);

// The Unicode code points of bytes 0 to 255 in a single-byte code page, built from
// the C library's iconv on first use and kept for the process (thread-safe).  A
// byte the code page leaves undefined maps to U+FFFD.  Null for a code page iconv
// does not know or a multi-byte one.
const uint32_t* codePageCharacters(int codePage);
