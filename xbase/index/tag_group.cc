// The two layouts of an index group file: reading its bytes into tag names, and
// what a name listed in a group may be.
#include <string>
#include <vector>

#include "xbase/index/ntx_internal.h"

namespace ntx {

namespace {

bool separator(char ch) { return ch == '\t' || ch == '\n' || ch == '\r' || ch == 0x1A || ch == ' '; }

// The counted layout, when every entry fits the file and the name limit.
bool parseCounted(const std::string& bytes, std::vector<std::string>* names) {
  const uint8_t* b = reinterpret_cast<const uint8_t*>(bytes.data());
  if (bytes.size() < 2) return false;
  size_t n = b[0], at = 2;
  std::vector<std::string> out;
  for (size_t i = 0; i < n; ++i) {
    if (at + 4 > bytes.size()) return false;
    size_t l = get32(b + at);
    at += 4;
    if (l == 0 || l > bytes.size() - at || l >= static_cast<size_t>(kGroupNameLimit)) return false;
    out.push_back(bytes.substr(at, l));
    at += l;
  }
  *names = std::move(out);
  return true;
}

}  // namespace

bool groupParse(const std::string& bytes, std::vector<std::string>* names, bool* counted) {
  names->clear();
  *counted = false;
  if (bytes.empty()) return true;
  // A first byte below 'A' announces the counted layout.  A text layout whose first
  // name starts with a digit has one too; its bytes never hold the small lengths of
  // counted entries, so such a file is read as text.
  if (static_cast<uint8_t>(bytes[0]) < 'A' && parseCounted(bytes, names)) {
    *counted = true;
    return true;
  }
  std::string current;
  for (char ch : bytes) {
    if (separator(ch)) {
      if (!current.empty()) names->push_back(current);
      current.clear();
    } else {
      current += ch;
    }
  }
  if (!current.empty()) names->push_back(current);
  for (const std::string& name : *names)
    if (name.size() >= static_cast<size_t>(kGroupNameLimit)) return false;
  return true;
}

std::string groupPlainName(const std::string& name) {
  std::string rest = name;
  while (rest.size() > 2 && rest[0] == '.' && (rest[1] == '/' || rest[1] == '\\')) rest.erase(0, 2);
  if (rest.empty() || rest == "." || rest == "..") return std::string();
  for (char ch : rest)
    if (ch == '/' || ch == '\\' || ch == ':' || static_cast<uint8_t>(ch) < 0x20 || ch == 0x7F)
      return std::string();
  return rest;
}

}  // namespace ntx
