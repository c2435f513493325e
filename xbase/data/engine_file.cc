// EngineFile: the file layer's calls under the context's settings and error code.
#include "xbase/data/engine_file.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "xbase/data/code4.h"
#include "xbase/data/error.h"
#include "xbase/data/pool.h"
#include "xbase/file/conv.h"
#include "xbase/file/os.h"

namespace {

// Keeps the file's name: a private copy when asked (reporting -920 when it cannot be
// had), else the caller's pointer.
int keepName(EngineFile* file, CODE4* context, const char* name, int copyName) {
  if (!copyName) {
    file->name = name;
    return 0;
  }
  size_t length = std::strlen(name);
  char* copy = static_cast<char*>(engineAlloc(context, length + 1));
  if (copy == nullptr) return errorReport(context, errorMemory);
  std::memcpy(copy, name, length + 1);
  file->name = copy;
  file->ownsName = 1;
  return 0;
}

// Keeps the errno and path of a failed open in the context, for a caller that
// tells the user why.
void noteOpenFailure(CODE4* context, int err, const std::string& path) {
  context->openErrno = err;
  std::snprintf(context->openPath, sizeof context->openPath, "%s", path.c_str());
}

// fileCreate with its settings given: create-new, the share setting (deny-write when
// nonzero; its low byte also switches locking off) and whether a failure is quiet.
int createWith(EngineFile* file, CODE4* context, const char* name, int copyName,
               bool createNew, int32_t exclusive, bool quiet) {
  fileInit(file);
  file->owner = context;
  if (context == nullptr || context->errorCode < 0) return -1;
  context->errorCode = 0;

  int fd = -1;
  FileResult result = fileCreateHandle(name, createNew, exclusive != 0, &fd);
  if (result.failed) {
    if (quiet) {
      context->errorCode = resultNotCreated;
      return resultNotCreated;
    }
    return fileReport(context, result);
  }

  if (int rc = keepName(file, context, name, copyName)) {
    osFiles().close(fd);
    return rc;
  }
  file->handle = fd;
  file->noLocking = static_cast<uint8_t>(exclusive & 0xFF);
  return 0;
}

}  // namespace

void fileInit(EngineFile* file) {
  std::memset(file, 0, sizeof *file);
  file->handle = -1;
}

int fileOpen(EngineFile* file, CODE4* context, const char* name, int copyName, const char* spelling,
             std::string* path, bool exactName) {
  if (context == nullptr || context->errorCode < 0) return -1;
  fileInit(file);
  file->owner = context;
  context->errorCode = 0;

  // Share modes: deny-read-write is an exclusive flock, deny-none a shared one, so an
  // exclusive user keeps every other opener out and is kept out by any of them.  A
  // conflict fails like a missing file.
  bool readOnly = context->openReadOnly == 1;
  int fd = -1;
  std::string tried;
  FileResult result =
      fileOpenHandle(name, readOnly, context->openExclusive != 0, &fd, &tried, spelling, exactName);
  if (result.failed) {
    noteOpenFailure(context, result.err, tried);
    return fileReport(context, result);
  }

  if (int rc = keepName(file, context, name, copyName)) {
    osFiles().close(fd);
    return rc;
  }
  file->handle = fd;
  file->readOnly = readOnly ? 1 : 0;
  if (path != nullptr) *path = std::move(tried);
  file->noLocking = static_cast<uint8_t>(context->openExclusive & 0xFF);
  return 0;
}

int fileCreate(EngineFile* file, CODE4* context, const char* name, int copyName) {
  if (context == nullptr) return createWith(file, context, name, copyName, false, 0, false);
  return createWith(file, context, name, copyName, context->createFailsIfExists != 0,
                    context->openExclusive, !context->errCreateFile);
}

int fileClose(EngineFile* file) {
  CODE4* context = file->owner;
  if (file->handle >= 0) {
    fileCommit(file);
    FileResult closed = rawClose(file);
    if (closed.failed) fileReport(context, closed);
    rawRemoveTemporary(file);
    if (file->ownsName) engineFree(const_cast<char*>(file->name));
    fileInit(file);
  }
  return contextFailed(context) ? -1 : 0;
}

uint32_t fileRead(EngineFile* file, int64_t offset, void* buffer, uint32_t n) {
  if (contextFailed(file->owner)) return 0;
  uint32_t got = 0;
  FileResult result = rawRead(file, offset, buffer, n, &got);
  if (result.failed) {
    fileReport(file->owner, result);
    return 0;
  }
  return got;
}

int fileReadAll(EngineFile* file, int64_t offset, void* buffer, uint32_t n) {
  if (contextFailed(file->owner)) return -1;
  uint32_t got = fileRead(file, offset, buffer, n);
  if (contextFailed(file->owner)) return file->owner->errorCode;
  if (got != n) return fileReport(file->owner, fileFailed(FileOp::read, 0, file->name));
  return 0;
}

int fileWrite(EngineFile* file, int64_t offset, const void* data, uint32_t n) {
  CODE4* context = file->owner;
  if (contextFailed(context)) return -1;
  if (file->readOnly) return errorReport(context, errorParameter, "Attempt to write to a read-only file");
  FileResult result = rawWrite(file, offset, data, n);
  if (result.failed) return fileReport(context, result);
  if (context != nullptr && context->commitEveryWrite) {
    fileCommitKeepError(file);
    if (contextFailed(context)) return context->errorCode;
  }
  return 0;
}

int64_t fileLength(EngineFile* file) {
  int64_t length = 0;
  FileResult result = rawLength(file, &length);
  if (result.failed) return fileReport(file->owner, result);
  return length;
}

int fileSetLength(EngineFile* file, int64_t length) {
  CODE4* context = file->owner;
  if (context != nullptr && context->errorCode >= 1 && context->errorCode <= 199) return -1;
  if (file->readOnly) {
    return errorReport(context, errorParameter, "Attempt to change file length of a read-only file");
  }
  FileResult result = rawSetLength(file, length);
  if (result.failed) {
    fileReport(context, result);
    return -1;
  }
  return 0;
}

int fileCommit(EngineFile* file) {
  if (file->handle < 0) return 0;
  return fileReport(file->owner, rawCommit(file));
}

int fileCommitKeepError(EngineFile* file) {
  CODE4* context = file->owner;
  int32_t saved = context != nullptr ? context->errorCode : 0;
  if (saved != 0) context->errorCode = 0;
  int rc = fileCommit(file);
  if (saved != 0) context->errorCode = saved;
  return rc;
}

int fileLock(EngineFile* file, int64_t offset, int64_t length) {
  if (file->readOnly || file->noLocking) return 0;
  CODE4* context = file->owner;
  if (contextFailed(context)) return -1;
  int32_t tries = context != nullptr ? context->lockTries : -1;
  return fileReport(context, rawLock(file, offset, length, tries));
}

int fileUnlock(EngineFile* file, int64_t offset, int64_t length) {
  if (file->readOnly || file->noLocking) return 0;
  return fileReport(file->owner, rawUnlock(file, offset, length));
}

int fileTempCreate(EngineFile* file, CODE4* context, char* nameBuffer, int removeOnClose) {
  if (context == nullptr || context->errorCode < 0) return -1;
  char internal[13];
  char* name = nameBuffer != nullptr ? nameBuffer : internal;
  int copyName = nameBuffer == nullptr;
  for (int attempt = 0; attempt < 100; attempt++) {
    waitNextSecond();
    int32_t t = static_cast<int32_t>(osFiles().clockMillis() / 1000 % 10000);
    std::memcpy(name, "TEMP", 4);
    numToText(t, name + 4, -4);
    std::memcpy(name + 8, ".TMP", 5);

    // Quiet, exclusive, and always create-new: a temporary name never empties a file
    // that happens to carry it.  A terminating signal between the create and the
    // registration would leave the file behind: those signals wait until it is
    // registered.
    int rc;
    {
      EndingSignalsHeld held;
      rc = createWith(file, context, name, copyName, true, 1, true);
      if (rc == 0 && removeOnClose) fileTempRegister(name);
    }
    if (rc < 0) return -1;
    if (rc == 0) {
      file->removeOnClose = removeOnClose ? 1 : 0;
      return 0;
    }
  }
  return errorReport(context, errorCreate, "Temporary Working File");
}
