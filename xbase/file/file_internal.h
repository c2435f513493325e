// Pieces shared by the file layer's sources; not part of the engine's API.
#pragma once

#include <string>

struct CODE4;
struct EngineFile;

// The engine operation during which a system call failed.
enum class FileOp { open, create, close, read, write, length, setLength, commit, lock, unlock };

// The one place where a failed system call becomes an engine result: reports through
// errorReport with the texts callers rely on and returns the code, or returns the soft
// result (70 quiet open, 60 quiet create, 50 lock held by another, 0 for a lock request
// the system cannot serve).  name is the engine's name of the file (may be null).
int fileFailure(CODE4* context, FileOp op, int err, const char* name);

// The operating system's path for an engine file name: every '\' becomes '/', and each
// component missing with its exact spelling is matched ignoring case against its
// directory's entries (one match: taken; several: the name fails as missing; none: the
// spelling is kept, so a create makes it).  Returns 0, or the errno to fail with
// (ENAMETOOLONG for a name the system cannot take, ENOENT for an ambiguous one).
int osPathOf(const char* name, std::string* path);

// Whether the context holds a negative (pending) error code.
bool contextFailed(const CODE4* context);
