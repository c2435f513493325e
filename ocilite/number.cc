#include "ocilite/number.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace ocilite {

namespace {

void normalise(Decimal &d) {
  size_t lead = 0;
  while (lead < d.digits.size() && d.digits[lead] == '0') ++lead;
  d.digits.erase(0, lead);
  d.point -= static_cast<int>(lead);
  while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
  if (d.digits.empty()) {
    d.point = 0;
    d.negative = false;
  }
}

// Keeps the first `keep` digits, rounding half up in magnitude.
void keepDigits(Decimal &d, long keep) {
  if (keep >= static_cast<long>(d.digits.size())) return;
  if (keep < 0) {
    d.digits.clear();
    normalise(d);
    return;
  }
  bool up = d.digits[static_cast<size_t>(keep)] >= '5';
  d.digits.resize(static_cast<size_t>(keep));
  if (up) {
    long i = keep - 1;
    while (i >= 0 && d.digits[static_cast<size_t>(i)] == '9') {
      d.digits[static_cast<size_t>(i)] = '0';
      --i;
    }
    if (i >= 0) {
      ++d.digits[static_cast<size_t>(i)];
    } else {
      d.digits.insert(d.digits.begin(), '1');
      ++d.point;
    }
  }
  normalise(d);
}

}  // namespace

bool parseDecimal(std::string_view text, char decimalChar, Decimal &out) {
  size_t i = 0, n = text.size();
  auto blank = [&](size_t k) { return text[k] == ' ' || text[k] == '\t'; };
  while (i < n && blank(i)) ++i;
  while (n > i && blank(n - 1)) --n;
  out.negative = false;
  out.digits.clear();
  out.point = 0;
  if (i < n && (text[i] == '+' || text[i] == '-')) {
    out.negative = text[i] == '-';
    ++i;
  }
  bool anyDigit = false;
  int point = 0;
  bool seenPoint = false;
  for (; i < n; ++i) {
    char c = text[i];
    if (c >= '0' && c <= '9') {
      anyDigit = true;
      out.digits += c;
      if (!seenPoint) ++point;
    } else if (c == decimalChar && !seenPoint) {
      seenPoint = true;
    } else {
      break;
    }
  }
  if (!anyDigit) return false;
  long exponent = 0;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool negExp = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
      negExp = text[i] == '-';
      ++i;
    }
    if (i >= n || !std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    // The exponent saturates far beyond any NUMBER's range rather than losing its
    // later digits: 1E1000005 must not read as 1E100000.
    constexpr long kExponentCap = 100000000;
    for (; i < n && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
      exponent = std::min(kExponentCap, exponent * 10 + (text[i] - '0'));
    if (negExp) exponent = -exponent;
  }
  if (i != n) return false;
  out.point = point + static_cast<int>(exponent);
  normalise(out);
  return true;
}

Decimal decimalFromInt(int64_t v) {
  Decimal d;
  d.negative = v < 0;
  uint64_t mag = d.negative ? static_cast<uint64_t>(0) - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  d.digits = std::to_string(mag);
  d.point = static_cast<int>(d.digits.size());
  normalise(d);
  return d;
}

bool fixedFromDouble(double v, int64_t &r, int &k) {
  static const double kPow10[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                  1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  if (v == 0 || !(std::fabs(v) < 1e15)) return false;
  for (k = 0; k <= 15; ++k) {
    double x = std::nearbyint(v * kPow10[k]);
    if (std::fabs(x) >= 1e15) break;
    if (x / kPow10[k] == v) {
      r = static_cast<int64_t>(x);
      return true;
    }
  }
  return false;
}

size_t doubleText(double v, char decimalChar, char *buf) {
  int64_t r;
  int k;
  if (v == 0) {
    buf[0] = '0';
    return 1;
  }
  if (!fixedFromDouble(v, r, k)) return 0;
  uint64_t mag = r < 0 ? uint64_t{0} - static_cast<uint64_t>(r) : static_cast<uint64_t>(r);
  while (mag % 10 == 0) {
    mag /= 10;
    --k;
  }
  char digits[20];
  int len = 0;
  for (uint64_t m = mag; m != 0; m /= 10) digits[len++] = static_cast<char>('0' + m % 10);
  std::reverse(digits, digits + len);
  int point = len - k;  // as Decimal::point
  size_t n = 0;
  if (r < 0) buf[n++] = '-';
  if (point <= 0) {
    buf[n++] = decimalChar;
    for (int z = 0; z < -point; ++z) buf[n++] = '0';
    for (int d = 0; d < len; ++d) buf[n++] = digits[d];
  } else if (point >= len) {
    for (int d = 0; d < len; ++d) buf[n++] = digits[d];
    for (int z = len; z < point; ++z) buf[n++] = '0';
  } else {
    for (int d = 0; d < point; ++d) buf[n++] = digits[d];
    buf[n++] = decimalChar;
    for (int d = point; d < len; ++d) buf[n++] = digits[d];
  }
  return n;
}

Decimal decimalFromDouble(double v) {
  // The shortest of 15, 16 or 17 significant digits that reads back as the
  // same double: every value the store keeps as REAL has at most 15 digits
  // and comes back exactly, and a double written by another program (the
  // sqlite3 command) keeps all the digits it has.
  //
  // Most values (amounts with a few decimals) are found without printing: the
  // first k for which v * 10^k rounds to an integer r below 10^15 with
  // r / 10^k == v exactly (r and 10^k are exact doubles, so the division is
  // correctly rounded).  That decimal reads back as v and has at most 15
  // digits; as two decimals of 15 digits never read back as the same double,
  // it is the one the printing below would find.
  int64_t r;
  int k;
  if (fixedFromDouble(v, r, k)) {
    Decimal d = decimalFromInt(r);
    d.point -= k;
    return d;
  }
  char buf[40];
  for (int digits = 15; digits <= 17; ++digits) {
    std::snprintf(buf, sizeof buf, "%.*e", digits - 1, v);
    if (digits == 17 || std::strtod(buf, nullptr) == v) break;
  }
  Decimal d;
  if (!parseDecimal(buf, '.', d)) return Decimal{};
  return d;
}

void roundToScale(Decimal &d, int scale) { keepDigits(d, static_cast<long>(d.point) + scale); }

void roundToDigits(Decimal &d, int digits) { keepDigits(d, digits); }

std::string toOracleText(const Decimal &d, char decimalChar) {
  if (d.isZero()) return "0";
  std::string out;
  if (d.negative) out += '-';
  int len = static_cast<int>(d.digits.size());
  std::string fixed;
  if (d.point <= 0) {
    fixed += decimalChar;
    fixed.append(static_cast<size_t>(-d.point), '0');
    fixed += d.digits;
  } else if (d.point >= len) {
    fixed = d.digits;
    fixed.append(static_cast<size_t>(d.point - len), '0');
  } else {
    fixed = d.digits.substr(0, static_cast<size_t>(d.point));
    fixed += decimalChar;
    fixed += d.digits.substr(static_cast<size_t>(d.point));
  }
  if (out.size() + fixed.size() <= 64) return out + fixed;
  // Scientific form: one digit, the rest after the decimal character, E+nn.
  out += d.digits[0];
  if (len > 1) {
    out += decimalChar;
    out += d.digits.substr(1);
  }
  int exponent = d.point - 1;
  char exp[16];
  std::snprintf(exp, sizeof exp, "E%c%02d", exponent < 0 ? '-' : '+', exponent < 0 ? -exponent : exponent);
  return out + exp;
}

std::string toPlainText(const Decimal &d) {
  if (d.isZero()) return "0";
  std::string text = toOracleText(d, '.');
  if (text.find('E') != std::string::npos) return text;
  size_t at = d.negative ? 1 : 0;
  if (text[at] == '.') text.insert(text.begin() + static_cast<std::ptrdiff_t>(at), '0');
  return text;
}

bool toInt64(const Decimal &d, int64_t &out) {
  if (d.isZero()) {
    out = 0;
    return true;
  }
  int len = static_cast<int>(d.digits.size());
  if (d.point < len || d.point > 19) return false;
  uint64_t mag = 0;
  for (int k = 0; k < d.point; ++k) {
    unsigned digit = k < len ? static_cast<unsigned>(d.digits[static_cast<size_t>(k)] - '0') : 0;
    if (mag > (UINT64_MAX - digit) / 10) return false;
    mag = mag * 10 + digit;
  }
  uint64_t limit = d.negative ? static_cast<uint64_t>(INT64_MAX) + 1 : static_cast<uint64_t>(INT64_MAX);
  if (mag > limit) return false;
  out = d.negative ? static_cast<int64_t>(0 - mag) : static_cast<int64_t>(mag);
  return true;
}

}  // namespace ocilite
