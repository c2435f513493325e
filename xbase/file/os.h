// The file layer's one seam to the operating system.
//
// Every system call the engine makes on files (open, pread, pwrite, fstat, ftruncate,
// fsync, sync_file_range, posix_fadvise, flock, fcntl, unlink, directory listing) and every clock read of the file
// layer goes through the OsFiles installed here.  There is one POSIX implementation;
// tests install a wrapper (os_fault.h) that fails the Nth call of a kind, answers
// EAGAIN to a lock, returns a short read or runs a fake clock.
//
// Every call returns 0 on success or the errno value of the failure; out-parameters
// are only meaningful on success.  Paths are the operating system's (slashes, exact
// spelling): the name mapping happens above, in the file layer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The kinds of calls, for counting and fault injection.
enum class OsCall : uint8_t {
  open, close, read, write, size, truncate, sync, shareLock, rangeLock, remove,
  exists, listDir, writeback, count
};

class OsFiles {
 public:
  virtual ~OsFiles() = default;
  // open(2) with flags and mode; *fd receives the descriptor.
  virtual int open(const char* path, int flags, int mode, int* fd) = 0;
  virtual int close(int fd) = 0;
  // One pread(2)/pwrite(2); *done receives the byte count (may be short).
  virtual int pread(int fd, void* buffer, size_t n, int64_t offset, size_t* done) = 0;
  virtual int pwrite(int fd, const void* data, size_t n, int64_t offset, size_t* done) = 0;
  virtual int size(int fd, int64_t* length) = 0;
  // The device and inode of an open file (fstat(2)): two descriptors with equal
  // identities name the same file whatever the spellings they were opened by.
  virtual int identity(int fd, uint64_t* device, uint64_t* inode) = 0;
  virtual int truncate(int fd, int64_t length) = 0;
  virtual int sync(int fd) = 0;
  // Asks the system to start writing the length bytes at offset out to the device,
  // without waiting (sync_file_range(2) where there is one).  A hint: the data is in
  // the file already, and an implementation without such a call does nothing.
  virtual int startWriteback(int fd, int64_t offset, int64_t length) { return 0; }
  // Tells the system that the length bytes at offset will not be read again soon, so
  // that their pages, once written out, may go (posix_fadvise(2) POSIX_FADV_DONTNEED).
  // A hint as well.
  virtual int dropCached(int fd, int64_t offset, int64_t length) { return 0; }
  // Non-blocking whole-file share lock: exclusive or shared flock(2).
  virtual int shareLock(int fd, bool exclusive) = 0;
  // Non-blocking open-file-description byte-range write lock (lock) or release.
  virtual int rangeLock(int fd, bool lock, int64_t offset, int64_t length) = 0;
  virtual int remove(const char* path) = 0;
  // *found: whether path names an existing directory entry.
  virtual int exists(const char* path, bool* found) = 0;
  // Entry names of a directory, "." and ".." left out.
  virtual int listDir(const char* dir, std::vector<std::string>* names) = 0;
  // Wall clock in milliseconds since the epoch, and a sleep.
  virtual int64_t clockMillis() = 0;
  virtual void sleepMillis(int32_t ms) = 0;
};

// The installed implementation (the POSIX one unless a test installed another).
OsFiles& osFiles();
// The POSIX implementation itself.
OsFiles& osPosix();
// Installs files (null: the POSIX one again) and returns the previous one.
OsFiles* osInstall(OsFiles* files);
