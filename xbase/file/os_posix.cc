// The POSIX implementation of the file seam: one system call per operation, errno as
// the result.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "xbase/file/os.h"

namespace {

int retryOnSignal(int rc) { return rc < 0 ? errno : 0; }

class PosixFiles final : public OsFiles {
 public:
  // Only regular files are data files.  A FIFO would block the open (and every
  // read) and a device would read without end, so the open does not wait
  // (O_NONBLOCK) and anything but a regular file is refused like a missing one.
  // Waiting is switched back on for the regular file that remains.
  int open(const char* path, int flags, int mode, int* fd) override {
    int h;
    do {
      h = ::open(path, flags | O_CLOEXEC | O_NONBLOCK, mode);
    } while (h < 0 && errno == EINTR);
    if (h < 0) return errno;
    struct stat st;
    int err = 0;
    if (::fstat(h, &st) != 0)
      err = errno;
    else if (!S_ISREG(st.st_mode))
      err = S_ISDIR(st.st_mode) ? EISDIR : ENODEV;
    else if (::fcntl(h, F_SETFL, ::fcntl(h, F_GETFL) & ~O_NONBLOCK) != 0)
      err = errno;
    if (err != 0) {
      ::close(h);
      return err;
    }
    *fd = h;
    return 0;
  }

  int close(int fd) override { return retryOnSignal(::close(fd)); }

  int pread(int fd, void* buffer, size_t n, int64_t offset, size_t* done) override {
    ssize_t got;
    do {
      got = ::pread(fd, buffer, n, static_cast<off_t>(offset));
    } while (got < 0 && errno == EINTR);
    if (got < 0) return errno;
    *done = static_cast<size_t>(got);
    return 0;
  }

  int pwrite(int fd, const void* data, size_t n, int64_t offset, size_t* done) override {
    ssize_t put;
    do {
      put = ::pwrite(fd, data, n, static_cast<off_t>(offset));
    } while (put < 0 && errno == EINTR);
    if (put < 0) return errno;
    *done = static_cast<size_t>(put);
    return 0;
  }

  int size(int fd, int64_t* length) override {
    struct stat st;
    if (::fstat(fd, &st) != 0) return errno;
    *length = st.st_size;
    return 0;
  }

  int identity(int fd, uint64_t* device, uint64_t* inode) override {
    struct stat st;
    if (::fstat(fd, &st) != 0) return errno;
    *device = static_cast<uint64_t>(st.st_dev);
    *inode = static_cast<uint64_t>(st.st_ino);
    return 0;
  }

  int truncate(int fd, int64_t length) override {
    int rc;
    do {
      rc = ::ftruncate(fd, static_cast<off_t>(length));
    } while (rc < 0 && errno == EINTR);
    return retryOnSignal(rc);
  }

  int sync(int fd) override { return retryOnSignal(::fsync(fd)); }

  int startWriteback(int fd, int64_t offset, int64_t length) override {
#ifdef SYNC_FILE_RANGE_WRITE
    return retryOnSignal(::sync_file_range(fd, static_cast<off_t>(offset),
                                           static_cast<off_t>(length), SYNC_FILE_RANGE_WRITE));
#else
    return 0;
#endif
  }

  int dropCached(int fd, int64_t offset, int64_t length) override {
#ifdef POSIX_FADV_DONTNEED
    // posix_fadvise answers with the error number itself.
    return ::posix_fadvise(fd, static_cast<off_t>(offset), static_cast<off_t>(length),
                           POSIX_FADV_DONTNEED);
#else
    return 0;
#endif
  }

  int shareLock(int fd, bool exclusive) override {
    int rc;
    do {
      rc = ::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB);
    } while (rc < 0 && errno == EINTR);
    return retryOnSignal(rc);
  }

  int rangeLock(int fd, bool lock, int64_t offset, int64_t length) override {
    struct flock request;
    std::memset(&request, 0, sizeof request);
    request.l_type = lock ? F_WRLCK : F_UNLCK;
    request.l_whence = SEEK_SET;
    request.l_start = static_cast<off_t>(offset);
    request.l_len = static_cast<off_t>(length);
    request.l_pid = 0;  // required to be 0 for open-file-description locks
    return retryOnSignal(::fcntl(fd, F_OFD_SETLK, &request));
  }

  int remove(const char* path) override { return retryOnSignal(::unlink(path)); }

  int exists(const char* path, bool* found) override {
    struct stat st;
    if (::lstat(path, &st) == 0) {
      *found = true;
      return 0;
    }
    if (errno == ENOENT || errno == ENOTDIR) {
      *found = false;
      return 0;
    }
    return errno;
  }

  int listDir(const char* dir, std::vector<std::string>* names) override {
    DIR* d = ::opendir(dir);
    if (d == nullptr) return errno;
    names->clear();
    errno = 0;
    while (dirent* entry = ::readdir(d)) {
      if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
      names->emplace_back(entry->d_name);
    }
    int err = errno;
    ::closedir(d);
    return err;
  }

  int64_t clockMillis() override {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
  }

  void sleepMillis(int32_t ms) override {
    if (ms <= 0) return;
    timespec wait{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
  }
};

PosixFiles posixFiles;
OsFiles* installed = &posixFiles;

}  // namespace

OsFiles& osFiles() { return *installed; }
OsFiles& osPosix() { return posixFiles; }

OsFiles* osInstall(OsFiles* files) {
  OsFiles* previous = installed;
  installed = files != nullptr ? files : &posixFiles;
  return previous;
}
