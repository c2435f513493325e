// Byte-range locks and the wait between lock attempts.
//
// Why open-file-description locks: classic POSIX record locks (F_SETLK) belong to the
// process, not to the descriptor.  Closing ANY descriptor of a file drops every lock
// the process holds on it, and two descriptors of one process never conflict.  The
// engine opens the same file more than once (a data file and, through another
// EngineFile, the same path; or two DataFiles on one path), and a lock taken through
// one handle must survive closing the other and must conflict with it, as on the
// system these programs were written for.  F_OFD_SETLK locks belong to the open file
// description: they conflict between descriptions (also inside one process) and go
// away only when that description is closed (file_lock_test: closing a second handle
// keeps the first handle's locks).
//
// Why flock for share modes: flock locks are also per open file description and are
// independent of the byte-range locks, so a whole-file share lock never interferes with
// record locking.
//
// Why EINVAL counts as granted: the system answers EINVAL when it cannot lock this kind
// of file or this range at all (file systems without lock support).  Refusing would
// make such files unusable; the engine then works as if the lock were held, which is
// what it does anyway for files opened exclusively.
#include <cerrno>

#include "xbase/file/file.h"
#include "xbase/file/os.h"

bool fileLockHeld(int err) { return err == EAGAIN || err == EACCES; }

void waitNextSecond() {
  OsFiles& os = osFiles();
  int64_t start = os.clockMillis() / 1000;
  for (;;) {
    int64_t now = os.clockMillis();
    // A clock set back counts as a new second: never wait for the old one to return.
    if (now / 1000 != start) return;
    os.sleepMillis(static_cast<int32_t>(1000 - now % 1000));
  }
}

FileResult rawLock(const RawFile* file, int64_t offset, int64_t length, int32_t tries) {
  if (tries == 0) tries = 1;
  for (;;) {
    int err = osFiles().rangeLock(file->handle, true, offset, length);
    if (err == 0) return fileSucceeded(FileOp::lock, file->name);
    if (!fileLockHeld(err) || tries == 1) return fileFailed(FileOp::lock, err, file->name);
    if (tries > 1) tries--;
    waitNextSecond();
  }
}

FileResult rawUnlock(const RawFile* file, int64_t offset, int64_t length) {
  int err = osFiles().rangeLock(file->handle, false, offset, length);
  if (err == 0) return fileSucceeded(FileOp::unlock, file->name);
  return fileFailed(FileOp::unlock, err, file->name);
}
