// Code page 866 (DOS Cyrillic, Oracle character set 152) <-> UTF-8.
//
// The store keeps text as UTF-8.  These are the set of id 152 in charset.h,
// kept by name for the callers that mean code page 866 alone.
#ifndef DRIFT_OCILITE_CP866_H
#define DRIFT_OCILITE_CP866_H

#include <cstddef>
#include <string>

namespace ocilite {

// Appends the UTF-8 form of `n` code page 866 bytes to `out`.
void cp866ToUtf8(const unsigned char *in, size_t n, std::string &out);

// Converts `n` bytes of UTF-8 into code page 866, writing at most `cap` bytes
// to `out` (which may be null when cap is 0).  A character that code page 866
// lacks, and a byte that is not valid UTF-8, becomes '?'.  Returns the full
// length of the converted text, which exceeds `cap` when it was cut.
size_t utf8ToCp866(const unsigned char *in, size_t n, unsigned char *out, size_t cap);

}  // namespace ocilite

#endif
