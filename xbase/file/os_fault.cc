#include "xbase/file/os_fault.h"

void OsFaultFiles::failNth(OsCall kind, int n, int err, bool persistent) {
  Fault& fault = faults_[static_cast<size_t>(kind)];
  fault.at = calls(kind) + n;
  fault.err = err;
  fault.persistent = persistent;
}

void OsFaultFiles::crashAtWrite(int n) { crashAt_ = calls(OsCall::write) + n; }

void OsFaultFiles::shortRead(int n, size_t keep) {
  shortAt_ = calls(OsCall::read) + n;
  shortKeep_ = keep;
}

void OsFaultFiles::lockBusy(int times, int err) {
  busyLeft_ = times;
  busyErr_ = err;
}

void OsFaultFiles::fakeClock(int64_t millis) {
  fake_ = true;
  fakeMillis_ = millis;
}

int OsFaultFiles::enter(OsCall kind) {
  size_t k = static_cast<size_t>(kind);
  int call = ++calls_[k];
  if (crashAt_ != 0 && calls_[static_cast<size_t>(OsCall::write)] >= crashAt_ &&
      (kind == OsCall::write || kind == OsCall::truncate || kind == OsCall::sync ||
       kind == OsCall::remove)) {
    fired_ = true;
    return EIO;
  }
  const Fault& fault = faults_[k];
  if (fault.at != 0 && (call == fault.at || (fault.persistent && call > fault.at))) {
    fired_ = true;
    return fault.err;
  }
  return 0;
}

int OsFaultFiles::open(const char* path, int flags, int mode, int* fd) {
  if (int err = enter(OsCall::open)) return err;
  return inner_.open(path, flags, mode, fd);
}

int OsFaultFiles::close(int fd) {
  if (int err = enter(OsCall::close)) {
    inner_.close(fd);  // the descriptor is gone either way, as after a failed close(2)
    return err;
  }
  return inner_.close(fd);
}

int OsFaultFiles::pread(int fd, void* buffer, size_t n, int64_t offset, size_t* done) {
  if (int err = enter(OsCall::read)) return err;
  if (shortAt_ != 0 && calls(OsCall::read) == shortAt_) {
    fired_ = true;
    if (n > shortKeep_) n = shortKeep_;
  }
  return inner_.pread(fd, buffer, n, offset, done);
}

int OsFaultFiles::pwrite(int fd, const void* data, size_t n, int64_t offset, size_t* done) {
  if (int err = enter(OsCall::write)) return err;
  return inner_.pwrite(fd, data, n, offset, done);
}

int OsFaultFiles::size(int fd, int64_t* length) {
  if (int err = enter(OsCall::size)) return err;
  return inner_.size(fd, length);
}

int OsFaultFiles::identity(int fd, uint64_t* device, uint64_t* inode) {
  if (int err = enter(OsCall::size)) return err;
  return inner_.identity(fd, device, inode);
}

int OsFaultFiles::truncate(int fd, int64_t length) {
  if (int err = enter(OsCall::truncate)) return err;
  return inner_.truncate(fd, length);
}

int OsFaultFiles::sync(int fd) {
  if (int err = enter(OsCall::sync)) return err;
  return inner_.sync(fd);
}

int OsFaultFiles::startWriteback(int fd, int64_t offset, int64_t length) {
  if (int err = enter(OsCall::writeback)) return err;
  return inner_.startWriteback(fd, offset, length);
}

int OsFaultFiles::dropCached(int fd, int64_t offset, int64_t length) {
  if (int err = enter(OsCall::writeback)) return err;
  return inner_.dropCached(fd, offset, length);
}

int OsFaultFiles::shareLock(int fd, bool exclusive) {
  if (int err = enter(OsCall::shareLock)) return err;
  return inner_.shareLock(fd, exclusive);
}

int OsFaultFiles::rangeLock(int fd, bool lock, int64_t offset, int64_t length) {
  if (int err = enter(OsCall::rangeLock)) return err;
  if (lock && busyLeft_ != 0) {
    if (busyLeft_ > 0) busyLeft_--;
    fired_ = true;
    return busyErr_;
  }
  return inner_.rangeLock(fd, lock, offset, length);
}

int OsFaultFiles::remove(const char* path) {
  if (int err = enter(OsCall::remove)) return err;
  return inner_.remove(path);
}

int OsFaultFiles::exists(const char* path, bool* found) {
  if (int err = enter(OsCall::exists)) return err;
  return inner_.exists(path, found);
}

int OsFaultFiles::listDir(const char* dir, std::vector<std::string>* names) {
  if (int err = enter(OsCall::listDir)) return err;
  return inner_.listDir(dir, names);
}

int64_t OsFaultFiles::clockMillis() { return fake_ ? fakeMillis_ : inner_.clockMillis(); }

void OsFaultFiles::sleepMillis(int32_t ms) {
  sleeps_++;
  if (fake_) {
    fakeMillis_ += ms > 0 ? ms : 1;
  } else {
    inner_.sleepMillis(ms);
  }
}
