#include "tools/dbftool/text_out.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "xbase/data/code_page.h"

namespace dbftool {
namespace {

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
    switch (encoding.kind) {
      case Encoding::Kind::CodePage: {
        const uint32_t* table = codePageCharacters(encoding.codePage);
        emit(table ? table[b] : kReplacement);
        ++i;
        break;
      }
      case Encoding::Kind::Latin1: emit(b); ++i; break;
      case Encoding::Kind::Utf8: {
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

const Encoding Encoding::Cp866 = {Encoding::Kind::CodePage, 866};
const Encoding Encoding::Latin1 = {Encoding::Kind::Latin1, 0};
const Encoding Encoding::Utf8 = {Encoding::Kind::Utf8, 0};

bool parseEncoding(std::string_view name, Encoding* out) {
  std::string lower;
  for (char ch : name) lower += static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch + 32 : ch);
  if (lower == "latin1") { *out = Encoding::Latin1; return true; }
  if (lower == "utf8" || lower == "utf-8") { *out = Encoding::Utf8; return true; }
  if (lower.size() < 5 || lower.size() > 6 || lower.compare(0, 2, "cp") != 0 ||
      lower.find_first_not_of("0123456789", 2) != std::string::npos)
    return false;
  const int codePage = std::atoi(lower.c_str() + 2);
  if (languageDriverOfCodePage(codePage) < 0 || codePageCharacters(codePage) == nullptr) return false;
  *out = Encoding::ofCodePage(codePage);
  return true;
}

bool encodingUsable(const Encoding& encoding) {
  return encoding.kind != Encoding::Kind::CodePage || codePageCharacters(encoding.codePage) != nullptr;
}

std::string toUtf8(std::string_view bytes, Encoding encoding) {
  std::string out;
  out.reserve(bytes.size());
  forEachChar(bytes, encoding, [&](uint32_t c) { appendCodePoint(out, c); });
  return out;
}

std::string utf8ToCodePage(std::string_view text, int codePage) {
  const uint32_t* table = codePageCharacters(codePage);
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
    for (int k = 0x80; table && k < 256; ++k)
      if (table[k] == c) {
        byte = static_cast<char>(k);
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
