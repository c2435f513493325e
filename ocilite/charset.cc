#include "ocilite/charset.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <iterator>
#include <mutex>
#include <vector>

#include "text/single_byte.h"

namespace ocilite {

struct SingleByteSet {
  // UTF-8 of each byte: up to 3 bytes and their count.
  std::array<std::array<unsigned char, 4>, 256> utf8{};
  // Code point -> byte for every code point below 0x10000; 0 = none (byte 0 is
  // U+0000 itself, handled before the table).
  std::vector<unsigned char> reverse = std::vector<unsigned char>(0x10000, 0);
  // Whether bytes 0 to 127 are the ASCII characters of the same codes.
  bool keepsAscii = false;
};

namespace {

struct KnownSet {
  ub2 id;
  const char *iconvName;
};

// The single-byte Oracle character sets and iconv's names for them.
constexpr KnownSet kSets[] = {
    {4, "CP437"},     {10, "CP850"},    {150, "CP852"},   {156, "CP857"},   {kCharsetCp866, "CP866"},
    {382, "CP737"},   {170, "CP1250"},  {171, "CP1251"},  {178, "CP1252"},  {174, "CP1253"},
    {177, "CP1254"},  {175, "CP1255"},  {560, "CP1256"},  {179, "CP1257"},  {45, "CP1258"},
    {196, "KOI8-R"},  {51, "KOI8-U"},   {31, "ISO-8859-1"}, {35, "ISO-8859-5"}, {1, "ASCII"},
};

constexpr unsigned kReplacement = text::kReplacementCharacter;

void putUtf8(unsigned cp, std::array<unsigned char, 4> &slot) {
  unsigned char *p = slot.data();
  if (cp < 0x80) {
    p[0] = static_cast<unsigned char>(cp);
    slot[3] = 1;
  } else if (cp < 0x800) {
    p[0] = static_cast<unsigned char>(0xC0 | (cp >> 6));
    p[1] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    slot[3] = 2;
  } else {
    p[0] = static_cast<unsigned char>(0xE0 | (cp >> 12));
    p[1] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
    p[2] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    slot[3] = 3;
  }
}

// The set's characters below U+10000 (all of them, for the sets here); a byte
// iconv refuses has no character.
std::unique_ptr<SingleByteSet> build(const char *iconvName) {
  std::array<uint32_t, 256> characters;
  if (!text::decodeSingleByteSet(iconvName, characters)) return nullptr;
  auto set = std::make_unique<SingleByteSet>();
  for (unsigned b = 0; b < 256; ++b) {
    unsigned cp = characters[b] < 0x10000 ? characters[b] : kReplacement;
    putUtf8(cp, set->utf8[b]);
    if (cp != kReplacement && b != 0 && set->reverse[cp] == 0)
      set->reverse[cp] = static_cast<unsigned char>(b);
  }
  set->keepsAscii = true;
  for (unsigned b = 0; b < 0x80; ++b)
    if (characters[b] != b) set->keepsAscii = false;
  return set;
}

}  // namespace

const SingleByteSet *singleByteSet(ub2 id) {
  // Looked up for every converted value: after the first build only the once
  // flag's fast path runs.
  static std::once_flag once[std::size(kSets)];
  static std::unique_ptr<SingleByteSet> built[std::size(kSets)];
  if (id == 0) return nullptr;
  for (size_t i = 0; i < std::size(kSets); ++i) {
    if (kSets[i].id != id) continue;
    std::call_once(once[i], [i] { built[i] = build(kSets[i].iconvName); });
    return built[i].get();
  }
  return nullptr;
}

size_t singleByteToUtf8(const SingleByteSet &set, const unsigned char *in, size_t n, char *out) {
  // Every bound character of an import comes through here.  A run of ASCII goes
  // over eight bytes at a time (in a set that keeps ASCII); any other byte's form
  // is stored as four bytes (hence the room for one byte more than the longest
  // form), and the pointer moves on by its length.
  char *p = out;
  size_t i = 0;
  while (i < n) {
    uint64_t word;
    if (set.keepsAscii && i + 8 <= n) {
      std::memcpy(&word, in + i, 8);
      if ((word & UINT64_C(0x8080808080808080)) == 0) {
        std::memcpy(p, &word, 8);
        p += 8;
        i += 8;
        continue;
      }
    }
    const std::array<unsigned char, 4> &slot = set.utf8[in[i]];
    std::memcpy(p, slot.data(), 4);
    p += slot[3];
    ++i;
  }
  return static_cast<size_t>(p - out);
}

void singleByteToUtf8(const SingleByteSet &set, const unsigned char *in, size_t n, std::string &out) {
  const size_t at = out.size();
  out.resize(at + 3 * n + 1);
  out.resize(at + singleByteToUtf8(set, in, n, out.data() + at));
}

size_t utf8ToSingleByte(const SingleByteSet &set, const unsigned char *in, size_t n, unsigned char *out,
                        size_t cap) {
  // The table's address is held here: every byte written through `out` could
  // otherwise be the vector's own pointer, to be read again.
  const unsigned char *reverse = set.reverse.data();
  size_t len = 0;
  size_t i = 0;
  while (i < n) {
    unsigned char b = in[i];
    unsigned char mapped;
    if (b < 0x80) {
      // A run of ASCII goes over as it is (every set here keeps ASCII), eight
      // bytes at a time while they fit the output.
      uint64_t word;
      while (i + 8 <= n && len + 8 <= cap) {
        std::memcpy(&word, in + i, 8);
        if (word & UINT64_C(0x8080808080808080)) break;
        std::memcpy(out + len, &word, 8);
        i += 8;
        len += 8;
      }
      if (i >= n) break;
      b = in[i];
      if (b >= 0x80) continue;
      mapped = b;
      i += 1;
    } else if (len < cap && (b & 0xE0) == 0xC0 && i + 1 < n && (in[i + 1] & 0xC0) == 0x80) {
      // Two bytes: the letters of every alphabet these sets carry beside Latin,
      // taken a run at a time while they fit the output (past it, below).
      // A pair is tested as one 16-bit value: lead byte 110xxxxx low,
      // continuation 10xxxxxx high.
      const size_t end = i + 2 * std::min((n - i) / 2, cap - len);
      do {
        const unsigned pair = in[i] | (static_cast<unsigned>(in[i + 1]) << 8);
        if ((pair & 0xC0E0u) != 0x80C0u) break;
        const unsigned cp = ((pair & 0x1Fu) << 6) | ((pair >> 8) & 0x3Fu);
        out[len++] = reverse[cp] ? reverse[cp] : '?';
        i += 2;
      } while (i < end);
      continue;
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
        mapped = cp < 0x10000 && reverse[cp] ? reverse[cp] : '?';
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
