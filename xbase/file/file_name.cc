// File names: the default-extension rule, and the mapping of the engine's names (a
// case-insensitive system with '\' as separator) onto POSIX paths.
#include <limits.h>
#include <strings.h>

#include <cctype>
#include <cerrno>
#include <cstring>

#include "xbase/file/file.h"
#include "xbase/file/file_internal.h"
#include "xbase/file/os.h"

int fileSetExtension(char* name, int32_t bufferSize, const char* ext, int force) {
  if (name == nullptr || bufferSize < 1) return -1;
  const void* end = std::memchr(name, '\0', static_cast<size_t>(bufferSize));
  if (end == nullptr) return -1;
  size_t length = static_cast<size_t>(static_cast<const char*>(end) - name);

  // The extension starts at the last '.' after the last directory separator.  '/' counts
  // as a separator too, so a dot in a directory name is never taken for an extension.
  size_t at = length;
  for (size_t i = length; i-- > 0;) {
    if (name[i] == '\\' || name[i] == '/') break;
    if (name[i] == '.') {
      at = i;
      break;
    }
  }
  bool hasExtension = at != length;
  if (!hasExtension || force) {
    if (ext == nullptr) ext = "";
    if (*ext == '.') ext++;
    size_t extLength = std::strlen(ext);
    if (at + 1 + extLength + 1 > static_cast<size_t>(bufferSize)) return -1;
    name[at] = '.';
    std::memcpy(name + at + 1, ext, extLength + 1);
  }
  for (char* p = name; *p != '\0'; p++) *p = static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
  return 0;
}

int osPathOf(const char* name, std::string* path) {
  if (name == nullptr || *name == '\0') return ENOENT;
  std::string wanted(name);
  if (wanted.size() >= PATH_MAX) return ENAMETOOLONG;
  for (char& c : wanted) {
    if (c == '\\') c = '/';
  }
  OsFiles& os = osFiles();
  bool found = false;
  if (int err = os.exists(wanted.c_str(), &found)) return err;
  if (found) {
    *path = wanted;
    return 0;
  }

  std::string result = wanted[0] == '/' ? "/" : "";
  size_t pos = 0;
  std::vector<std::string> entries;
  while (pos < wanted.size()) {
    size_t slash = wanted.find('/', pos);
    if (slash == std::string::npos) slash = wanted.size();
    std::string part = wanted.substr(pos, slash - pos);
    pos = slash + 1;
    if (part.empty()) continue;
    if (part.size() > NAME_MAX) return ENAMETOOLONG;
    std::string dir = result;
    if (!result.empty() && result.back() != '/') result += '/';
    std::string exact = result + part;
    if (part == "." || part == "..") {
      result = exact;
      continue;
    }
    if (int err = os.exists(exact.c_str(), &found)) return err;
    if (!found && os.listDir(dir.empty() ? "." : dir.c_str(), &entries) == 0) {
      const std::string* match = nullptr;
      for (const std::string& entry : entries) {
        if (strcasecmp(entry.c_str(), part.c_str()) != 0) continue;
        if (match != nullptr) return ENOENT;  // ambiguous: fails as a missing file
        match = &entry;
      }
      if (match != nullptr) exact = result + *match;
    }
    result = exact;
  }
  if (result.size() >= PATH_MAX) return ENAMETOOLONG;
  *path = result;
  return 0;
}
