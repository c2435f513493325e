// Turning dbf bytes into UTF-8 output: the byte encodings dbftool understands,
// JSON string escaping and CSV quoting.  Every output is valid UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace dbftool {

enum class Encoding { Cp866, Latin1, Utf8 };

// "cp866", "latin1" or "utf8" (any case); false for anything else.
bool parseEncoding(std::string_view name, Encoding* out);

// The bytes as UTF-8.  Cp866 and Latin1 map each byte to one character; Utf8
// passes well-formed sequences and turns every malformed byte into U+FFFD.
std::string toUtf8(std::string_view bytes, Encoding encoding);

// Command-line text (UTF-8) as the file's code page 866 bytes: ASCII unchanged, a
// character that code page 866 has becomes its byte, any other character '?'; bytes
// that are not UTF-8 are kept as they are (text already in code page 866).
std::string utf8ToCp866(std::string_view text);

// Text for a person: the bytes as UTF-8 with every control character as \xNN.
// *width (when not null) receives the number of characters, for aligning columns.
std::string displayText(std::string_view bytes, Encoding encoding, size_t* width = nullptr);

// A JSON string literal (with quotes) of the bytes: ", \ and every control
// character (below 0x20, and 0x7F) escaped.
std::string jsonString(std::string_view bytes, Encoding encoding);

// One CSV field (RFC 4180): quoted when it holds a comma, quote, CR or LF, quotes
// doubled.  Control characters other than CR, LF and TAB appear as \xNN.
std::string csvField(std::string_view bytes, Encoding encoding);

}  // namespace dbftool
