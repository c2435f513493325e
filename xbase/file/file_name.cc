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

namespace {

// Where the extension rule puts the name's extension: the offset of its '.', or the
// name's length when it has none.  The extension starts at the last '.' of the base
// name, so a dot in a directory name is never taken for an extension.
size_t extensionAt(std::string_view name) {
  const std::string_view base = fileBaseName(name);
  const size_t dot = base.rfind('.');
  return dot == std::string_view::npos ? name.size() : name.size() - base.size() + dot;
}

bool hasLowerCase(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char ch) { return ch >= 'a' && ch <= 'z'; });
}

}  // namespace

int fileSetExtension(char* name, int32_t bufferSize, const char* ext, int force) {
  if (name == nullptr || bufferSize < 1) return -1;
  const void* end = std::memchr(name, '\0', static_cast<size_t>(bufferSize));
  if (end == nullptr) return -1;
  size_t length = static_cast<size_t>(static_cast<const char*>(end) - name);

  size_t at = extensionAt(std::string_view(name, length));
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

std::string fileSpelling(std::string_view name, const char* ext, bool force) {
  std::string spelling = fileSystemName(name);
  const size_t at = extensionAt(spelling);
  if (at != spelling.size() && !force) return spelling;
  std::string_view given = ext == nullptr ? "" : ext;
  if (!given.empty() && given.front() == '.') given.remove_prefix(1);
  std::string extension(given);
  // In the case of the extension it replaces, else of the base name.
  const bool lower = hasLowerCase(at != spelling.size() ? std::string_view(spelling).substr(at)
                                                        : fileBaseName(spelling));
  for (char& ch : extension)
    ch = static_cast<char>(lower ? std::tolower(static_cast<unsigned char>(ch))
                                 : std::toupper(static_cast<unsigned char>(ch)));
  spelling.resize(at);
  return spelling + "." + extension;
}

std::string fileSpelledName(std::string_view name, const char* ext) {
  return fileEngineName(fileSpelling(name, ext, false));
}

int osPathOf(const char* name, std::string* path, const char* spelling, bool exactName) {
  if (name == nullptr || *name == '\0') return ENOENT;
  if (std::strlen(name) >= PATH_MAX) return ENAMETOOLONG;
  // The caller's spelling is looked up in place of the engine's upper-case name when it
  // names the same path ignoring case.
  std::string wanted = fileSystemName(name);
  if (spelling != nullptr) {
    std::string spelled = fileSystemName(spelling);
    if (strcasecmp(spelled.c_str(), wanted.c_str()) == 0) wanted = std::move(spelled);
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
    const bool last = pos >= wanted.size();
    if (!found && !(exactName && last) &&
        os.listDir(dir.empty() ? "." : dir.c_str(), &entries) == 0) {
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
