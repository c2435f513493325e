// The engine's conversions between dbf field texts and values: dateParse and
// dateFormat through a picture, dateToJulian / julianToDate, textToDouble /
// textToLong, doubleToText and numToText.  Every output buffer is allocated at
// exactly the size the routine may use, so a write past it is caught.
// Input: picture "\n" text, then 16 bytes of numbers (double, width, decimals).
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz/fuzz_support.h"
#include "xbase/file/conv.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  double value = 0;
  int32_t width = 0, decimals = 0;
  if (size >= 16) {
    size -= 16;
    memcpy(&value, bytes + size, 8);
    memcpy(&width, bytes + size + 8, 4);
    memcpy(&decimals, bytes + size + 12, 4);
  }
  fuzz::Parts parts(bytes, size, "\n");
  std::string picture(parts.next());
  std::string source(parts.next());
  picture = picture.substr(0, picture.find('\0'));
  source = source.substr(0, source.find('\0'));

  // Text to date and back through the picture.
  std::string pictureCopy = picture;
  std::unique_ptr<char[]> date(new char[8]);
  dateParse(date.get(), source.c_str(), pictureCopy.data());
  int32_t day = dateToJulian(date.get());
  // dateToJulian reads each part as a number and so tolerates stray characters;
  // a date of digits only must come back unchanged.
  bool digitsOnly = true;
  for (int i = 0; i < 8; ++i) digitsOnly = digitsOnly && date[i] >= '0' && date[i] <= '9';
  if (day > 0 && digitsOnly) {
    std::unique_ptr<char[]> again(new char[8]);
    julianToDate(day, again.get());
    if (memcmp(again.get(), date.get(), 8) != 0) __builtin_trap();  // a valid date round-trips
  }
  std::unique_ptr<char[]> shown(new char[picture.size() + 1]);
  pictureCopy = picture;
  dateFormat(date.get(), shown.get(), pictureCopy.data());
  if (source.size() >= 8) dateToJulian(source.data());
  julianToDate(width, date.get());

  // Number texts.
  int32_t n = static_cast<int32_t>(source.size());
  double read = textToDouble(source.c_str(), n);
  textToLong(source.c_str(), n);
  textToInt(source.c_str(), n);
  int32_t length = 1 + static_cast<int32_t>(static_cast<uint32_t>(width) % 40);
  std::unique_ptr<char[]> text(new char[length]);
  doubleToText(value, text.get(), length, decimals);
  doubleToText(read, text.get(), length, decimals % 20);
  // A value that fits its width and decimals reads back within rounding.
  if (std::isfinite(value) && std::fabs(value) < 1e12 && decimals >= 0 && decimals <= 4 &&
      length >= 20 && decimals < length - 1) {
    doubleToText(value, text.get(), length, decimals);
    double back = textToDouble(std::string(text.get(), length).c_str(), length);
    if (std::fabs(back - value) > std::pow(10.0, -decimals) * 0.5 + 1e-3) __builtin_trap();
  }
  int32_t numWidth = static_cast<int32_t>(decimals % 12);
  std::unique_ptr<char[]> digits(new char[numWidth < 0 ? -numWidth + 1 : numWidth + 1]);
  numToText(width, digits.get(), numWidth);
  return 0;
}
