#include "text/single_byte.h"

#include <iconv.h>

#include <cstddef>

namespace text {

bool decodeSingleByteSet(const char* iconvName, std::array<uint32_t, 256>& out) {
  iconv_t cd = iconv_open("UTF-32LE", iconvName);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  for (unsigned b = 0; b < 256; ++b) {
    char in = static_cast<char>(b);
    unsigned char decoded[16];
    char* inp = &in;
    size_t inLeft = 1;
    char* outp = reinterpret_cast<char*>(decoded);
    size_t outLeft = sizeof decoded;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    size_t r = iconv(cd, &inp, &inLeft, &outp, &outLeft);
    // A set that composes characters (1258) may hold one back until flushed.
    if (r != static_cast<size_t>(-1)) iconv(cd, nullptr, nullptr, &outp, &outLeft);
    uint32_t cp = kReplacementCharacter;
    if (r != static_cast<size_t>(-1) && inLeft == 0 && sizeof decoded - outLeft == 4)
      cp = decoded[0] | (decoded[1] << 8) | (decoded[2] << 16) |
           (static_cast<uint32_t>(decoded[3]) << 24);
    out[b] = cp;
  }
  iconv_close(cd);
  return true;
}

}  // namespace text
