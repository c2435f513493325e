// The characters of a single-byte character set, as the C library's iconv
// decodes it.
//
// libocilite converts bound and fetched text with these, and the engine reads
// dbf text with them, so both see the same character for every byte.
#ifndef DRIFT_TEXT_SINGLE_BYTE_H
#define DRIFT_TEXT_SINGLE_BYTE_H

#include <array>
#include <cstdint>

namespace text {

// What a byte the set leaves undefined decodes to.
inline constexpr uint32_t kReplacementCharacter = 0xFFFD;

// Fills `out` with the Unicode code point of each byte 0 to 255 of the set iconv
// names `iconvName` ("CP866", "KOI8-R" ...), each byte decoded on its own; a byte
// iconv refuses becomes kReplacementCharacter.  False, with `out` untouched, when
// iconv does not know the set.
bool decodeSingleByteSet(const char* iconvName, std::array<uint32_t, 256>& out);

}  // namespace text

#endif
