// Questions about files by name and identity, for engine code above the file layer.
#include <string>

#include "xbase/file/file.h"
#include "xbase/file/file_internal.h"
#include "xbase/file/os.h"

int fileExistsNamed(const char* name, bool* found) {
  *found = false;
  std::string path;
  int rc = osPathOf(name, &path);
  if (rc != 0) return rc;
  return osFiles().exists(path.c_str(), found);
}

void fileRemoveNamed(const char* name) {
  std::string path;
  if (osPathOf(name, &path) == 0) osFiles().remove(path.c_str());
}

bool fileIdentity(const RawFile* file, uint64_t* device, uint64_t* inode) {
  return file->handle >= 0 && osFiles().identity(file->handle, device, inode) == 0;
}
