// libocilite's number and date conversions: parseDecimal with rounding and
// the texts back, DateFormat compile / parse / format, the stored date form.
// Input: a selector byte, then model "\n" text.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "ocilite/datefmt.h"
#include "ocilite/number.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  if (size < 1) return 0;
  uint8_t selector = bytes[0];
  fuzz::Parts parts(bytes + 1, size - 1, "\n");
  std::string_view model = parts.next();
  std::string_view text = parts.next();

  // Numbers: the plain text of a parsed value parses to the same value.
  ocilite::Decimal d;
  char decimalChar = (selector & 1) ? ',' : '.';
  // Exponents saturate far beyond any NUMBER's range; below that the plain text
  // reads back as the same value.
  if (ocilite::parseDecimal(text, decimalChar, d) && d.point > -50000000 && d.point < 50000000) {
    std::string plain = ocilite::toPlainText(d);
    ocilite::Decimal again;
    if (!ocilite::parseDecimal(plain, '.', again) || again.digits != d.digits ||
        again.point != d.point || again.negative != d.negative)
      __builtin_trap();
    ocilite::toOracleText(d, decimalChar);
    int64_t whole;
    ocilite::toInt64(d, whole);
    ocilite::Decimal rounded = d;
    ocilite::roundToScale(rounded, static_cast<int8_t>(selector) / 4);
    ocilite::toOracleText(rounded, '.');
    rounded = d;
    ocilite::roundToDigits(rounded, 1 + (selector >> 3));
    ocilite::toPlainText(rounded);
  }

  // Dates through a model, and the stored form.
  ocilite::DateFormat format;
  if (format.compile(model) == 0) {
    ocilite::Date date;
    if (format.parse(text, date) == 0) {
      if (date.month < 1 || date.month > 12 || date.day < 1 ||
          date.day > ocilite::daysInMonth(date.year, date.month))
        __builtin_trap();
      format.format(date);
      ocilite::Date back;
      if (!ocilite::readStoredDate(ocilite::storedDate(date), back)) __builtin_trap();
    }
  }
  ocilite::Date stored;
  ocilite::readStoredDate(text, stored);
  return 0;
}
