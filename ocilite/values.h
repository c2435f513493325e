// Values between the client's buffers, Oracle's rules and the SQLite store.
//
// Storage of each column kind:
//   Text, Char, Clob, Long  TEXT, UTF-8 (CHAR(n) blank-padded to n)
//   Number                  INTEGER when the value is an integer that fits 64
//                           bits, REAL when it has at most 15 significant
//                           digits, otherwise a BLOB holding its exact decimal
//                           text (SQLite would round a numeric-looking TEXT
//                           in a NUMBER column to a double)
//   Date                    TEXT "YYYY-MM-DD HH:MM:SS"
//   Raw, Blob               BLOB
#ifndef DRIFT_OCILITE_VALUES_H
#define DRIFT_OCILITE_VALUES_H

#include "ocilite/handles.h"

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace ocilite {

// A value ready to be bound to a SQLite statement.  Text and blob bytes live
// in a buffer of the caller (a BindHandle's).
struct Stored {
  enum class Type { Null, Int, Real, Text, Blob } type = Type::Null;
  int64_t i = 0;
  double d = 0;
  const char *bytes = nullptr;
  size_t size = 0;
};

// Names for error messages.
struct Target {
  std::string_view schema, table, column;
};

// Converts text (UTF-8) bound for a column of type `t` into its stored form,
// with Oracle's conversions and checks.  Empty text is NULL.  `buffer` holds
// the bytes of a Text/Blob result; `number` is a reusable scratch value.
OraError textToStored(std::string_view text, const ColumnType &t, const Nls &nls, const Target &names,
                      std::string &buffer, Decimal &number, Stored &out);

// textToStored's way for a NUMBER column when the text is a plain number of
// at most 18 significant digits (no exponent): the value is read as a 64-bit
// fixed-point number and stored as the general decimal way stores it.  False,
// with `out` unspecified, when the general way must decide (also for every
// text it refuses).
bool fixedTextToStored(std::string_view text, char decimalChar, const ColumnType &t, Stored &out);

// The same for raw bytes (SQLT_BIN and relatives): RAW/BLOB take them as they
// are; character columns take their hexadecimal text.
OraError bytesToStored(std::string_view bytes, const ColumnType &t, const Nls &nls, const Target &names,
                       std::string &buffer, Decimal &number, Stored &out);

// A number (SQLT_INT, SQLT_FLT ...) bound for a column of type `t`.
OraError numberToStored(const Decimal &value, const ColumnType &t, const Nls &nls, const Target &names,
                        std::string &buffer, Decimal &number, Stored &out);

// Applies NUMBER(p,s): rounds to the scale, refuses overflow (ORA-01438).
OraError fitNumber(Decimal &d, const ColumnType &t);

// A stored NUMBER value (any storage class) as a Decimal; false when it is
// not a number.
bool storedNumber(sqlite3_value *v, Decimal &out);

// Appends the text that Oracle shows for the stored value `v` of a column of
// type `t`: numbers in TO_CHAR form, dates through NLS_DATE_FORMAT, RAW as
// hexadecimal, CHAR(n) padded.  The value must not be NULL.
void storedToText(sqlite3_value *v, const ColumnType &t, const Nls &nls, std::string &out);

// Oracle's TO_CHAR text of a 64-bit integer into `buf` (at least 24 bytes);
// returns its length.
size_t integerText(int64_t v, char *buf);

// Upper-case hexadecimal of bytes.
void appendHex(const unsigned char *p, size_t n, std::string &out);

// Number of UTF-8 characters in `s`.
size_t utf8Length(std::string_view s);

}  // namespace ocilite

#endif
