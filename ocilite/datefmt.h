// Oracle DATE values and datetime format models (NLS_DATE_FORMAT, TO_CHAR,
// TO_DATE).
//
// The store keeps a DATE as the text "YYYY-MM-DD HH:MM:SS".  A format model
// is compiled once into elements; text is read and written through it the
// way Oracle's default (non-FX) conversion does: leading blanks ignored,
// numeric elements take up to their width in digits, punctuation in the
// model matches any punctuation in the text or may be left out.
#ifndef DRIFT_OCILITE_DATEFMT_H
#define DRIFT_OCILITE_DATEFMT_H

#include <string>
#include <string_view>
#include <vector>

namespace ocilite {

struct Date {
  int year = 1, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

class DateFormat {
 public:
  // Compiles a model; returns 0 or the ORA number of the failure (01821).
  int compile(std::string_view model);

  // Formats `d` through the model.
  std::string format(const Date &d) const;

  // Reads `text` through the model; returns 0 or the ORA error number.  In a
  // packed model such as YYYYMMDD each number needs all its digits: text
  // that ends early is ORA-01840, never a shorter date read silently.
  // (01858, 01861, 01840, 01830, 01843, 01847, 01839, 01841, 0185x).
  int parse(std::string_view text, Date &out) const;

  const std::string &model() const { return model_; }

 private:
  enum class Kind {
    Year4, Year3, Year2, Year1, RoundYear2, RoundYear4, Month, MonthAbbr, MonthName,
    Day, DayOfYear, DayAbbr, DayName, Hour12, Hour24, Minute, Second, Meridian, Punct, Literal
  };
  struct Element {
    Kind kind;
    std::string text;  // literal text, or the model spelling (for case)
    // A numeric element next to another numeric element with nothing in
    // between ("YYYYMMDD"): the text has no separator to end a short number,
    // so it must give all the element's digits.
    bool packed = false;
  };
  std::vector<Element> elements_;
  std::string model_;
};

// The stored form "YYYY-MM-DD HH:MM:SS" and back.  readStoredDate also takes
// "YYYY-MM-DD", a 'T' separator and fractional seconds; false otherwise.
std::string storedDate(const Date &d);
// The same into `out`, reusing its buffer (no allocation per row).
void storedDate(const Date &d, std::string &out);
bool readStoredDate(std::string_view text, Date &out);

// Days in a month of the proleptic Gregorian calendar.
int daysInMonth(int year, int month);

}  // namespace ocilite

#endif
