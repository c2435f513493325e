// ASCII upper case, for names compared and sent in upper case (Oracle names,
// configuration keywords, section names).  Only a to z change: every other byte,
// code page text above 0x7F included, is kept as it is.
#ifndef DRIFT_TEXT_ASCII_H
#define DRIFT_TEXT_ASCII_H

#include <string>
#include <string_view>

namespace text {

inline void upperInPlace(std::string& s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
}

inline std::string upperAscii(std::string_view s) {
  std::string out(s);
  upperInPlace(out);
  return out;
}

}  // namespace text

#endif
