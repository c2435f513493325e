#include "xbase/file/conv.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

// Each name NUL-terminated and padded with blanks to 10 bytes; "September" fills all
// ten.  dateFormat copies these bytes, padding included.
const char monthNames[13][10] = {
    {0},
    {'J', 'a', 'n', 'u', 'a', 'r', 'y', 0, ' ', ' '},
    {'F', 'e', 'b', 'r', 'u', 'a', 'r', 'y', 0, ' '},
    {'M', 'a', 'r', 'c', 'h', 0, ' ', ' ', ' ', ' '},
    {'A', 'p', 'r', 'i', 'l', 0, ' ', ' ', ' ', ' '},
    {'M', 'a', 'y', 0, ' ', ' ', ' ', ' ', ' ', ' '},
    {'J', 'u', 'n', 'e', 0, ' ', ' ', ' ', ' ', ' '},
    {'J', 'u', 'l', 'y', 0, ' ', ' ', ' ', ' ', ' '},
    {'A', 'u', 'g', 'u', 's', 't', 0, ' ', ' ', ' '},
    {'S', 'e', 'p', 't', 'e', 'm', 'b', 'e', 'r', 0},
    {'O', 'c', 't', 'o', 'b', 'e', 'r', 0, ' ', ' '},
    {'N', 'o', 'v', 'e', 'm', 'b', 'e', 'r', 0, ' '},
    {'D', 'e', 'c', 'e', 'm', 'b', 'e', 'r', 0, ' '},
};

namespace {

// Days before each month of a common year, indexed 1 to 13.
const int32_t kDaysBefore[14] = {0, 0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365};

void fill(char* dest, int32_t n, char c) {
  if (n > 0) std::memset(dest, c, static_cast<size_t>(n));
}

// Copies at most `limit` characters of the first n of text (stopping at a NUL) into a
// terminated scratch area.
void scratchCopy(char* scratch, const char* text, int32_t n, int32_t limit) {
  int32_t i = 0;
  if (text != nullptr) {
    for (; i < n && i < limit && text[i] != '\0'; i++) scratch[i] = text[i];
  }
  scratch[i] = '\0';
}

// Year 0 (n = -1) is a leap year of 366 days: the divisions round down there, so
// that 0000-12-31 is the day before 0001-01-01 rather than the same day.
int64_t daysBeforeYear64(int64_t year) {
  int64_t n = year - 1;
  auto down = [n](int64_t d) { return n >= 0 ? n / d : -((-n + d - 1) / d); };
  return n * 365 + down(4) - down(100) + down(400);
}

// The local time is kept for the second it belongs to: an append rewrites the
// header date after every record, and localtime_r consults the time zone each
// call, while time() is cheap.  Per thread, so that no lock is needed.
void localNow(std::tm* out) {
  thread_local std::time_t cachedSecond = -1;
  thread_local std::tm cached{};
  std::time_t now = std::time(nullptr);
  if (now != cachedSecond) {
    localtime_r(&now, &cached);
    cachedSecond = now;
  }
  *out = cached;
}

void twoDigits(char* dest, int value) { numToText(value, dest, -2); }

}  // namespace

void numToText(int32_t value, char* dest, int32_t width) {
  int32_t n = width < 0 ? -width : width;
  if (n <= 0) return;
  // |INT32_MIN| does not fit an int32_t, so the magnitude is taken in 64 bits.
  int64_t magnitude = value < 0 ? -static_cast<int64_t>(value) : value;
  int32_t pos = n - 1;
  do {
    if (pos < 0) {
      fill(dest, n, '*');
      return;
    }
    dest[pos--] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  // The most significant digit is never a zero (a lone 0 is the last place): the
  // places before it are blanks, or zeros for a zero-padded width.
  fill(dest, pos + 1, width > 0 ? ' ' : '0');
  if (value < 0) {
    if (dest[0] != ' ') {
      fill(dest, n, '*');
      return;
    }
    int32_t firstDigit = 0;
    while (dest[firstDigit] == ' ') firstDigit++;
    dest[firstDigit - 1] = '-';
  }
}

void doubleToText(double value, char* dest, int32_t length, int32_t decimals) {
  if (length <= 0) return;
  fill(dest, length, '0');
  int32_t places = decimals < 1 ? 0 : decimals;
  if (places > 15) places = 15;
  if (places > length - 1) places = length - 1;
  int32_t w = length;
  if (places >= 1) {
    w = length - places - 1;
    dest[w] = '.';
  }
  if (!std::isfinite(value)) {
    fill(dest, length, '*');
    return;
  }

  // The fixed-point digits of |value| with `places` decimals, split into a digit string
  // without leading zeros and the position p of its decimal point (number of integer
  // digits; 0 or negative below 1, counting the zeros after the point).
  char text[400];
  std::snprintf(text, sizeof text, "%.*f", static_cast<int>(places), std::fabs(value));
  char digits[400];
  int32_t nDigits = 0;
  int32_t p = 0;
  const char* point = std::strchr(text, '.');
  int32_t intLength = point != nullptr ? static_cast<int32_t>(point - text)
                                       : static_cast<int32_t>(std::strlen(text));
  const char* fraction = point != nullptr ? point + 1 : "";
  if (!(intLength == 1 && text[0] == '0')) {
    std::memcpy(digits, text, static_cast<size_t>(intLength));
    nDigits = intLength;
    p = intLength;
    for (const char* f = fraction; *f != '\0'; f++) digits[nDigits++] = *f;
  } else {
    const char* f = fraction;
    int32_t zeros = 0;
    while (*f == '0') {
      f++;
      zeros++;
    }
    if (*f != '\0') {
      p = -zeros;
      for (; *f != '\0'; f++) digits[nDigits++] = *f;
    }
  }
  // A negative value that rounds to zero is written as zero: "-0.00" would be a
  // second text (and index key) for the same number.
  bool negative = value < 0 && nDigits > 0;

  int32_t signPos = p >= 1 ? w - p - 1 : (w == 1 ? 0 : w - 2);
  if (w < p || w < 0 || (negative && signPos < 0)) {
    fill(dest, length, '*');
    return;
  }
  if (p >= 1) {
    fill(dest, w - p, ' ');
    std::memcpy(dest + (w - p), digits, static_cast<size_t>(p));
  } else if (w >= 1) {
    fill(dest, w - 1, ' ');
    dest[w - 1] = '0';
  }
  if (negative) dest[signPos] = '-';
  if (places >= 1) {
    int32_t pos = w + 1;
    if (p < 0) pos += -p;
    int32_t from = p > 0 ? p : 0;
    for (int32_t i = from; i < nDigits && pos < length; i++) dest[pos++] = digits[i];
  }
}

int32_t textToInt(const char* text, int32_t n) {
  long value = textToLong(text, n);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

long textToLong(const char* text, int32_t n) {
  char scratch[128];
  scratchCopy(scratch, text, n, 127);
  errno = 0;
  return std::strtol(scratch, nullptr, 10);
}

double textToDouble(const char* text, int32_t n) {
  char scratch[50];
  scratchCopy(scratch, text, n, 49);
  // Only the plain decimal form is a number here (blanks, sign, digits, point,
  // exponent): dbf texts such as "inf", "nan" or "0x10" read as 0 or as their leading
  // digits, never as special values.
  const char* s = scratch;
  while (*s == ' ' || *s == '\t') s++;
  const char* start = s;
  if (*s == '+' || *s == '-') s++;
  while (std::isdigit(static_cast<unsigned char>(*s))) s++;
  if (*s == '.') {
    s++;
    while (std::isdigit(static_cast<unsigned char>(*s))) s++;
  }
  if (*s == 'e' || *s == 'E') {
    const char* e = s + 1;
    if (*e == '+' || *e == '-') e++;
    if (std::isdigit(static_cast<unsigned char>(*e))) {
      while (std::isdigit(static_cast<unsigned char>(*e))) e++;
      s = e;
    }
  }
  char number[50];
  size_t len = static_cast<size_t>(s - start);
  std::memcpy(number, start, len);
  number[len] = '\0';
  return std::strtod(number, nullptr);
}

int32_t copyBounded(char* dest, const char* source, int32_t size) {
  if (size < 1) return 0;
  int32_t i = 0;
  for (; i < size - 1 && source[i] != '\0'; i++) dest[i] = source[i];
  dest[i] = '\0';
  return i;
}

void trimTrailing(char* text, int32_t size) {
  if (size < 1) return;
  if (std::memchr(text, '\0', static_cast<size_t>(size)) == nullptr) text[size - 1] = '\0';
  size_t len = std::strlen(text);
  while (len > 0 && text[len - 1] == ' ') text[--len] = '\0';
}

void todayHeaderDate(uint8_t dest[3]) {
  std::tm now;
  localNow(&now);
  dest[0] = static_cast<uint8_t>(now.tm_year);
  dest[1] = static_cast<uint8_t>(now.tm_mon + 1);
  dest[2] = static_cast<uint8_t>(now.tm_mday);
}

void todayDate(char dest[8]) {
  std::tm now;
  localNow(&now);
  numToText(now.tm_year + 1900, dest, -4);
  twoDigits(dest + 4, now.tm_mon + 1);
  twoDigits(dest + 6, now.tm_mday);
}

void timeOfDay(char dest[8]) {
  std::tm now;
  localNow(&now);
  twoDigits(dest, now.tm_hour);
  dest[2] = ':';
  twoDigits(dest + 3, now.tm_min);
  dest[5] = ':';
  twoDigits(dest + 6, now.tm_sec);
}

bool isLeapYear(int32_t year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int32_t daysBeforeYear(int32_t year) {
  return static_cast<int32_t>(daysBeforeYear64(year));
}

int32_t dayOfYear(int32_t year, int32_t month, int32_t day) {
  if (year < 0 || month < 1 || month > 12 || day < 1) return -1;
  bool leap = isLeapYear(year);
  int32_t monthLength = kDaysBefore[month + 1] - kDaysBefore[month];
  if (month == 2 && leap) monthLength++;
  if (day > monthLength) return -1;
  return day + kDaysBefore[month] + (leap && month > 2 ? 1 : 0);
}

int32_t dateToJulian(const char* date) {
  int32_t year = textToInt(date, 4);
  if (year == 0 && std::memcmp(date, "        ", 8) == 0) return 0;
  int32_t k = dayOfYear(year, textToInt(date + 4, 2), textToInt(date + 6, 2));
  if (k <= 0) return -1;
  return static_cast<int32_t>(daysBeforeYear64(year) + k + 1721425);
}

int32_t dayFromNumber(double day) {
  if (!(day >= 1 && day <= INT32_MAX)) return 0;
  return static_cast<int32_t>(day);
}

void julianToDate(int32_t day, char* dest) {
  if (day <= 0) {
    fill(dest, 8, ' ');
    return;
  }
  int64_t n = static_cast<int64_t>(day) - 1721425;
  int64_t a = static_cast<int64_t>(static_cast<double>(n) / 365.2425);
  int64_t year = a + 1;
  int64_t r = n - daysBeforeYear64(year);
  if (r <= 0) {
    year = a;
    r = n - daysBeforeYear64(a);
  }
  bool leap = isLeapYear(static_cast<int32_t>(year));
  int64_t yearLength = leap ? 366 : 365;
  if (r > yearLength) {
    r -= yearLength;
    year++;
    leap = isLeapYear(static_cast<int32_t>(year));
  }
  int32_t month = 1;
  for (; month < 12; month++) {
    int32_t end = kDaysBefore[month + 1] + (leap && month >= 2 ? 1 : 0);
    if (r <= end) break;
  }
  int64_t dayOfMonth = r - kDaysBefore[month] - (leap && month > 2 ? 1 : 0);
  numToText(year > INT32_MAX ? INT32_MAX : static_cast<int32_t>(year), dest, -4);
  twoDigits(dest + 4, month);
  twoDigits(dest + 6, static_cast<int32_t>(dayOfMonth));
}

namespace {

void upperCase(char* text) {
  for (; *text != '\0'; text++) *text = static_cast<char>(std::toupper(static_cast<unsigned char>(*text)));
}

}  // namespace

void dateFormat(const char* date, char* dest, char* picture) {
  size_t length = std::strlen(picture);
  upperCase(picture);
  std::memcpy(dest, picture, length);
  dest[length] = '\0';

  static const char kTemplate[] = "CCYYMMDD";
  for (int t = 0; t < 8; t += 2) {
    const char* at = std::strchr(picture, kTemplate[t]);
    if (at == nullptr) continue;
    size_t i = static_cast<size_t>(at - picture);
    dest[i] = date[t];
    if (picture[i + 1] == kTemplate[t]) dest[i + 1] = date[t + 1];
  }

  // A run of more than two M letters shows the month name.
  const char* m = std::strchr(picture, 'M');
  if (m == nullptr) return;
  size_t start = static_cast<size_t>(m - picture);
  size_t run = 0;
  while (picture[start + run] == 'M') run++;
  if (run <= 2) return;
  if (date[4] == ' ' && date[5] == ' ') {
    std::memset(dest + start, ' ', run);
    return;
  }
  int32_t month = textToInt(date + 4, 2);
  if (month < 1) month = 1;
  if (month > 12) month = 12;
  size_t copied = run < 9 ? run : 9;
  for (size_t i = 0; i < copied; i++) {
    char c = monthNames[month][i];
    dest[start + i] = c == '\0' ? ' ' : c;
  }
  if (run > copied) std::memset(dest + start + copied, ' ', run - copied);
}

void dateParse(char* dest, const char* source, char* picture) {
  std::memset(dest, ' ', 8);
  upperCase(picture);
  size_t sourceLength = std::strlen(source);
  auto sourceAt = [&](size_t i) { return i < sourceLength ? source[i] : ' '; };

  int filledC = 0, filledY = 0, filledM = 0, filledD = 0;
  bool hasC = false, hasY = false, hasM = false, hasD = false;
  int mCount = 0;
  for (size_t i = 0; picture[i] != '\0'; i++) {
    switch (picture[i]) {
      case 'C':
        hasC = true;
        if (filledC < 2) dest[filledC++] = sourceAt(i);
        break;
      case 'Y':
        hasY = true;
        if (filledY < 2) dest[2 + filledY++] = sourceAt(i);
        break;
      case 'M':
        hasM = true;
        mCount++;
        if (filledM < 2) dest[4 + filledM++] = sourceAt(i);
        break;
      case 'D':
        hasD = true;
        if (filledD < 2) dest[6 + filledD++] = sourceAt(i);
        break;
      default:
        break;
    }
  }
  if (std::memcmp(dest, "        ", 8) == 0) return;
  if (!hasC) std::memcpy(dest, "19", 2);
  if (!hasY) std::memcpy(dest + 2, "01", 2);
  if (!hasM) std::memcpy(dest + 4, "01", 2);
  if (!hasD) std::memcpy(dest + 6, "01", 2);

  if (mCount > 2) {
    size_t start = static_cast<size_t>(std::strchr(picture, 'M') - picture);
    char name[4] = {0, 0, 0, 0};
    size_t n = 0;
    while (n < 3 && start + n < sourceLength) {
      name[n] = source[start + n];
      n++;
    }
    while (n > 0 && name[n - 1] == ' ') name[--n] = '\0';
    dest[4] = dest[5] = ' ';
    // An empty name matches no month (it would otherwise equal every name's first
    // zero characters and read as January).
    if (n > 0) {
      name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
      for (size_t i = 1; i < n; i++) {
        name[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(name[i])));
      }
      for (int32_t month = 1; month <= 12; month++) {
        if (std::memcmp(name, monthNames[month], n) == 0) {
          twoDigits(dest + 4, month);
          break;
        }
      }
    }
  }
  for (int i = 0; i < 8; i++) {
    if (dest[i] == ' ') dest[i] = '0';
  }
}
