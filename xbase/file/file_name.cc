// File names: the default-extension rule, and the mapping of the engine's names (a
// case-insensitive system with '\' as separator) onto POSIX paths.
#include <limits.h>
#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "xbase/file/file.h"
#include "xbase/file/file_internal.h"
#include "xbase/file/file_name.h"
#include "xbase/file/os.h"

std::string fileEngineName(std::string_view name) {
  std::string engine(name);
  std::replace(engine.begin(), engine.end(), '/', '\\');
  return engine;
}

std::string fileSystemName(std::string_view name) {
  std::string system(name);
  std::replace(system.begin(), system.end(), '\\', '/');
  return system;
}

std::string_view fileBaseName(std::string_view path, bool drive) {
  const size_t cut = path.find_last_of(drive ? "\\/:" : "\\/");
  return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

int fileSetExtension(char* name, int32_t bufferSize, const char* ext, int force) {
  if (name == nullptr || bufferSize < 1) return -1;
  const void* end = std::memchr(name, '\0', static_cast<size_t>(bufferSize));
  if (end == nullptr) return -1;
  size_t length = static_cast<size_t>(static_cast<const char*>(end) - name);

  // The extension starts at the last '.' of the base name, so a dot in a directory name
  // is never taken for an extension.
  const std::string_view base = fileBaseName(std::string_view(name, length));
  const size_t dot = base.rfind('.');
  size_t at = dot == std::string_view::npos ? length : length - base.size() + dot;
  bool hasExtension = at != length;
  if (!hasExtension || force) {
    if (ext == nullptr) ext = "";
    if (*ext == '.') ext++;
    size_t extLength = std::strlen(ext);
    if (at + 1 + extLength + 1 > static_cast<size_t>(bufferSize)) return -1;
    name[at] = '.';
    std::memcpy(name + at + 1, ext, extLength + 1);
  }
  // The engine's own form of the name: upper case, '\' between directories.
  const std::string engine = fileEngineName(name);
  for (size_t i = 0; i < engine.size(); i++)
    name[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(engine[i])));
  return 0;
}

int osPathOf(const char* name, std::string* path) {
  if (name == nullptr || *name == '\0') return ENOENT;
  if (std::strlen(name) >= PATH_MAX) return ENAMETOOLONG;
  const std::string wanted = fileSystemName(name);
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
