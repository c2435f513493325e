#include "tools/dbftool/text_out.h"

#include <cstdint>
#include <cstdio>

namespace dbftool {
namespace {

// Code page 866, bytes 0x80 to 0xFF.
constexpr uint16_t kCp866[128] = {
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
    0x0401, 0x0451, 0x0404, 0x0454, 0x0407, 0x0457, 0x040E, 0x045E,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x2116, 0x00A4, 0x25A0, 0x00A0,
};

constexpr uint32_t kReplacement = 0xFFFD;

void appendCodePoint(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Decodes one well-formed UTF-8 sequence at bytes[i]; returns its length, or 0
// when the byte does not start one (overlong forms and surrogates included).
size_t decodeUtf8(std::string_view bytes, size_t i, uint32_t* c) {
  auto b = [&](size_t k) { return static_cast<unsigned char>(bytes[k]); };
  unsigned char lead = b(i);
  size_t n;
  uint32_t v;
  uint32_t min;
  if (lead < 0x80) { *c = lead; return 1; }
  if (lead >= 0xC2 && lead <= 0xDF) { n = 2; v = lead & 0x1F; min = 0x80; }
  else if (lead >= 0xE0 && lead <= 0xEF) { n = 3; v = lead & 0x0F; min = 0x800; }
  else if (lead >= 0xF0 && lead <= 0xF4) { n = 4; v = lead & 0x07; min = 0x10000; }
  else return 0;
  if (i + n > bytes.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    if ((b(i + k) & 0xC0) != 0x80) return 0;
    v = (v << 6) | (b(i + k) & 0x3F);
  }
  if (v < min || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return 0;
  *c = v;
  return n;
}

// Calls emit(codePoint) for each character of the bytes in the encoding.
template <typename Emit>
void forEachChar(std::string_view bytes, Encoding encoding, Emit emit) {
  for (size_t i = 0; i < bytes.size();) {
    unsigned char b = static_cast<unsigned char>(bytes[i]);
    if (b < 0x80) { emit(b); ++i; continue; }
    switch (encoding) {
      case Encoding::Cp866: emit(kCp866[b - 0x80]); ++i; break;
      case Encoding::Latin1: emit(b); ++i; break;
      case Encoding::Utf8: {
        uint32_t c = 0;
        size_t n = decodeUtf8(bytes, i, &c);
        if (n == 0) { emit(kReplacement); ++i; } else { emit(c); i += n; }
        break;
      }
    }
  }
}

bool isControl(uint32_t c) { return c < 0x20 || c == 0x7F; }

}  // namespace

bool parseEncoding(std::string_view name, Encoding* out) {
  std::string lower;
  for (char ch : name) lower += static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch + 32 : ch);
  if (lower == "cp866") { *out = Encoding::Cp866; return true; }
  if (lower == "latin1") { *out = Encoding::Latin1; return true; }
  if (lower == "utf8" || lower == "utf-8") { *out = Encoding::Utf8; return true; }
  return false;
}

std::string toUtf8(std::string_view bytes, Encoding encoding) {
  std::string out;
  out.reserve(bytes.size());
  forEachChar(bytes, encoding, [&](uint32_t c) { appendCodePoint(out, c); });
  return out;
}

std::string utf8ToCp866(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    uint32_t c = 0;
    size_t n = decodeUtf8(text, i, &c);
    if (n == 0) {
      out += text[i++];
      continue;
    }
    i += n;
    if (c < 0x80) {
      out += static_cast<char>(c);
      continue;
    }
    char byte = '?';
    for (int k = 0; k < 128; ++k)
      if (kCp866[k] == c) {
        byte = static_cast<char>(0x80 + k);
        break;
      }
    out += byte;
  }
  return out;
}

std::string displayText(std::string_view bytes, Encoding encoding, size_t* width) {
  std::string out;
  size_t chars = 0;
  forEachChar(bytes, encoding, [&](uint32_t c) {
    if (isControl(c)) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\x%02X", static_cast<unsigned>(c));
      out += esc;
      chars += 4;
    } else {
      appendCodePoint(out, c);
      chars += 1;
    }
  });
  if (width) *width = chars;
  return out;
}

std::string jsonString(std::string_view bytes, Encoding encoding) {
  std::string out = "\"";
  forEachChar(bytes, encoding, [&](uint32_t c) {
    switch (c) {
      case '"': out += "\\\""; return;
      case '\\': out += "\\\\"; return;
      case '\n': out += "\\n"; return;
      case '\r': out += "\\r"; return;
      case '\t': out += "\\t"; return;
      default: break;
    }
    if (isControl(c)) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04x", static_cast<unsigned>(c));
      out += esc;
    } else {
      appendCodePoint(out, c);
    }
  });
  out += '"';
  return out;
}

std::string csvField(std::string_view bytes, Encoding encoding) {
  std::string body;
  bool quote = false;
  forEachChar(bytes, encoding, [&](uint32_t c) {
    if (c == ',' || c == '\r' || c == '\n') quote = true;
    if (c == '"') { quote = true; body += "\"\""; return; }
    if (isControl(c) && c != '\r' && c != '\n' && c != '\t') {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\x%02X", static_cast<unsigned>(c));
      body += esc;
      return;
    }
    appendCodePoint(body, c);
  });
  return quote ? "\"" + body + "\"" : body;
}

}  // namespace dbftool
