// Turning dbf bytes into UTF-8 output: the byte encodings dbftool understands,
// JSON string escaping and CSV quoting.  Every output is valid UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace dbftool {

// How a file's bytes become characters: a single-byte code page (866 unless
// said otherwise), Latin-1, or UTF-8.
struct Encoding {
  enum class Kind { CodePage, Latin1, Utf8 };
  Kind kind = Kind::CodePage;
  int codePage = 866;

  static const Encoding Cp866;
  static const Encoding Latin1;
  static const Encoding Utf8;
  static Encoding ofCodePage(int codePage) { return {Kind::CodePage, codePage}; }
};

// "cpNNNN" for a single-byte code page of the language-driver table (cp866,
// cp1251, cp437 ...), "latin1" or "utf8" (any case); false for anything else.
bool parseEncoding(std::string_view name, Encoding* out);

// True when the encoding's code page is one whose characters iconv provides here.
bool encodingUsable(const Encoding& encoding);

// The bytes as UTF-8.  Cp866 and Latin1 map each byte to one character; Utf8
// passes well-formed sequences and turns every malformed byte into U+FFFD.
std::string toUtf8(std::string_view bytes, Encoding encoding);

// Command-line text (UTF-8) as the file's bytes in a single-byte code page: ASCII
// unchanged, a character that the code page has becomes its byte, any other
// character '?'; bytes that are not UTF-8 are kept as they are (text already in
// the code page).
std::string utf8ToCodePage(std::string_view text, int codePage);

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
