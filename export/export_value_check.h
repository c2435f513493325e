// Checks made on a fetched value before it is stored: a value the dbf field cannot
// hold as it is ends the run with a message naming the line and the field, rather
// than reaching the file changed.
//
//   - A zero byte inside the value: every value is stored as the text before its
//     first zero byte, so the rest would be lost.
//   - N and F fields: the text must be a number that other readers can read
//     (optional blanks around, an optional sign, digits with at most one point,
//     at least one digit, an optional exponent E or e with an optional sign and
//     digits).  A blank text is an empty field and passes.
//   - D fields: eight digits CCYYMMDD of a real day, or blanks (an empty date).
//
// A value longer than its field is left to convertValue, which refuses it with
// "Data was truncated" as it always has.
#pragma once

#include <cstdint>
#include <string_view>

struct DataFile;
struct ExportColumn;
struct FieldMapping;

// Whether text is a number as N and F fields take it (blank text counts).
bool isNumberText(std::string_view text);

// Whether text is a date as D fields take it: CCYYMMDD of a real day, or blanks.
bool isDateText(std::string_view text);

// Whether the fetched value in row slot `row` (or the value fetched whole) holds a
// zero byte before its end (the returned length of a text or raw define, the length
// of a whole value); a single zero at the very end of a slot's text is taken
// as the terminator, since what the returned length of a zero-terminated text
// define counts differs between client libraries.
bool holdsZeroByte(const ExportColumn& column, int32_t row);

// Raises (throws ExportError) when the value in row slot `row` of `column` cannot
// be stored into its field of `data` as it is; `line` is its line number (from 1)
// for the message.
void refuseUnstorableValue(DataFile* data, const ExportColumn& column, int32_t row,
                           const FieldMapping& mapping, int32_t line);
