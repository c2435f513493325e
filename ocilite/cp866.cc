#include "ocilite/cp866.h"

#include "ocilite/charset.h"

namespace ocilite {

void cp866ToUtf8(const unsigned char *in, size_t n, std::string &out) {
  singleByteToUtf8(*singleByteSet(kCharsetCp866), in, n, out);
}

size_t utf8ToCp866(const unsigned char *in, size_t n, unsigned char *out, size_t cap) {
  return utf8ToSingleByte(*singleByteSet(kCharsetCp866), in, n, out, cap);
}

}  // namespace ocilite
