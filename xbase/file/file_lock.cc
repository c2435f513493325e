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
#include "xbase/data/code4.h"
#include "xbase/data/error.h"
#include "xbase/file/file.h"
#include "xbase/file/file_internal.h"
#include "xbase/file/os.h"

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

int fileLock(EngineFile* file, int64_t offset, int64_t length) {
  if (file->readOnly || file->noLocking) return 0;
  CODE4* context = file->owner;
  if (contextFailed(context)) return -1;
  int32_t tries = context != nullptr ? context->lockTries : -1;
  if (tries == 0) tries = 1;
  for (;;) {
    int err = osFiles().rangeLock(file->handle, true, offset, length);
    if (err == 0) return 0;
    int rc = fileFailure(context, FileOp::lock, err, file->name);
    if (rc != resultLocked) return rc;
    if (tries == 1) return resultLocked;
    if (tries > 1) tries--;
    waitNextSecond();
  }
}

int fileUnlock(EngineFile* file, int64_t offset, int64_t length) {
  if (file->readOnly || file->noLocking) return 0;
  int err = osFiles().rangeLock(file->handle, false, offset, length);
  if (err == 0) return 0;
  return fileFailure(file->owner, FileOp::unlock, err, file->name);
}
