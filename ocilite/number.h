// Exact decimal numbers as Oracle's NUMBER keeps them.
//
// A Decimal is sign, significant digits and the position of the decimal
// point: value = 0.d1d2d3... x 10^point.  12.5 is {"125", 2}, 0.00001 is
// {"1", -4}, 100 is {"1", 3}; zero has no digits.  Texts are parsed and
// printed without passing through a double, so no digit is lost.
#ifndef DRIFT_OCILITE_NUMBER_H
#define DRIFT_OCILITE_NUMBER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ocilite {

struct Decimal {
  bool negative = false;
  std::string digits;  // no leading or trailing zeros; empty for zero
  int point = 0;

  bool isZero() const { return digits.empty(); }
};

// Parses Oracle's implicit text-to-number form: optional blanks, sign,
// digits with an optional decimal character (digits may be absent on one
// side), optional exponent E/e with sign, optional blanks.  False when the
// text has another shape (the caller raises ORA-01722).
bool parseDecimal(std::string_view text, char decimalChar, Decimal &out);

// The value of a 64-bit integer or of a double (the shortest decimal of 15
// to 17 significant digits that reads back as the same double).
Decimal decimalFromInt(int64_t v);
Decimal decimalFromDouble(double v);

// A double as a 64-bit fixed-point value: the first k (0 to 15) for which
// v = r / 10^k exactly with |r| below 10^15.  False when there is none (and
// for zero); the value then needs the general decimal.
bool fixedFromDouble(double v, int64_t &r, int &k);

// toOracleText(decimalFromDouble(v), decimalChar) written into `buf` (at
// least 40 bytes) without building a decimal; returns its length, or 0 when
// the value has no fixed-point form (the caller then takes the general way).
size_t doubleText(double v, char decimalChar, char *buf);

// Rounds half away from zero to `scale` digits right of the point (negative
// scale rounds left of it).
void roundToScale(Decimal &d, int scale);
// Rounds to at most `digits` significant digits.
void roundToDigits(Decimal &d, int digits);

// Number of digits left of the point (0 for |value| < 1).
inline int integerDigits(const Decimal &d) { return d.isZero() || d.point < 0 ? 0 : d.point; }

// Oracle's TO_CHAR text with no format: the shortest text that shows the
// value, no leading zero before the decimal character, no trailing zeros,
// "-" for negatives; scientific notation only beyond 64 characters.
std::string toOracleText(const Decimal &d, char decimalChar);

// Plain text for storage and for SQLite: "-0.5", "12345678901234567890".
std::string toPlainText(const Decimal &d);

// True when the value is an integer that fits in 64 bits; sets `out`.
bool toInt64(const Decimal &d, int64_t &out);

}  // namespace ocilite

#endif
