#include "ocilite/cp866.h"

#include <array>

namespace ocilite {

namespace {

// Unicode code points of bytes 0x80 to 0xFF.
constexpr unsigned short kHigh[128] = {
    // 0x80: А..Я
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    // 0xA0: а..п
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
    // 0xB0: shades and box drawing
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    // 0xE0: р..я
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
    // 0xF0
    0x0401, 0x0451, 0x0404, 0x0454, 0x0407, 0x0457, 0x040E, 0x045E,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x2116, 0x00A4, 0x25A0, 0x00A0,
};

constexpr unsigned kReverseLimit = 0x2600;

// Code point -> byte for every code point below kReverseLimit; 0 = none.
struct Reverse {
  std::array<unsigned char, kReverseLimit> byte{};
  Reverse() {
    for (unsigned i = 0; i < 128; ++i) byte[kHigh[i]] = static_cast<unsigned char>(0x80 + i);
  }
};

const Reverse &reverse() {
  static const Reverse table;
  return table;
}

// Writes the UTF-8 form of `cp` (below 0x10000) at `p`; returns the end.
char *putUtf8(unsigned cp, char *p) {
  if (cp < 0x80) {
    *p++ = static_cast<char>(cp);
  } else if (cp < 0x800) {
    *p++ = static_cast<char>(0xC0 | (cp >> 6));
    *p++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *p++ = static_cast<char>(0xE0 | (cp >> 12));
    *p++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *p++ = static_cast<char>(0x80 | (cp & 0x3F));
  }
  return p;
}

}  // namespace

void cp866ToUtf8(const unsigned char *in, size_t n, std::string &out) {
  // Sized once for the longest form (three bytes a character), written through a
  // pointer and cut back to what was written: every bound character of an import
  // comes through here, and appending one by one checked the capacity each time.
  size_t at = out.size();
  out.resize(at + 3 * n);
  char *p = out.data() + at;
  for (size_t i = 0; i < n; ++i) {
    unsigned char b = in[i];
    if (b < 0x80)
      *p++ = static_cast<char>(b);
    else
      p = putUtf8(kHigh[b - 0x80], p);
  }
  out.resize(static_cast<size_t>(p - out.data()));
}

size_t utf8ToCp866(const unsigned char *in, size_t n, unsigned char *out, size_t cap) {
  const Reverse &rev = reverse();
  size_t len = 0;
  size_t i = 0;
  while (i < n) {
    unsigned char b = in[i];
    unsigned char mapped;
    if (b < 0x80) {
      mapped = b;
      i += 1;
    } else {
      // Decode one UTF-8 sequence; an invalid one consumes a single byte.
      unsigned cp = 0;
      size_t extra = 0;
      if ((b & 0xE0) == 0xC0) {
        cp = b & 0x1F;
        extra = 1;
      } else if ((b & 0xF0) == 0xE0) {
        cp = b & 0x0F;
        extra = 2;
      } else if ((b & 0xF8) == 0xF0) {
        cp = b & 0x07;
        extra = 3;
      }
      bool valid = extra > 0;
      for (size_t k = 1; valid && k <= extra; ++k) {
        if (i + k >= n || (in[i + k] & 0xC0) != 0x80)
          valid = false;
        else
          cp = (cp << 6) | (in[i + k] & 0x3F);
      }
      if (valid) {
        i += extra + 1;
        mapped = cp < kReverseLimit && rev.byte[cp] ? rev.byte[cp] : '?';
      } else {
        i += 1;
        mapped = '?';
      }
    }
    if (len < cap) out[len] = mapped;
    ++len;
  }
  return len;
}

}  // namespace ocilite
