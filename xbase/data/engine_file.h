// The engine's files: the file layer (xbase/file/file.h) under the context's rules.
//
// An EngineFile is a RawFile that belongs to a context.  The calls here take the
// context's settings (share modes, read-only, create-new, lock tries, commit after each
// write) and keep its error code: failures become engine codes through fileReport with
// the texts the callers rely on; the soft results 50 (locked by another), 60 (not
// created, quiet) and 70 (not opened, quiet) print nothing.
//
// Sticky error: while the context's code is negative, operations return -1 (fileRead
// 0) without work.  fileLength, fileSetLength, fileCommit, fileUnlock and fileClose
// still act.
#pragma once

#include <cstdint>
#include <string>

#include "xbase/file/file.h"

struct CODE4;

struct EngineFile : RawFile {
  CODE4* owner;            // context whose settings and error code apply
};

// The one place where a failed file-layer result becomes an engine result: reports
// through errorReport with the texts callers rely on and returns the code, or returns
// the soft result (70 quiet open, 60 quiet create, 50 lock held by another, 0 for a
// lock request the system cannot serve).
int fileReport(CODE4* context, const FileResult& result);

// Whether the context holds a negative (pending) error code.
bool contextFailed(const CODE4* context);

// Puts a record into the closed state (all zero, handle -1).
void fileInit(EngineFile* file);

// Opens an existing file read-write (read-only when openReadOnly is exactly 1), with
// share mode deny-read-write when openExclusive is set, else deny-none.  Clears a
// pending positive code first.  Returns 0; 70 (code set to 70, nothing printed) when it
// fails and errOpenFile is 0; else -60 reported with "File Name:" and the name; -1 at
// once while the code is negative (the record untouched).  copyName nonzero keeps a
// private copy of the name; otherwise the caller's text must outlive the open file.
// `spelling`, when given, is the name as its user wrote it: the system looks it up
// instead of the engine's upper-case form (osPathOf).  `path`, when given, receives
// the system's path of the file opened.  `exactName`: the file's own name is taken
// only in its exact spelling, never ignoring case.
int fileOpen(EngineFile* file, CODE4* context, const char* name, int copyName,
             const char* spelling = nullptr, std::string* path = nullptr, bool exactName = false);
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
