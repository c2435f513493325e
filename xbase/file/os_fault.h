// A fault-injecting OsFiles for tests: forwards to another implementation (the POSIX
// one by default) and, on command, fails the Nth call of a kind, answers "held by
// another" to range locks, shortens reads, or runs a fake clock.
//
// Typical fault loop:
//   for (int n = 1;; ++n) {
//     OsFaultScope faults;                       // installed until end of scope
//     faults->failNth(OsCall::write, n, ENOSPC);
//     ... run the operation, check result or expected error ...
//     if (!faults->fired()) break;               // the operation made fewer calls
//   }
#pragma once

#include <array>
#include <cerrno>

#include "xbase/file/os.h"

class OsFaultFiles : public OsFiles {
 public:
  explicit OsFaultFiles(OsFiles& inner = osPosix()) : inner_(inner) {}

  // The nth call of kind counted from now (1-based) fails with err; persistent makes
  // every later call of that kind fail too.
  void failNth(OsCall kind, int n, int err, bool persistent = false);
  // A crash at the nth write from now (1-based): that write and every later call that
  // would change a file (write, truncate, sync, remove) fail with EIO, so the files
  // stay as a process killed just before that write left them.
  void crashAtWrite(int n);
  bool crashed() const { return crashAt_ != 0 && calls(OsCall::write) >= crashAt_; }
  // The nth read from now (1-based) delivers at most keep bytes.
  void shortRead(int n, size_t keep);
  // The next `times` range-lock requests (-1: all) answer EAGAIN without asking.
  void lockBusy(int times, int err = EAGAIN);
  // Replaces the wall clock by a fake one starting at millis; sleeps advance it.
  void fakeClock(int64_t millis);
  int64_t fakeNow() const { return fakeMillis_; }
  // Calls of a kind made through this wrapper, and whether any fault fired.
  int calls(OsCall kind) const { return calls_[static_cast<size_t>(kind)]; }
  bool fired() const { return fired_; }
  int sleeps() const { return sleeps_; }

  int open(const char* path, int flags, int mode, int* fd) override;
  int close(int fd) override;
  int pread(int fd, void* buffer, size_t n, int64_t offset, size_t* done) override;
  int pwrite(int fd, const void* data, size_t n, int64_t offset, size_t* done) override;
  int size(int fd, int64_t* length) override;
  int identity(int fd, uint64_t* device, uint64_t* inode) override;  // counted as size
  int truncate(int fd, int64_t length) override;
  int sync(int fd) override;
  int startWriteback(int fd, int64_t offset, int64_t length) override;
  int dropCached(int fd, int64_t offset, int64_t length) override;  // counted as writeback
  int shareLock(int fd, bool exclusive) override;
  int rangeLock(int fd, bool lock, int64_t offset, int64_t length) override;
  int remove(const char* path) override;
  int exists(const char* path, bool* found) override;
  int listDir(const char* dir, std::vector<std::string>* names) override;
  int64_t clockMillis() override;
  void sleepMillis(int32_t ms) override;

 private:
  // Counts the call; returns the errno to fail it with, or 0.
  int enter(OsCall kind);

  struct Fault {
    int at = 0;          // call number that fails; 0: none
    int err = 0;
    bool persistent = false;
  };
  OsFiles& inner_;
  std::array<int, static_cast<size_t>(OsCall::count)> calls_{};
  std::array<Fault, static_cast<size_t>(OsCall::count)> faults_{};
  int crashAt_ = 0;
  int shortAt_ = 0;
  size_t shortKeep_ = 0;
  int busyLeft_ = 0;
  int busyErr_ = EAGAIN;
  bool fake_ = false;
  int64_t fakeMillis_ = 0;
  int sleeps_ = 0;
  bool fired_ = false;
};

// Installs an OsFaultFiles for the lifetime of the scope and restores the previous
// implementation afterwards.
class OsFaultScope {
 public:
  OsFaultScope() : previous_(osInstall(&files_)) {}
  ~OsFaultScope() { osInstall(previous_); }
  OsFaultScope(const OsFaultScope&) = delete;
  OsFaultScope& operator=(const OsFaultScope&) = delete;
  OsFaultFiles* operator->() { return &files_; }
  OsFaultFiles& files() { return files_; }

 private:
  OsFaultFiles files_;
  OsFiles* previous_;
};
