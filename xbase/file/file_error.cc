#include <cerrno>

#include "xbase/data/code4.h"
#include "xbase/data/error.h"
#include "xbase/file/file_internal.h"

bool contextFailed(const CODE4* context) { return context != nullptr && context->errorCode < 0; }

int fileFailure(CODE4* context, FileOp op, int err, const char* name) {
  const char* shownName = name != nullptr ? name : "";
  switch (op) {
    case FileOp::open:
      // A file held by another process in a conflicting share mode is reported exactly
      // like a missing one.
      if (context != nullptr && !context->errOpenFile) {
        context->errorCode = resultNotOpened;
        return resultNotOpened;
      }
      return errorReport(context, errorOpen, "File Name:", shownName);
    case FileOp::create:
      if (context != nullptr && !context->errCreateFile) {
        context->errorCode = resultNotCreated;
        return resultNotCreated;
      }
      return errorReport(context, errorCreate, "File Name:", shownName);
    case FileOp::close:
      return errorReport(context, errorClose, name != nullptr ? name : "Unknown Name");
    case FileOp::read:
      return errorReport(context, errorRead, "File Name:", shownName);
    case FileOp::write:
      return errorReport(context, errorWrite, shownName);
    case FileOp::length:
      return errorReport(context, errorLength, shownName);
    case FileOp::setLength:
      return errorReport(context, errorLengthSet, "File Name:", shownName);
    case FileOp::commit:
      return errorReport(context, errorOptimizeFlush);
    case FileOp::lock:
      // EAGAIN and EACCES: another open file description holds a conflicting lock.
      // EINVAL: the system cannot lock this file or range (some network and special
      // file systems); the engine then works unlocked rather than refusing the file.
      if (err == EAGAIN || err == EACCES) return resultLocked;
      if (err == EINVAL) return 0;
      return errorReport(context, errorLock, shownName);
    case FileOp::unlock:
      if (err == EINVAL) return 0;
      return errorReport(context, errorUnlock, shownName);
  }
  return errorReport(context, errorResult);
}
