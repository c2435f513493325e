// File-layer results as engine results.
#include <cerrno>

#include "xbase/data/code4.h"
#include "xbase/data/engine_file.h"
#include "xbase/data/error.h"

bool contextFailed(const CODE4* context) { return context != nullptr && context->errorCode < 0; }

int fileReport(CODE4* context, const FileResult& result) {
  if (!result.failed) return 0;
  const char* name = result.name;
  const char* shownName = name != nullptr ? name : "";
  switch (result.op) {
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
      // Held by another open file: the soft result.  EINVAL: the system cannot lock
      // this file or range (some network and special file systems); the engine then
      // works unlocked rather than refusing the file (see file_lock.cc).
      if (fileLockHeld(result.err)) return resultLocked;
      if (result.err == EINVAL) return 0;
      return errorReport(context, errorLock, shownName);
    case FileOp::unlock:
      if (result.err == EINVAL) return 0;
      return errorReport(context, errorUnlock, shownName);
  }
  return errorReport(context, errorResult);
}
