// RawFile: open, create, close, positional transfers, length and commit.
//
// Every transfer is one pread or pwrite at the offset it names; the record keeps no
// position.  Share modes are whole-file flock locks taken right after the open (see
// file_lock.cc for the byte-range locks).
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "xbase/file/file.h"
#include "xbase/file/file_internal.h"
#include "xbase/file/os.h"

namespace {

// Opens path and takes the share lock; on failure nothing stays open.
int openShared(const std::string& path, int flags, bool exclusive, int* fd) {
  OsFiles& os = osFiles();
  if (int err = os.open(path.c_str(), flags, 0666, fd)) return err;
  if (int err = os.shareLock(*fd, exclusive)) {
    os.close(*fd);
    return err;
  }
  return 0;
}

}  // namespace

FileResult fileOpenHandle(const char* name, bool readOnly, bool exclusive, int* fd,
                          std::string* triedPath, const char* spelling, bool exactName) {
  std::string path;
  int err = name == nullptr ? ENOENT : osPathOf(name, &path, spelling, exactName);
  if (err == 0) err = openShared(path, readOnly ? O_RDONLY : O_RDWR, exclusive, fd);
  // A failure names the path in the engine's spelling, as the messages always have;
  // a name taken only in its exact spelling names the path tried.
  if (err != 0 && spelling != nullptr && name != nullptr && !exactName &&
      osPathOf(name, &path) != 0)
    path.clear();
  *triedPath = path.empty() && name != nullptr ? std::string(name) : path;
  if (err != 0) return fileFailed(FileOp::open, err, name);
  return fileSucceeded(FileOp::open, name);
}

FileResult fileCreateHandle(const char* name, bool createNew, bool exclusive, int* fd) {
  // The mode leaves the permissions to the umask, as an ordinary (not read-only) file.
  std::string path;
  int err = name == nullptr ? ENOENT : osPathOf(name, &path);
  if (err == 0) err = openShared(path, O_RDWR | O_CREAT | (createNew ? O_EXCL : 0), exclusive, fd);
  if (err == 0 && !createNew) {
    err = osFiles().truncate(*fd, 0);
    if (err != 0) osFiles().close(*fd);
  }
  if (err != 0) return fileFailed(FileOp::create, err, name);
  return fileSucceeded(FileOp::create, name);
}

namespace {

// The temporary files to remove when a signal ends the process: system paths of
// those created with removeOnClose and not closed yet.
constexpr int kTempSlots = 16;
char tempPaths[kTempSlots][64];
volatile sig_atomic_t tempUsed[kTempSlots];

void tempForget(const std::string& path) {
  for (int i = 0; i < kTempSlots; ++i)
    if (tempUsed[i] && path == tempPaths[i]) tempUsed[i] = 0;
}

}  // namespace

void fileTempRegister(const char* name) {
  std::string path;
  if (osPathOf(name, &path) != 0 || path.size() >= sizeof tempPaths[0]) return;
  for (int i = 0; i < kTempSlots; ++i)
    if (!tempUsed[i]) {
      std::memcpy(tempPaths[i], path.c_str(), path.size() + 1);
      tempUsed[i] = 1;
      return;
    }
}

void fileTempRemoveAll() {
  for (int i = 0; i < kTempSlots; ++i)
    if (tempUsed[i]) {
      ::unlink(tempPaths[i]);
      tempUsed[i] = 0;
    }
}

EndingSignalsHeld::EndingSignalsHeld() {
  sigset_t ending;
  sigemptyset(&ending);
  for (int sig : kEndingSignals) sigaddset(&ending, sig);
  pthread_sigmask(SIG_BLOCK, &ending, &previous_);
}

EndingSignalsHeld::~EndingSignalsHeld() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }

FileResult rawClose(RawFile* file) {
  if (int err = osFiles().close(file->handle)) return fileFailed(FileOp::close, err, file->name);
  return fileSucceeded(FileOp::close, file->name);
}

void rawRemoveTemporary(const RawFile* file) {
  if (!file->removeOnClose || file->name == nullptr) return;
  std::string path;
  if (osPathOf(file->name, &path) == 0) {
    osFiles().remove(path.c_str());
    tempForget(path);
  }
}

FileResult rawRead(const RawFile* file, int64_t offset, void* buffer, uint32_t n, uint32_t* got) {
  size_t done = 0;
  int err = offset < 0 ? EINVAL : osFiles().pread(file->handle, buffer, n, offset, &done);
  *got = err != 0 ? 0 : static_cast<uint32_t>(done);
  if (err != 0) return fileFailed(FileOp::read, err, file->name);
  return fileSucceeded(FileOp::read, file->name);
}

FileResult rawWrite(const RawFile* file, int64_t offset, const void* data, uint32_t n) {
  size_t put = 0;
  int err = offset < 0 ? EINVAL : osFiles().pwrite(file->handle, data, n, offset, &put);
  if (err != 0 || put != n) return fileFailed(FileOp::write, err, file->name);
  return fileSucceeded(FileOp::write, file->name);
}

FileResult rawLength(const RawFile* file, int64_t* length) {
  *length = 0;
  if (int err = osFiles().size(file->handle, length)) return fileFailed(FileOp::length, err, file->name);
  return fileSucceeded(FileOp::length, file->name);
}

FileResult rawSetLength(const RawFile* file, int64_t length) {
  int err = length < 0 ? EINVAL : osFiles().truncate(file->handle, length);
  if (err != 0) return fileFailed(FileOp::setLength, err, file->name);
  return fileSucceeded(FileOp::setLength, file->name);
}

FileResult rawCommit(const RawFile* file) {
  if (int err = osFiles().sync(file->handle)) return fileFailed(FileOp::commit, err, file->name);
  return fileSucceeded(FileOp::commit, file->name);
}
