#include "front/text_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::FILE* openTextForReading(const std::string& name) {
  // O_NONBLOCK keeps the open of a FIFO from waiting for a writer; only a regular
  // file is read, with waiting switched back on.
  const int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
      fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    ::close(fd);
    return nullptr;
  }
  std::FILE* file = fdopen(fd, "r");
  if (!file) ::close(fd);
  return file;
}
