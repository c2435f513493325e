// The file layer: the engine's only path to files.
//
// An EngineFile is a small record embedded in its owner (DataFile, memo, tag, sort).
// It keeps no position: every transfer names its offset and is one system call
// (pread/pwrite).  Failures become engine codes through errorReport (error.h) with the
// texts the callers rely on; the soft results 50 (locked by another), 60 (not created,
// quiet) and 70 (not opened, quiet) print nothing.
//
// Sticky error: while the context's code is negative, operations return -1 (fileRead
// 0) without work.  fileLength, fileSetLength, fileCommit, fileUnlock and fileClose
// still act.
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

#include <cstdint>

struct CODE4;

struct EngineFile {
  const char* name;        // as opened: the caller's text, or a private copy (ownsName)
  CODE4* owner;            // context whose settings and error code apply
  int32_t handle;          // system descriptor; -1 when closed
  uint8_t removeOnClose;   // delete the file at close (temporary files)
  uint8_t noLocking;       // opened exclusively: fileLock and fileUnlock do nothing
  uint8_t readOnly;        // writes and length changes are refused (-930)
  uint8_t ownsName;        // name is a private copy, freed at close
};

// Puts a record into the closed state (all zero, handle -1).
void fileInit(EngineFile* file);

// Opens an existing file read-write (read-only when openReadOnly is exactly 1), with
// share mode deny-read-write when openExclusive is set, else deny-none.  Clears a
// pending positive code first.  Returns 0; 70 (code set to 70, nothing printed) when it
// fails and errOpenFile is 0; else -60 reported with "File Name:" and the name; -1 at
// once while the code is negative (the record untouched).  copyName nonzero keeps a
// private copy of the name; otherwise the caller's text must outlive the open file.
int fileOpen(EngineFile* file, CODE4* context, const char* name, int copyName);
// Creates a file (owner read-write), failing when it exists if createFailsIfExists,
// else emptying it; share mode deny-write when openExclusive is set.  Returns 0; 60
// quietly when errCreateFile is 0; else -20 reported with "File Name:" and the name;
// -1 while the code is negative.
int fileCreate(EngineFile* file, CODE4* context, const char* name, int copyName);
// Commits and closes; deletes removeOnClose files; frees a private name; leaves the
// record closed.  A closed record is left alone.  Returns 0, or -1 when the code is
// negative afterwards.
int fileClose(EngineFile* file);

// Reads up to n bytes at offset; returns the count (short at end of file, no error),
// or 0 after -70 or while the code is negative.
uint32_t fileRead(EngineFile* file, int64_t offset, void* buffer, uint32_t n);
// Reads exactly n bytes: 0, -70 reported with "File Name:" and the name when fewer
// arrive, -1 while the code is negative.  The buffer holds what did arrive.
int fileReadAll(EngineFile* file, int64_t offset, void* buffer, uint32_t n);
// Writes n bytes at offset (extending the file when beyond the end).  0; -930 on a
// read-only file; -120 reported with the name for a failed or short write.  Commits
// afterwards when commitEveryWrite is set.
int fileWrite(EngineFile* file, int64_t offset, const void* data, uint32_t n);
// Current length, or the negative code after -30.  Acts whatever the code.
int64_t fileLength(EngineFile* file);
// Extends or truncates.  -1 and nothing changed while the code is between 1 and 199;
// a negative code does not stop it.  -930 on a read-only file, -40 on failure.
int fileSetLength(EngineFile* file, int64_t length);
// Writes the file's data through to disk (fsync).  0 for a closed record; -630 on
// failure.  Acts whatever the code.
int fileCommit(EngineFile* file);
// fileCommit with a non-zero pending code kept aside during the call and put back.
int fileCommitKeepError(EngineFile* file);

// Non-blocking lock of length bytes at offset, tried as lockTries says (0 counts as 1,
// n > 0 gives n attempts and n - 1 waits for the next second, negative: until
// granted).  0 when granted, or at once for read-only and exclusively opened files;
// 50 (nothing recorded) when another holder keeps it and the tries are used up; -50
// reported with the name for other failures; -1 while the code is negative.
int fileLock(EngineFile* file, int64_t offset, int64_t length);
// Releases a range.  0, or -110 reported with the name.  Acts whatever the code.
int fileUnlock(EngineFile* file, int64_t offset, int64_t length);

// Creates TEMPnnnn.TMP in the current directory (nnnn: clock seconds modulo 10000, one
// attempt per clock second, up to 100), exclusively and never over an existing file.
// nameBuffer (at least 13 bytes) receives the name; when null the file keeps a private
// copy.  Returns 0, -1, or -20 reported with "Temporary Working File".
int fileTempCreate(EngineFile* file, CODE4* context, char* nameBuffer, int removeOnClose);

// Removes every temporary file made with removeOnClose that is not closed yet, with
// async-signal-safe calls only: for a program's handler of a terminating signal.
void fileTempRemoveAll();

// Gives name (a NUL-terminated text in a buffer of bufferSize bytes) the extension ext
// when it has none, or always when force is nonzero (a leading '.' of ext is skipped),
// then upper-cases the whole name.  An extension is a '.' after the last '\'.  Returns
// 0, or -1 with name unchanged when the result would not fit the buffer.
int fileSetExtension(char* name, int32_t bufferSize, const char* ext, int force);

// Waits until the wall clock's whole second changes (sleeping, not spinning).
void waitNextSecond();
