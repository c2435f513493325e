// The file layer: the engine's only path to files.
//
// It knows names, descriptors and the system's errors, and nothing of the engine's
// context: every operation returns a FileResult (the operation, the errno, the name)
// and leaves it to the caller what a failure means.  The data layer wraps these calls
// for the engine (xbase/data/engine_file.h): it applies the context's settings, keeps
// the pending-error rule and turns a failed result into the engine's codes and texts.
//
// A RawFile is a small record embedded in its owner.  It keeps no position: every
// transfer names its offset and is one system call (pread/pwrite).
//
// On this POSIX platform (the engine's names are those of a case-insensitive system
// with '\' as separator):
//  - at the system-call boundary only, every '\' becomes '/' and each path component
//    that does not exist with its exact spelling is matched ignoring case (exactly one
//    such entry, else the name fails as a missing file would);
//  - share modes are non-blocking flock locks: shared for deny-none, exclusive for
//    deny-read-write and for create with deny-write; a conflict fails the open or
//    create exactly as a missing file does;
//  - byte-range locks are open-file-description locks (see file_lock.cc for why);
//  - commit is fsync.
// Names longer than the system accepts are refused, never cut.
#pragma once

#include <csignal>
#include <cstdint>
#include <string>

// The operation during which a system call failed.
enum class FileOp { open, create, close, read, write, length, setLength, commit, lock, unlock };

// What an operation came to.  A transfer that moved fewer bytes than asked fails with
// err 0.
struct FileResult {
  FileOp op;
  int err;            // the errno of the failed call; 0 on success or a short transfer
  bool failed;
  const char* name;   // the engine's name of the file (may be null)
};

inline FileResult fileSucceeded(FileOp op, const char* name) { return {op, 0, false, name}; }
inline FileResult fileFailed(FileOp op, int err, const char* name) { return {op, err, true, name}; }

// Whether a failed lock means that another open file holds a conflicting lock (the
// request may be tried again), as opposed to a lock the system cannot give.
bool fileLockHeld(int err);

struct RawFile {
  const char* name;        // as opened: the caller's text, or a private copy (ownsName)
  int32_t handle;          // system descriptor; -1 when closed
  uint8_t removeOnClose;   // delete the file at close (temporary files)
  uint8_t noLocking;       // opened exclusively: locks are not taken
  uint8_t readOnly;        // opened read-only
  uint8_t ownsName;        // name is a private copy, freed by its owner
};

// Opens an existing file read-write (read-only when readOnly), then takes the share
// lock: exclusive (deny-read-write) when exclusive, else shared (deny-none).  *fd
// receives the descriptor and *triedPath the path as the system was asked for it (the
// name itself when it could not be mapped).  On failure nothing stays open.
// `spelling`: the name as its user wrote it, looked up instead (osPathOf), or null;
// `exactName`: the file's own name only in its exact spelling (osPathOf).
FileResult fileOpenHandle(const char* name, bool readOnly, bool exclusive, int* fd,
                          std::string* triedPath, const char* spelling = nullptr,
                          bool exactName = false);
// Creates a file (owner read-write), failing when it exists if createNew, else
// emptying it once the share lock (deny-write when exclusive) is held, so that a
// conflicting create never truncates another user's file.
FileResult fileCreateHandle(const char* name, bool createNew, bool exclusive, int* fd);
// Closes the descriptor (no commit).  The record keeps its name and flags.
FileResult rawClose(RawFile* file);
// Deletes a removeOnClose file by its name and forgets it as a temporary file.
void rawRemoveTemporary(const RawFile* file);

// Reads up to n bytes at offset; *got receives the count (short at end of file).
FileResult rawRead(const RawFile* file, int64_t offset, void* buffer, uint32_t n, uint32_t* got);
// Writes n bytes at offset (extending the file when beyond the end); a short write fails.
FileResult rawWrite(const RawFile* file, int64_t offset, const void* data, uint32_t n);
FileResult rawLength(const RawFile* file, int64_t* length);
// Extends or truncates.
FileResult rawSetLength(const RawFile* file, int64_t length);
// Writes the file's data through to disk (fsync).
FileResult rawCommit(const RawFile* file);

// Non-blocking lock of length bytes at offset, tried as tries says (0 counts as 1,
// n > 0 gives n attempts and n - 1 waits for the next second, negative: until
// granted).  Fails with the held errno (fileLockHeld) when the tries are used up.
FileResult rawLock(const RawFile* file, int64_t offset, int64_t length, int32_t tries);
// Releases a range.
FileResult rawUnlock(const RawFile* file, int64_t offset, int64_t length);

// The signals that end a process and that a program may first tidy up after: an
// interrupt, a hang-up, a termination and a quit.  Every handler of the programs and
// the blocking below take this one list.
inline constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// The temporary files (TEMPnnnn.TMP, made by the data layer) to remove when a signal
// ends the process.  While an EndingSignalsHeld lives, the terminating signals wait, so
// a file is never created without being registered.
class EndingSignalsHeld {
 public:
  EndingSignalsHeld();
  ~EndingSignalsHeld();
  EndingSignalsHeld(const EndingSignalsHeld&) = delete;
  EndingSignalsHeld& operator=(const EndingSignalsHeld&) = delete;

 private:
  sigset_t previous_;
};
void fileTempRegister(const char* name);
// Removes every temporary file registered and not removed yet, with async-signal-safe
// calls only: for a program's handler of a terminating signal.
void fileTempRemoveAll();

// Gives name (a NUL-terminated text in a buffer of bufferSize bytes) the extension ext
// when it has none, or always when force is nonzero (a leading '.' of ext is skipped),
// then writes the whole name in the engine's form: upper case, '\' for every '/'.  An
// extension is a '.' in the base name.  Returns 0, or -1 with name unchanged when the
// result would not fit the buffer.
int fileSetExtension(char* name, int32_t bufferSize, const char* ext, int force);

// Waits until the wall clock's whole second changes (sleeping, not spinning).
void waitNextSecond();

// Engine names looked up without opening anything (the index code's questions about
// files it does not hold open).  *found: whether name exists; 0 or an errno.
// `spelling` and `exactName` as for osPathOf.
int fileExistsNamed(const char* name, bool* found, const char* spelling = nullptr,
                    bool exactName = false);
// Removes the file name, best effort (a file that cannot be removed is left).
void fileRemoveNamed(const char* name);
// Whether the directory of the system path `path` holds another entry whose name
// differs from the path's own only in case (a case twin).
bool fileHasCaseTwin(const std::string& path);
// Identity (device, inode) of an open file; false when it cannot be had.
bool fileIdentity(const RawFile* file, uint64_t* device, uint64_t* inode);
