#include "ocilite/datefmt.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace ocilite {

namespace {

const char *const kMonths[12] = {"JANUARY", "FEBRUARY", "MARCH",     "APRIL",   "MAY",      "JUNE",
                                 "JULY",    "AUGUST",   "SEPTEMBER", "OCTOBER", "NOVEMBER", "DECEMBER"};
const char *const kDays[7] = {"SUNDAY", "MONDAY", "TUESDAY", "WEDNESDAY", "THURSDAY", "FRIDAY", "SATURDAY"};

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(s[i])) != prefix[i]) return false;
  return true;
}

// Upper, capitalised or lower case after the model's spelling ("MON", "Mon", "mon").
std::string cased(std::string_view name, const std::string &spelling) {
  std::string out(name);
  bool firstUpper = !spelling.empty() && std::isupper(static_cast<unsigned char>(spelling[0]));
  bool secondUpper = spelling.size() > 1 && std::isupper(static_cast<unsigned char>(spelling[1]));
  for (size_t i = 0; i < out.size(); ++i) {
    bool up = i == 0 ? firstUpper : secondUpper;
    out[i] = static_cast<char>(up ? std::toupper(static_cast<unsigned char>(out[i]))
                                  : std::tolower(static_cast<unsigned char>(out[i])));
  }
  return out;
}

int dayOfWeek(int y, int m, int d) {  // 0 = Sunday
  static const int t[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  if (m < 3) y -= 1;
  return ((y + y / 4 - y / 100 + y / 400 + t[m - 1] + d) % 7 + 7) % 7;
}

// Writes `value` zero-padded to `width` digits at `to`; returns the count.
// Digits by hand: this runs for every date that a query turns into text and
// every date an import binds.
size_t putNumber(char *to, int value, int width) {
  // The common widths of dates first: two digits, four-digit years.
  if (width == 2 && value >= 0 && value < 100) {
    to[0] = static_cast<char>('0' + value / 10);
    to[1] = static_cast<char>('0' + value % 10);
    return 2;
  }
  if (width == 4 && value >= 0 && value < 10000) {
    to[0] = static_cast<char>('0' + value / 1000);
    to[1] = static_cast<char>('0' + value / 100 % 10);
    to[2] = static_cast<char>('0' + value / 10 % 10);
    to[3] = static_cast<char>('0' + value % 10);
    return 4;
  }
  if (value < 0) {
    char buf[16];
    int n = std::snprintf(buf, sizeof buf, "%0*d", width, value);
    std::memcpy(to, buf, static_cast<size_t>(n));
    return static_cast<size_t>(n);
  }
  char rev[16];
  int n = 0;
  do {
    rev[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (n < width && n < static_cast<int>(sizeof rev)) rev[n++] = '0';
  for (int k = 0; k < n; ++k) to[k] = rev[n - 1 - k];
  return static_cast<size_t>(n);
}

void appendNumber(std::string &out, int value, int width) {
  char buf[16];
  out.append(buf, putNumber(buf, value, width));
}

// Kept for the second it belongs to: every date text bound by an import is read
// through here, and localtime_r consults the time zone each call while time() is
// cheap.  Per thread, so that no lock is needed.
void currentYearMonth(int &year, int &month) {
  thread_local std::time_t keptSecond = -1;
  thread_local int keptYear = 0, keptMonth = 0;
  std::time_t now = std::time(nullptr);
  if (now != keptSecond) {
    std::tm local{};
    localtime_r(&now, &local);
    keptYear = local.tm_year + 1900;
    keptMonth = local.tm_mon + 1;
    keptSecond = now;
  }
  year = keptYear;
  month = keptMonth;
}

}  // namespace

int daysInMonth(int year, int month) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2) {
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return leap ? 29 : 28;
  }
  return days[month - 1];
}

int DateFormat::compile(std::string_view model) {
  struct Token {
    const char *name;
    Kind kind;
  };
  // Longest spellings first.
  static const Token tokens[] = {
      {"YYYY", Kind::Year4},   {"SYYYY", Kind::Year4},  {"RRRR", Kind::RoundYear4}, {"YYY", Kind::Year3},
      {"YY", Kind::Year2},     {"RR", Kind::RoundYear2}, {"Y", Kind::Year1},        {"MONTH", Kind::MonthName},
      {"MON", Kind::MonthAbbr}, {"MM", Kind::Month},     {"DDD", Kind::DayOfYear},  {"DD", Kind::Day},
      {"DAY", Kind::DayName},  {"DY", Kind::DayAbbr},    {"HH24", Kind::Hour24},    {"HH12", Kind::Hour12},
      {"HH", Kind::Hour12},    {"MI", Kind::Minute},     {"SS", Kind::Second},      {"AM", Kind::Meridian},
      {"PM", Kind::Meridian},  {"A.M.", Kind::Meridian}, {"P.M.", Kind::Meridian},
  };
  std::vector<Element> elements;
  size_t i = 0;
  while (i < model.size()) {
    char c = model[i];
    if (c == '"') {
      size_t end = model.find('"', i + 1);
      if (end == std::string_view::npos) return 1821;
      elements.push_back({Kind::Literal, std::string(model.substr(i + 1, end - i - 1))});
      i = end + 1;
      continue;
    }
    if (!std::isalnum(static_cast<unsigned char>(c))) {
      elements.push_back({Kind::Punct, std::string(1, c)});
      ++i;
      continue;
    }
    if (startsWithNoCase(model.substr(i), "FM") || startsWithNoCase(model.substr(i), "FX")) {
      i += 2;  // fill and exact modes change padding only; accepted and ignored
      continue;
    }
    bool matched = false;
    for (const Token &t : tokens) {
      std::string_view name = t.name;
      if (startsWithNoCase(model.substr(i), name)) {
        elements.push_back({t.kind, std::string(model.substr(i, name.size()))});
        i += name.size();
        matched = true;
        break;
      }
    }
    if (!matched) return 1821;
  }
  auto numeric = [](Kind k) {
    return k == Kind::Year4 || k == Kind::Year3 || k == Kind::Year2 || k == Kind::Year1 || k == Kind::RoundYear2 ||
           k == Kind::RoundYear4 || k == Kind::Month || k == Kind::Day || k == Kind::DayOfYear ||
           k == Kind::Hour12 || k == Kind::Hour24 || k == Kind::Minute || k == Kind::Second;
  };
  for (size_t k = 0; k < elements.size(); ++k) {
    if (!numeric(elements[k].kind)) continue;
    elements[k].packed = (k > 0 && numeric(elements[k - 1].kind)) ||
                         (k + 1 < elements.size() && numeric(elements[k + 1].kind));
  }
  elements_ = std::move(elements);
  model_ = std::string(model);
  return 0;
}

std::string DateFormat::format(const Date &d) const {
  std::string out;
  for (const Element &e : elements_) {
    switch (e.kind) {
      case Kind::Year4:
      case Kind::RoundYear4: appendNumber(out, d.year, 4); break;
      case Kind::Year3: appendNumber(out, d.year % 1000, 3); break;
      case Kind::Year2:
      case Kind::RoundYear2: appendNumber(out, d.year % 100, 2); break;
      case Kind::Year1: appendNumber(out, d.year % 10, 1); break;
      case Kind::Month: appendNumber(out, d.month, 2); break;
      case Kind::MonthAbbr: out += cased(std::string_view(kMonths[d.month - 1], 3), e.text); break;
      case Kind::MonthName: {
        std::string name = cased(kMonths[d.month - 1], e.text);
        name.resize(9, ' ');
        out += name;
        break;
      }
      case Kind::Day: appendNumber(out, d.day, 2); break;
      case Kind::DayOfYear: {
        int n = d.day;
        for (int m = 1; m < d.month; ++m) n += daysInMonth(d.year, m);
        appendNumber(out, n, 3);
        break;
      }
      case Kind::DayAbbr: out += cased(std::string_view(kDays[dayOfWeek(d.year, d.month, d.day)], 3), e.text); break;
      case Kind::DayName: {
        std::string name = cased(kDays[dayOfWeek(d.year, d.month, d.day)], e.text);
        name.resize(9, ' ');
        out += name;
        break;
      }
      case Kind::Hour24: appendNumber(out, d.hour, 2); break;
      case Kind::Hour12: appendNumber(out, d.hour % 12 == 0 ? 12 : d.hour % 12, 2); break;
      case Kind::Minute: appendNumber(out, d.minute, 2); break;
      case Kind::Second: appendNumber(out, d.second, 2); break;
      case Kind::Meridian: {
        bool dots = e.text.size() == 4;
        const char *text = d.hour < 12 ? (dots ? "A.M." : "AM") : (dots ? "P.M." : "PM");
        out += cased(text, e.text);
        break;
      }
      case Kind::Punct:
      case Kind::Literal: out += e.text; break;
    }
  }
  return out;
}

int DateFormat::parse(std::string_view text, Date &out) const {
  int curYear, curMonth;
  currentYearMonth(curYear, curMonth);
  int year = curYear, month = curMonth, day = 1, hour = 0, minute = 0, second = 0;
  int dayOfYear = 0;
  bool pm = false, hour12 = false;
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;

  const Element *current = nullptr;
  auto readNumber = [&](int width, int &value) -> int {
    size_t start = i;
    value = 0;
    while (i < text.size() && i - start < static_cast<size_t>(width) &&
           std::isdigit(static_cast<unsigned char>(text[i]))) {
      value = value * 10 + (text[i] - '0');
      ++i;
    }
    if (i == start) return i >= text.size() ? 1840 : 1858;
    if (current->packed && i - start < static_cast<size_t>(width)) return i >= text.size() ? 1840 : 1858;
    return 0;
  };

  for (const Element &e : elements_) {
    current = &e;
    int rc = 0, v = 0;
    switch (e.kind) {
      case Kind::Year4:
      case Kind::RoundYear4:
        rc = readNumber(4, v);
        year = v;
        if (e.kind == Kind::RoundYear4 && i > 0 && v < 100) year = v < 50 ? 2000 + v : 1900 + v;
        break;
      case Kind::Year3:
        rc = readNumber(3, v);
        year = curYear / 1000 * 1000 + v;
        break;
      case Kind::Year2:
        rc = readNumber(2, v);
        year = curYear / 100 * 100 + v;
        break;
      case Kind::Year1:
        rc = readNumber(1, v);
        year = curYear / 10 * 10 + v;
        break;
      case Kind::RoundYear2: {
        rc = readNumber(2, v);
        int century = curYear / 100 * 100, cur2 = curYear % 100;
        if (v < 50 && cur2 >= 50) century += 100;
        if (v >= 50 && cur2 < 50) century -= 100;
        year = century + v;
        break;
      }
      case Kind::Month:
        rc = readNumber(2, v);
        month = v;
        break;
      case Kind::MonthAbbr:
      case Kind::MonthName: {
        if (i >= text.size()) return 1840;
        int found = 0;
        for (int m = 0; m < 12 && !found; ++m) {
          std::string_view full = kMonths[m];
          if (startsWithNoCase(text.substr(i), full)) {
            i += full.size();
            found = m + 1;
          } else if (startsWithNoCase(text.substr(i), full.substr(0, 3))) {
            i += 3;
            found = m + 1;
          }
        }
        if (!found) return 1843;
        month = found;
        break;
      }
      case Kind::Day:
        rc = readNumber(2, v);
        day = v;
        break;
      case Kind::DayOfYear:
        rc = readNumber(3, v);
        dayOfYear = v;
        break;
      case Kind::DayAbbr:
      case Kind::DayName: {
        bool found = false;
        for (int k = 0; k < 7 && !found; ++k) {
          std::string_view full = kDays[k];
          if (startsWithNoCase(text.substr(i), full)) {
            i += full.size();
            found = true;
          } else if (startsWithNoCase(text.substr(i), full.substr(0, 3))) {
            i += 3;
            found = true;
          }
        }
        if (!found) return 1846;
        break;
      }
      case Kind::Hour24:
        rc = readNumber(2, v);
        hour = v;
        if (!rc && v > 23) return 1850;
        break;
      case Kind::Hour12:
        rc = readNumber(2, v);
        hour = v;
        hour12 = true;
        if (!rc && (v < 1 || v > 12)) return 1850;
        break;
      case Kind::Minute:
        rc = readNumber(2, v);
        minute = v;
        if (!rc && v > 59) return 1851;
        break;
      case Kind::Second:
        rc = readNumber(2, v);
        second = v;
        if (!rc && v > 59) return 1852;
        break;
      case Kind::Meridian: {
        if (startsWithNoCase(text.substr(i), "AM") || startsWithNoCase(text.substr(i), "PM")) {
          pm = std::toupper(static_cast<unsigned char>(text[i])) == 'P';
          i += 2;
        } else if (startsWithNoCase(text.substr(i), "A.M.") || startsWithNoCase(text.substr(i), "P.M.")) {
          pm = std::toupper(static_cast<unsigned char>(text[i])) == 'P';
          i += 4;
        } else {
          return 1861;
        }
        break;
      }
      case Kind::Punct:
        // Any punctuation of the text matches; punctuation may be left out.
        if (i < text.size() && !std::isalnum(static_cast<unsigned char>(text[i]))) ++i;
        break;
      case Kind::Literal:
        if (text.substr(i, e.text.size()) != e.text) return 1861;
        i += e.text.size();
        break;
    }
    if (rc) return rc;
  }
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  if (i < text.size()) return 1830;
  if (hour12) hour = hour % 12 + (pm ? 12 : 0);
  if (year == 0) return 1841;
  if (dayOfYear) {
    month = 1;
    while (month < 12 && dayOfYear > daysInMonth(year, month)) dayOfYear -= daysInMonth(year, month++);
    day = dayOfYear;
  }
  if (month < 1 || month > 12) return 1843;
  if (day < 1 || day > 31) return 1847;
  if (day > daysInMonth(year, month)) return 1839;
  out = Date{year, month, day, hour, minute, second};
  return 0;
}

std::string storedDate(const Date &d) {
  std::string out;
  storedDate(d, out);
  return out;
}

void storedDate(const Date &d, std::string &out) {
  // Written into a fixed buffer and handed over at once.
  char buf[96];
  size_t n = putNumber(buf, d.year, 4);
  buf[n++] = '-';
  n += putNumber(buf + n, d.month, 2);
  buf[n++] = '-';
  n += putNumber(buf + n, d.day, 2);
  buf[n++] = ' ';
  n += putNumber(buf + n, d.hour, 2);
  buf[n++] = ':';
  n += putNumber(buf + n, d.minute, 2);
  buf[n++] = ':';
  n += putNumber(buf + n, d.second, 2);
  out.assign(buf, n);
}

bool readStoredDate(std::string_view text, Date &out) {
  auto num = [&](size_t at, size_t width, int &v) {
    if (at + width > text.size()) return false;
    v = 0;
    for (size_t k = at; k < at + width; ++k) {
      if (static_cast<unsigned char>(text[k] - '0') > 9) return false;
      v = v * 10 + (text[k] - '0');
    }
    return true;
  };
  Date d;
  if (!num(0, 4, d.year) || text.size() < 10 || text[4] != '-' || !num(5, 2, d.month) || text[7] != '-' ||
      !num(8, 2, d.day))
    return false;
  if (text.size() > 10) {
    if ((text[10] != ' ' && text[10] != 'T') || !num(11, 2, d.hour) || text.size() < 16 || text[13] != ':' ||
        !num(14, 2, d.minute))
      return false;
    if (text.size() > 16 && (text[16] != ':' || !num(17, 2, d.second))) return false;
  }
  if (d.month < 1 || d.month > 12 || d.day < 1 || d.day > daysInMonth(d.year, d.month)) return false;
  out = d;
  return true;
}

}  // namespace ocilite
