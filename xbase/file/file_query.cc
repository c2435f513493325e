// Questions about files by name and identity, for engine code above the file layer.
#include <strings.h>

#include <string>
#include <vector>

#include "xbase/file/file.h"
#include "xbase/file/file_internal.h"
#include "xbase/file/os.h"

int fileExistsNamed(const char* name, bool* found, const char* spelling, bool exactName) {
  *found = false;
  std::string path;
  int rc = osPathOf(name, &path, spelling, exactName);
  if (rc != 0) return rc;
  return osFiles().exists(path.c_str(), found);
}

void fileRemoveNamed(const char* name) {
  std::string path;
  if (osPathOf(name, &path) == 0) osFiles().remove(path.c_str());
}

bool fileHasCaseTwin(const std::string& path) {
  const size_t cut = path.rfind('/');
  const std::string dir = cut == std::string::npos ? "." : cut == 0 ? "/" : path.substr(0, cut);
  const std::string base = cut == std::string::npos ? path : path.substr(cut + 1);
  std::vector<std::string> entries;
  if (osFiles().listDir(dir.c_str(), &entries) != 0) return false;
  int equal = 0;
  for (const std::string& entry : entries)
    if (strcasecmp(entry.c_str(), base.c_str()) == 0) ++equal;
  return equal > 1;
}

bool fileIdentity(const RawFile* file, uint64_t* device, uint64_t* inode) {
  return file->handle >= 0 && osFiles().identity(file->handle, device, inode) == 0;
}
