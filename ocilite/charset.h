// Single-byte Oracle character sets <-> the UTF-8 of the store.
//
// A bind or define whose OCI_ATTR_CHARSET_ID names one of these sets converts
// its text; the tables come from the C library's iconv, built the first time a
// set is used and kept for the process.
#ifndef DRIFT_OCILITE_CHARSET_H
#define DRIFT_OCILITE_CHARSET_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "ocilite/oci.h"

namespace ocilite {

// Oracle character-set ids the code names: code page 866 (RU8PC866), the set of
// dbf text on the wire, and the two UTF-8 sets (UTF8, AL32UTF8) whose bytes are the
// store's own.
inline constexpr ub2 kCharsetCp866 = 152;
inline constexpr ub2 kCharsetUtf8 = 871;
inline constexpr ub2 kCharsetAl32Utf8 = 873;

struct SingleByteSet;

// The set with Oracle character-set id `id` (152 code page 866, 171 Windows-1251,
// 4 code page 437 ...), or null when the id names no single-byte set converted
// here.  Thread-safe.
const SingleByteSet *singleByteSet(ub2 id);

// Writes the UTF-8 form of `n` bytes of the set to `out`, which has room for
// 3 * n + 1 bytes, and returns its length.  A byte the set leaves undefined
// becomes U+FFFD.
size_t singleByteToUtf8(const SingleByteSet &set, const unsigned char *in, size_t n, char *out);

// Appends the UTF-8 form of `n` bytes of the set to `out`.
void singleByteToUtf8(const SingleByteSet &set, const unsigned char *in, size_t n, std::string &out);

// Converts `n` bytes of UTF-8 into the set, writing at most `cap` bytes to `out`
// (null when cap is 0).  A character the set lacks, and a byte that is not valid
// UTF-8, becomes '?'.  Returns the full length of the converted text, which
// exceeds `cap` when it was cut.
size_t utf8ToSingleByte(const SingleByteSet &set, const unsigned char *in, size_t n, unsigned char *out,
                        size_t cap);

}  // namespace ocilite

#endif
