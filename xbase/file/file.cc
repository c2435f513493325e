// EngineFile: open, create, close, positional transfers, length and commit.
//
// Every transfer is one pread or pwrite at the offset it names; the record keeps no
// position.  Share modes are whole-file flock locks taken right after the open (see
// file_lock.cc for the byte-range locks).
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "xbase/data/code4.h"
#include "xbase/data/error.h"
#include "xbase/data/pool.h"
#include "xbase/file/conv.h"
#include "xbase/file/file.h"
#include "xbase/file/file_internal.h"
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

// Keeps the errno and path of a failed open in the context, for a caller that
// tells the user why.
void noteOpenFailure(CODE4* context, int err, const char* path) {
  context->openErrno = err;
  std::snprintf(context->openPath, sizeof context->openPath, "%s", path);
}

}  // namespace

void fileInit(EngineFile* file) {
  std::memset(file, 0, sizeof *file);
  file->handle = -1;
}

int fileOpen(EngineFile* file, CODE4* context, const char* name, int copyName) {
  if (context == nullptr || context->errorCode < 0) return -1;
  fileInit(file);
  file->owner = context;
  context->errorCode = 0;

  bool readOnly = context->openReadOnly == 1;
  // Share modes: deny-read-write is an exclusive flock, deny-none a shared one, so an
  // exclusive user keeps every other opener out and is kept out by any of them.  A
  // conflict fails like a missing file.
  bool exclusive = context->openExclusive != 0;
  std::string path;
  int fd = -1;
  int err = name == nullptr ? ENOENT : osPathOf(name, &path);
  if (err == 0) err = openShared(path, readOnly ? O_RDONLY : O_RDWR, exclusive, &fd);
  if (err != 0) {
    noteOpenFailure(context, err, path.empty() && name != nullptr ? name : path.c_str());
    return fileFailure(context, FileOp::open, err, name);
  }

  if (int rc = keepName(file, context, name, copyName)) {
    osFiles().close(fd);
    return rc;
  }
  file->handle = fd;
  file->readOnly = readOnly ? 1 : 0;
  file->noLocking = static_cast<uint8_t>(context->openExclusive & 0xFF);
  return 0;
}

int fileCreate(EngineFile* file, CODE4* context, const char* name, int copyName) {
  fileInit(file);
  file->owner = context;
  if (context == nullptr || context->errorCode < 0) return -1;
  context->errorCode = 0;

  // Create-new fails on an existing file.  Otherwise the file is emptied only after the
  // share lock is held, so a create that conflicts with another user never truncates
  // that user's file.  The mode leaves the permissions to the umask, as an ordinary
  // (not read-only) file.
  bool createNew = context->createFailsIfExists != 0;
  bool exclusive = context->openExclusive != 0;  // deny-write
  std::string path;
  int fd = -1;
  int err = name == nullptr ? ENOENT : osPathOf(name, &path);
  if (err == 0) err = openShared(path, O_RDWR | O_CREAT | (createNew ? O_EXCL : 0), exclusive, &fd);
  if (err == 0 && !createNew) {
    err = osFiles().truncate(fd, 0);
    if (err != 0) osFiles().close(fd);
  }
  if (err != 0) return fileFailure(context, FileOp::create, err, name);

  if (int rc = keepName(file, context, name, copyName)) {
    osFiles().close(fd);
    return rc;
  }
  file->handle = fd;
  file->noLocking = static_cast<uint8_t>(context->openExclusive & 0xFF);
  return 0;
}

namespace {

// The temporary files to remove when a signal ends the process: system paths of
// those created with removeOnClose and not closed yet.
constexpr int kTempSlots = 16;
char tempPaths[kTempSlots][64];
volatile sig_atomic_t tempUsed[kTempSlots];

void tempRegister(const char* name) {
  std::string path;
  if (osPathOf(name, &path) != 0 || path.size() >= sizeof tempPaths[0]) return;
  for (int i = 0; i < kTempSlots; ++i)
    if (!tempUsed[i]) {
      std::memcpy(tempPaths[i], path.c_str(), path.size() + 1);
      tempUsed[i] = 1;
      return;
    }
}

void tempForget(const std::string& path) {
  for (int i = 0; i < kTempSlots; ++i)
    if (tempUsed[i] && path == tempPaths[i]) tempUsed[i] = 0;
}

}  // namespace

void fileTempRemoveAll() {
  for (int i = 0; i < kTempSlots; ++i)
    if (tempUsed[i]) {
      ::unlink(tempPaths[i]);
      tempUsed[i] = 0;
    }
}

int fileClose(EngineFile* file) {
  CODE4* context = file->owner;
  if (file->handle >= 0) {
    fileCommit(file);
    if (int err = osFiles().close(file->handle)) {
      fileFailure(context, FileOp::close, err, file->name);
    }
    if (file->removeOnClose && file->name != nullptr) {
      std::string path;
      if (osPathOf(file->name, &path) == 0) {
        osFiles().remove(path.c_str());
        tempForget(path);
      }
    }
    if (file->ownsName) engineFree(const_cast<char*>(file->name));
    fileInit(file);
  }
  return contextFailed(context) ? -1 : 0;
}

uint32_t fileRead(EngineFile* file, int64_t offset, void* buffer, uint32_t n) {
  if (contextFailed(file->owner)) return 0;
  size_t got = 0;
  int err = offset < 0 ? EINVAL : osFiles().pread(file->handle, buffer, n, offset, &got);
  if (err != 0) {
    fileFailure(file->owner, FileOp::read, err, file->name);
    return 0;
  }
  return static_cast<uint32_t>(got);
}

int fileReadAll(EngineFile* file, int64_t offset, void* buffer, uint32_t n) {
  if (contextFailed(file->owner)) return -1;
  uint32_t got = fileRead(file, offset, buffer, n);
  if (contextFailed(file->owner)) return file->owner->errorCode;
  if (got != n) return fileFailure(file->owner, FileOp::read, 0, file->name);
  return 0;
}

int fileWrite(EngineFile* file, int64_t offset, const void* data, uint32_t n) {
  CODE4* context = file->owner;
  if (contextFailed(context)) return -1;
  if (file->readOnly) return errorReport(context, errorParameter, "Attempt to write to a read-only file");
  size_t put = 0;
  int err = offset < 0 ? EINVAL : osFiles().pwrite(file->handle, data, n, offset, &put);
  if (err != 0 || put != n) return fileFailure(context, FileOp::write, err, file->name);
  if (context != nullptr && context->commitEveryWrite) {
    fileCommitKeepError(file);
    if (contextFailed(context)) return context->errorCode;
  }
  return 0;
}

int64_t fileLength(EngineFile* file) {
  int64_t length = 0;
  if (int err = osFiles().size(file->handle, &length)) {
    return fileFailure(file->owner, FileOp::length, err, file->name);
  }
  return length;
}

int fileSetLength(EngineFile* file, int64_t length) {
  CODE4* context = file->owner;
  if (context != nullptr && context->errorCode >= 1 && context->errorCode <= 199) return -1;
  if (file->readOnly) {
    return errorReport(context, errorParameter, "Attempt to change file length of a read-only file");
  }
  int err = length < 0 ? EINVAL : osFiles().truncate(file->handle, length);
  if (err != 0) {
    fileFailure(context, FileOp::setLength, err, file->name);
    return -1;
  }
  return 0;
}

int fileCommit(EngineFile* file) {
  if (file->handle < 0) return 0;
  if (int err = osFiles().sync(file->handle)) return fileFailure(file->owner, FileOp::commit, err, file->name);
  return 0;
}

int fileCommitKeepError(EngineFile* file) {
  CODE4* context = file->owner;
  int32_t saved = context != nullptr ? context->errorCode : 0;
  if (saved != 0) context->errorCode = 0;
  int rc = fileCommit(file);
  if (saved != 0) context->errorCode = saved;
  return rc;
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
    // that happens to carry it.
    int32_t savedCreate = context->errCreateFile;
    int32_t savedExclusive = context->openExclusive;
    int32_t savedFails = context->createFailsIfExists;
    context->errCreateFile = 0;
    context->openExclusive = 1;
    context->createFailsIfExists = 1;
    // A terminating signal between the create and the registration would leave the
    // file behind: those signals wait until it is registered.
    sigset_t ending, previous;
    sigemptyset(&ending);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&ending, sig);
    pthread_sigmask(SIG_BLOCK, &ending, &previous);
    int rc = fileCreate(file, context, name, copyName);
    if (rc == 0 && removeOnClose) tempRegister(name);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    context->errCreateFile = savedCreate;
    context->openExclusive = savedExclusive;
    context->createFailsIfExists = savedFails;
    if (rc < 0) return -1;
    if (rc == 0) {
      file->removeOnClose = removeOnClose ? 1 : 0;
      return 0;
    }
  }
  return errorReport(context, errorCreate, "Temporary Working File");
}
