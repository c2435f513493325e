#include "front/text_file.h"

#include <sys/stat.h>

std::FILE* openTextForReading(const std::string& name) {
  std::FILE* file = std::fopen(name.c_str(), "r");
  if (!file) return nullptr;
  struct stat info {};
  if (fstat(fileno(file), &info) != 0 || S_ISDIR(info.st_mode)) {
    std::fclose(file);
    return nullptr;
  }
  return file;
}
