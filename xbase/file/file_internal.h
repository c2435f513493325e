// Pieces shared by the file layer's sources; not part of the engine's API.
#pragma once

#include <string>

// The operating system's path for an engine file name: every '\' becomes '/', and each
// component missing with its exact spelling is matched ignoring case against its
// directory's entries (one match: taken; several: the name fails as missing; none: the
// spelling is kept, so a create makes it).  Returns 0, or the errno to fail with
// (ENAMETOOLONG for a name the system cannot take, ENOENT for an ambiguous one).
// `spelling`, when given, is the name as its user wrote it (fileSpelling): when it
// differs from the name only in case, it is looked up instead, so that the exact
// spelling is the user's and not the engine's upper-case form (a file named exactly
// as written is found beside one whose name differs only in case).  With `exactName`
// the last component is taken only in its exact spelling (missing: the spelling is
// kept, so an open fails as missing).
int osPathOf(const char* name, std::string* path, const char* spelling = nullptr,
             bool exactName = false);
