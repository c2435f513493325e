// Keys of a tag: expression results turned into bytes whose byte order is the value
// order.
//
//   C      the text; NULs left at the end by TRIM or LTRIM become blanks
//   N      a numeric field's text, right-aligned with the field's decimals first (as
//          some programs write numbers left-aligned): leading blanks and
//          the minus sign become '0'; a
//          negative number has every character c replaced by 92 - c. A blank field
//          is zero and a minus sign before zero digits ("-0.00") is no negative
//          number, so both take the key of zero
//   n      a computed number: key size characters, zero-padded digits, '.', the
//          tag's decimals; negative numbers inverted as for N
//   D, d   CCYYMMDD
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "xbase/data/code4.h"
#include "xbase/data/error.h"
#include "xbase/file/conv.h"
#include "xbase/index/expr.h"
#include "xbase/index/ntx_internal.h"

namespace {

void invert(uint8_t* key, int32_t n) {
  for (int32_t i = 0; i < n; ++i) key[i] = static_cast<uint8_t>(92 - key[i]);
}

bool anyNonZeroDigit(const uint8_t* key, int32_t n) {
  for (int32_t i = 0; i < n; ++i)
    if (key[i] >= '1' && key[i] <= '9') return true;
  return false;
}

void numericText(const char* text, int32_t len, int32_t decimals, uint8_t* out,
                 int32_t size) {
  // Right-aligned in the key; a longer text keeps its last size characters.
  std::memset(out, '0', static_cast<size_t>(size));
  int32_t take = len < size ? len : size;
  std::memcpy(out + size - take, text + len - take, static_cast<size_t>(take));
  bool negative = false;
  int32_t i = 0;
  for (; i < size && (out[i] == ' ' || out[i] == '-'); ++i) {
    if (out[i] == '-') negative = true;
    out[i] = '0';
  }
  // A blank field: the key the field's own text of zero gets ("0.00" -> 0000000.00),
  // so blank sorts with zero and not between 0.99 and 1.00.
  if (i == size && decimals > 0 && decimals + 1 < size) out[size - decimals - 1] = '.';
  if (negative && anyNonZeroDigit(out, size)) invert(out, size);
}

// A numeric field's text in the field's own right-aligned form with the field's
// decimals ("10" in N(6,1) -> "  10.0", "-.5" -> "  -0.5"), so that numbers written
// left-aligned or without their decimals key as their values.  Returns `text` itself
// when it is already in that form, blank, not a plain number, has more decimals than
// the field or does not fit `room`; else `aligned`, holding len bytes.  `decimals` is
// the field's (the tag's).
const char* alignedNumber(const char* text, int32_t len, int32_t decimals, char* aligned,
                          int32_t room) {
  auto digitsFrom = [&](int32_t i, int32_t last) {
    while (i < last && text[i] >= '0' && text[i] <= '9') ++i;
    return i;
  };
  int32_t first = 0, last = len;
  while (first < len && text[first] == ' ') ++first;
  while (last > first && text[last - 1] == ' ') --last;
  if (first == last) return text;
  const bool negative = text[first] == '-';
  const int32_t intStart = first + (negative ? 1 : 0);
  int32_t i = digitsFrom(intStart, last);
  const int32_t intDigits = i - intStart;
  const bool dot = i < last && text[i] == '.';
  const int32_t fracStart = dot ? i + 1 : i;
  i = digitsFrom(fracStart, last);
  const int32_t fracDigits = i - fracStart;
  if (i != last || (intDigits == 0 && fracDigits == 0) || fracDigits > decimals) return text;
  // Already the field's own form: the common case of files written right-aligned.
  if (last == len && intDigits > 0 && fracDigits == decimals && dot == (decimals > 0)) return text;
  const int32_t width =
      (negative ? 1 : 0) + (intDigits > 0 ? intDigits : 1) + (decimals > 0 ? decimals + 1 : 0);
  if (width > len || len > room) return text;
  std::memset(aligned, ' ', static_cast<size_t>(len - width));
  char* p = aligned + len - width;
  if (negative) *p++ = '-';
  if (intDigits > 0) {
    std::memcpy(p, text + intStart, static_cast<size_t>(intDigits));
    p += intDigits;
  } else {
    *p++ = '0';
  }
  if (decimals > 0) {
    *p++ = '.';
    std::memcpy(p, text + fracStart, static_cast<size_t>(fracDigits));
    std::memset(p + fracDigits, '0', static_cast<size_t>(decimals - fracDigits));
  }
  return aligned;
}

void computedNumber(double value, int32_t decimals, uint8_t* out, int32_t size) {
  char text[400];
  int n = std::snprintf(text, sizeof text, "%0*.*f", size, decimals, std::fabs(value));
  if (n > size) {
    // Too large for the key: the largest key of that size.
    std::memset(out, '9', static_cast<size_t>(size));
    if (decimals > 0 && decimals + 1 < size) out[size - decimals - 1] = '.';
  } else {
    std::memcpy(out, text, static_cast<size_t>(size));
  }
  // A negative value that rounds to zero at the key's decimals keys as zero.
  if (value < 0 && anyNonZeroDigit(out, size)) invert(out, size);
}

}  // namespace

int tagConvertKey(IndexTag* tag, const char* result, int32_t len, uint8_t* out) {
  int32_t size = tag->keySize;
  switch (tag->keyType) {
    case 'C': {
      int32_t take = len < size ? len : size;
      std::memcpy(out, result, static_cast<size_t>(take));
      std::memset(out + take, ' ', static_cast<size_t>(size - take));
      if (tag->keyExpr->hasTrim)
        for (int32_t i = size - 1; i >= 0 && out[i] == '\0'; --i) out[i] = ' ';
      return 0;
    }
    case 'N': {
      char aligned[256];
      numericText(alignedNumber(result, len, tag->decimals, aligned, sizeof aligned), len,
                  tag->decimals, out, size);
      return 0;
    }
    case 'n': {
      double v;
      std::memcpy(&v, result, sizeof v);
      computedNumber(v, tag->decimals, out, size);
      return 0;
    }
    case 'D':
    case 'd': {
      char date[8];
      if (tag->keyType == 'd') {
        double v;
        std::memcpy(&v, result, sizeof v);
        julianToDate(dayFromNumber(v), date);
      } else {
        std::memcpy(date, result, 8);
      }
      int32_t take = size < 8 ? size : 8;
      std::memcpy(out, date, static_cast<size_t>(take));
      std::memset(out + take, ' ', static_cast<size_t>(size - take));
      return 0;
    }
    default:
      return errorReport(tag->context, errorInfo, "Invalid key type in index file");
  }
}

int tagBuildKey(IndexTag* tag, uint8_t* out) {
  char* result = nullptr;
  int32_t len = exprEvaluate(tag->keyExpr, &result);
  if (len < 0) return -1;
  return tagConvertKey(tag, result, len, out);
}

int tagForTrue(IndexTag* tag) {
  if (!tag->forExpr) return 1;
  return expr4true(tag->forExpr);
}

int tagKeyFromText(IndexTag* tag, const char* text, uint8_t* out) {
  int32_t size = tag->keySize;
  int32_t len = static_cast<int32_t>(std::strlen(text));
  switch (tag->keyType) {
    case 'C': {
      int32_t take = len < size ? len : size;
      std::memcpy(out, text, static_cast<size_t>(take));
      std::memset(out + take, ' ', static_cast<size_t>(size - take));
      return take;
    }
    case 'N':
    case 'n': {
      char* end = nullptr;
      double v = std::strtod(text, &end);
      if (len == 0 || *end != '\0') return -1;
      if (tag->keyType == 'n') {
        computedNumber(v, tag->decimals, out, size);
      } else {
        std::string field(static_cast<size_t>(size), ' ');
        doubleToText(v, field.data(), size, tag->decimals);
        numericText(field.data(), size, tag->decimals, out, size);
      }
      return size;
    }
    case 'D':
    case 'd': {
      if (len != 8 || std::strspn(text, "0123456789") != 8) return -1;
      std::memcpy(out, text, 8);
      std::memset(out + 8, ' ', static_cast<size_t>(size > 8 ? size - 8 : 0));
      return size < 8 ? size : 8;
    }
    default:
      return -1;
  }
}
