#include "ocilite/values.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace ocilite {

namespace {

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

OraError checkLength(std::string_view value, const ColumnType &t, const Target &names) {
  if (t.length <= 0) return {};
  size_t actual = t.charSemantics ? utf8Length(value) : value.size();
  if (actual > static_cast<size_t>(t.length))
    return valueTooLarge(names.schema, names.table, names.column, actual, static_cast<size_t>(t.length));
  return {};
}

void setText(std::string_view s, Stored &out) {
  out.type = Stored::Type::Text;
  out.bytes = s.data();
  out.size = s.size();
}

// Text into a character column: length check, CHAR padding.
OraError characterToStored(std::string_view text, const ColumnType &t, const Target &names, std::string &buffer,
                           Stored &out) {
  OraError err = checkLength(text, t, names);
  if (err.failed()) return err;
  if (t.kind == ColumnKind::Char && t.length > 0) {
    size_t have = t.charSemantics ? utf8Length(text) : text.size();
    if (have < static_cast<size_t>(t.length)) {
      buffer.assign(text);
      buffer.append(static_cast<size_t>(t.length) - have, ' ');
      setText(buffer, out);
      return {};
    }
  }
  setText(text, out);
  return {};
}

void numberStorage(const Decimal &d, std::string &buffer, Stored &out) {
  if (toInt64(d, out.i)) {
    out.type = Stored::Type::Int;
    return;
  }
  if (d.digits.size() <= 15 && d.point > -290 && d.point < 290) {
    out.type = Stored::Type::Real;
    // Digits D and e decimals with D below 10^15 and e at most 22: D and 10^e are
    // exact doubles, so one division gives the correctly rounded value, the one
    // strtod gives, without writing and reading the text (done for every bound
    // amount of an import).
    int decimals = static_cast<int>(d.digits.size()) - d.point;
    if (decimals >= 1 && decimals <= 22) {
      static const double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                      1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
      int64_t digits = 0;
      for (char c : d.digits) digits = digits * 10 + (c - '0');
      out.d = static_cast<double>(digits) / kPow10[decimals];
      if (d.negative) out.d = -out.d;
      return;
    }
    buffer = toPlainText(d);
    out.d = std::strtod(buffer.c_str(), nullptr);
    return;
  }
  buffer = toPlainText(d);
  out.type = Stored::Type::Blob;
  out.bytes = buffer.data();
  out.size = buffer.size();
}

constexpr uint64_t kPow10u[] = {1ull,
                                10ull,
                                100ull,
                                1000ull,
                                10000ull,
                                100000ull,
                                1000000ull,
                                10000000ull,
                                100000000ull,
                                1000000000ull,
                                10000000000ull,
                                100000000000ull,
                                1000000000000ull,
                                10000000000000ull,
                                100000000000000ull,
                                1000000000000000ull,
                                10000000000000000ull,
                                100000000000000000ull,
                                1000000000000000000ull};

int decimalDigits(uint64_t m) {
  int n = 1;
  while (n < 19 && m >= kPow10u[n]) ++n;
  return n;
}

}  // namespace

bool fixedTextToStored(std::string_view text, char decimalChar, const ColumnType &t, Stored &out) {
  size_t i = 0, n = text.size();
  while (i < n && (text[i] == ' ' || text[i] == '\t')) ++i;
  while (n > i && (text[n - 1] == ' ' || text[n - 1] == '\t')) --n;
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  // Value = m / 10^e, at most 18 significant digits.
  uint64_t m = 0;
  int e = 0, significant = 0;
  bool anyDigit = false, seenPoint = false;
  for (; i < n; ++i) {
    char c = text[i];
    if (c >= '0' && c <= '9') {
      anyDigit = true;
      if (m != 0 || c != '0') ++significant;
      if (significant > 18) return false;
      m = m * 10 + static_cast<unsigned>(c - '0');
      if (seenPoint) ++e;
    } else if (c == decimalChar && !seenPoint) {
      seenPoint = true;
    } else {
      return false;  // an exponent or another shape: the general way decides
    }
  }
  if (!anyDigit || e > 18) return false;
  if (t.scale != -127) {
    // NUMBER(p,s): rounded half away from zero to s decimals, then no more
    // than p - s digits left of the point.
    if (t.scale < 0) return false;
    if (e > t.scale) {
      int drop = e - t.scale;
      uint64_t unit = kPow10u[drop];
      uint64_t rest = m % unit;
      m /= unit;
      if (rest >= unit / 2) ++m;
      e = t.scale;
    }
    int precision = t.precision > 0 ? t.precision : 38;
    if (m != 0 && decimalDigits(m) - e > precision - t.scale) return false;
  } else if (t.precision > 0 && t.oraType == 2) {
    // FLOAT(b): values with more digits than b allows are rounded the general way.
    uint64_t trimmed = m;
    while (trimmed != 0 && trimmed % 10 == 0) trimmed /= 10;
    if (trimmed != 0 && decimalDigits(trimmed) > (t.precision * 30103 + 99999) / 100000) return false;
  }
  while (e > 0 && m != 0 && m % 10 == 0) {
    m /= 10;
    --e;
  }
  if (m == 0) {
    out.type = Stored::Type::Int;
    out.i = 0;
    return true;
  }
  if (e == 0) {
    out.type = Stored::Type::Int;
    out.i = negative ? -static_cast<int64_t>(m) : static_cast<int64_t>(m);
    return true;
  }
  if (decimalDigits(m) > 15) return false;  // kept as exact text
  // m below 10^15 and 10^e are exact doubles: one correctly rounded division.
  static const double kPow10[] = {1e0, 1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,
                                  1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18};
  out.type = Stored::Type::Real;
  out.d = static_cast<double>(m) / kPow10[e];
  if (negative) out.d = -out.d;
  return true;
}

size_t utf8Length(std::string_view s) {
  size_t n = 0;
  for (char c : s)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  return n;
}

void appendHex(const unsigned char *p, size_t n, std::string &out) {
  static const char digits[] = "0123456789ABCDEF";
  for (size_t i = 0; i < n; ++i) {
    out += digits[p[i] >> 4];
    out += digits[p[i] & 15];
  }
}

size_t integerText(int64_t v, char *buf) {
  // Digits by hand: every whole number a query turns into text comes here.
  uint64_t mag = v < 0 ? uint64_t{0} - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  char rev[20];
  size_t n = 0;
  do {
    rev[n++] = static_cast<char>('0' + mag % 10);
    mag /= 10;
  } while (mag != 0);
  size_t len = 0;
  if (v < 0) buf[len++] = '-';
  while (n > 0) buf[len++] = rev[--n];
  buf[len] = '\0';
  return len;
}

OraError fitNumber(Decimal &d, const ColumnType &t) {
  if (t.scale != -127) {
    roundToScale(d, t.scale);
    int precision = t.precision > 0 ? t.precision : 38;
    if (!d.isZero() && d.point > precision - t.scale) return oraError(1438);
  } else if (t.precision > 0 && t.oraType == 2) {
    // FLOAT(b): b binary digits, about 0.30103 decimal digits each.
    roundToDigits(d, (t.precision * 30103 + 99999) / 100000);
  } else {
    roundToDigits(d, 40);
  }
  if (!d.isZero() && (d.point > 126 || d.point < -129)) return oraError(1426);
  return {};
}

OraError numberToStored(const Decimal &value, const ColumnType &t, const Nls &nls, const Target &names,
                        std::string &buffer, Decimal &number, Stored &out) {
  switch (t.kind) {
    case ColumnKind::Number: {
      if (&number != &value) number = value;
      OraError err = fitNumber(number, t);
      if (err.failed()) return err;
      numberStorage(number, buffer, out);
      return {};
    }
    case ColumnKind::Date:
    case ColumnKind::Raw:
    case ColumnKind::Blob: return OraError(932, "inconsistent datatypes: expected " +
                                                    std::string(t.kind == ColumnKind::Date ? "DATE" : "BINARY") +
                                                    " got NUMBER");
    default: {
      buffer = toOracleText(value, nls.decimal);
      OraError err = checkLength(buffer, t, names);
      if (err.failed()) return err;
      if (t.kind == ColumnKind::Char && buffer.size() < static_cast<size_t>(t.length))
        buffer.append(static_cast<size_t>(t.length) - buffer.size(), ' ');
      setText(buffer, out);
      return {};
    }
  }
}

OraError textToStored(std::string_view text, const ColumnType &t, const Nls &nls, const Target &names,
                      std::string &buffer, Decimal &number, Stored &out) {
  if (text.empty()) {
    out.type = Stored::Type::Null;
    return {};
  }
  switch (t.kind) {
    case ColumnKind::Number: {
      if (fixedTextToStored(text, nls.decimal, t, out)) return {};
      if (!parseDecimal(text, nls.decimal, number)) return oraError(1722);
      OraError err = fitNumber(number, t);
      if (err.failed()) return err;
      numberStorage(number, buffer, out);
      return {};
    }
    case ColumnKind::Date: {
      Date d;
      int rc = nls.dateFormat.parse(text, d);
      if (rc) return oraError(rc);
      storedDate(d, buffer);
      setText(buffer, out);
      return {};
    }
    case ColumnKind::Raw:
    case ColumnKind::Blob: {
      // Character data into RAW is read as hexadecimal.
      buffer.clear();
      size_t i = 0;
      if (text.size() % 2) {
        int lo = hexDigit(text[0]);
        if (lo < 0) return oraError(1465);
        buffer += static_cast<char>(lo);
        i = 1;
      }
      for (; i < text.size(); i += 2) {
        int hi = hexDigit(text[i]), lo = hexDigit(text[i + 1]);
        if (hi < 0 || lo < 0) return oraError(1465);
        buffer += static_cast<char>(hi * 16 + lo);
      }
      OraError err = checkLength(buffer, t, names);
      if (err.failed()) return err;
      out.type = Stored::Type::Blob;
      out.bytes = buffer.data();
      out.size = buffer.size();
      return {};
    }
    default: return characterToStored(text, t, names, buffer, out);
  }
}

OraError bytesToStored(std::string_view bytes, const ColumnType &t, const Nls &nls, const Target &names,
                       std::string &buffer, Decimal &number, Stored &out) {
  if (bytes.empty()) {
    out.type = Stored::Type::Null;
    return {};
  }
  switch (t.kind) {
    case ColumnKind::Raw:
    case ColumnKind::Blob:
    case ColumnKind::Unknown: {
      OraError err = checkLength(bytes, t, names);
      if (err.failed()) return err;
      out.type = Stored::Type::Blob;
      out.bytes = bytes.data();
      out.size = bytes.size();
      return {};
    }
    case ColumnKind::Number:
    case ColumnKind::Date:
      return OraError(932, "inconsistent datatypes: expected " +
                               std::string(t.kind == ColumnKind::Date ? "DATE" : "NUMBER") + " got BINARY");
    default: {
      std::string hex;
      appendHex(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size(), hex);
      buffer.swap(hex);
      OraError err = checkLength(buffer, t, names);
      if (err.failed()) return err;
      setText(buffer, out);
      return {};
    }
  }
}

bool storedNumber(sqlite3_value *v, Decimal &out) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER: out = decimalFromInt(sqlite3_value_int64(v)); return true;
    case SQLITE_FLOAT: out = decimalFromDouble(sqlite3_value_double(v)); return true;
    case SQLITE_TEXT:
    case SQLITE_BLOB: {
      const char *p = static_cast<const char *>(sqlite3_value_blob(v));
      int n = sqlite3_value_bytes(v);
      return parseDecimal(std::string_view(p ? p : "", static_cast<size_t>(n)), '.', out);
    }
    default: return false;
  }
}

void storedToText(sqlite3_value *v, const ColumnType &t, const Nls &nls, std::string &out) {
  int type = sqlite3_value_type(v);
  if (type == SQLITE_INTEGER && (t.kind == ColumnKind::Number || t.kind == ColumnKind::Unknown ||
                                 t.kind == ColumnKind::Text || t.kind == ColumnKind::Char ||
                                 t.kind == ColumnKind::Long || t.kind == ColumnKind::Clob)) {
    char buf[24];
    out.append(buf, integerText(sqlite3_value_int64(v), buf));
  } else if (t.kind == ColumnKind::Number || type == SQLITE_FLOAT) {
    if (type == SQLITE_FLOAT) {
      char buf[48];
      size_t n = doubleText(sqlite3_value_double(v), nls.decimal, buf);
      if (n) {
        out.append(buf, n);
        return;
      }
    }
    Decimal d;
    if (storedNumber(v, d)) {
      out += toOracleText(d, nls.decimal);
    } else {
      out.append(reinterpret_cast<const char *>(sqlite3_value_text(v)), static_cast<size_t>(sqlite3_value_bytes(v)));
    }
  } else if (t.kind == ColumnKind::Date && type == SQLITE_TEXT) {
    std::string_view text(reinterpret_cast<const char *>(sqlite3_value_text(v)),
                          static_cast<size_t>(sqlite3_value_bytes(v)));
    Date d;
    if (readStoredDate(text, d))
      out += nls.dateFormat.format(d);
    else
      out += text;
  } else if (type == SQLITE_BLOB && t.kind != ColumnKind::Unknown && t.kind != ColumnKind::Clob &&
             t.kind != ColumnKind::Long) {
    appendHex(static_cast<const unsigned char *>(sqlite3_value_blob(v)), static_cast<size_t>(sqlite3_value_bytes(v)),
              out);
  } else {
    const char *p = reinterpret_cast<const char *>(type == SQLITE_BLOB ? sqlite3_value_blob(v) : sqlite3_value_text(v));
    size_t n = static_cast<size_t>(sqlite3_value_bytes(v));
    size_t start = out.size();
    if (p) out.append(p, n);
    if (t.kind == ColumnKind::Char && t.length > 0) {
      std::string_view have(out.data() + start, out.size() - start);
      size_t len = t.charSemantics ? utf8Length(have) : have.size();
      if (len < static_cast<size_t>(t.length)) out.append(static_cast<size_t>(t.length) - len, ' ');
    }
  }
}

}  // namespace ocilite
