// Names and types that dbftool generates: SQL identifiers for tables and columns made
// from dbf file and field names (ddl, config), dbf field names made from column names
// (create --like), and the column type that holds every value of a dbf field.
#pragma once

#include <set>
#include <string>

namespace dbftool {

// True for an Oracle reserved word, a word that SQLite does not take as a column or
// table name (the tables ddl prints must load into both), and DUAL, OCILITE_USERS and
// SQLITE_... .  Case-insensitive.
bool isReservedWord(const std::string& word);

// A valid unquoted identifier: a letter first, then letters, digits and '_' (ASCII),
// at most 30 characters, not reserved.
bool isPlainIdentifier(const std::string& name);

// The identifier for a stored name: ASCII upper-cased; a valid one stays as it is.
// Otherwise every byte other than a letter, digit or '_' becomes '_', a name that
// does not start with a letter gets `prefix` ("T_", "F_") in front, and a reserved
// word (or, with markChanged, any name so changed) gets '_' appended: ORDER_, and a
// name that a reserved prefix keeps reserved gets `prefix` too (T_SQLITE_X_).  Cut to
// maxLength.  The result is then made unique against `taken` (a numeric suffix within
// maxLength) and added to it.
std::string uniqueIdentifier(const std::string& stored, const std::string& prefix,
                             bool markChanged, size_t maxLength, std::set<std::string>* taken);

// A dbf field name for a column name: ASCII upper-cased, every byte other than a
// letter, digit or '_' made '_', "F" in front when it does not start with a letter,
// cut to 10 characters and made unique against `taken` (added to it).
std::string uniqueFieldName(const std::string& column, std::set<std::string>* taken);

// True when a configuration line can carry the name as a value: none of the reader's
// separators or blanks (the import's reader knows no quotes), no '!' or '%' first, no
// "//", at most 100 bytes.
bool fitsConfiguration(const std::string& name);

// The table name for a dbf file: its base name without directory and extension.
std::string tableStem(const std::string& path);

// The column type for a dbf field of type letter `type` (upper-case), or "" when no
// column takes the field: C(n) NVARCHAR2(n); N and F NUMBER(p,s) wide enough for
// every text of the field; D DATE; L NUMBER(1); M CLOB.
std::string columnTypeFor(int type, int length, int decimals);

}  // namespace dbftool
