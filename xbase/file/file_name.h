// The forms of a file name: the system's, with '/' between directories, and the
// engine's own, with '\'.  Paths travel in the form the user gave them; the engine
// writes its names in its own form (fileSetExtension), and the file layer turns a
// name into the system's form at each system call.
#pragma once

#include <string>
#include <string_view>

// The name in the engine's form: '\' for every '/'.
std::string fileEngineName(std::string_view name);

// The name in the system's form: '/' for every '\'.
std::string fileSystemName(std::string_view name);

// The base name of a path: what follows its last '\' or '/', or the whole path when it
// has neither.  With `drive`, a ':' ends a drive and counts as a separator too, as in
// the engine's alias and tag names.  The directory part is what comes before it.
std::string_view fileBaseName(std::string_view path, bool drive = false);

// The name as its user spelled it, in the system's form, with the extension that
// fileSetExtension would give it (`ext` when it has none, or always with `force`), but
// without the engine's upper-casing: the extension is written in lower case when the
// extension it replaces (else the base name) holds a lower-case letter, else in upper
// case.  The file layer tries this
// spelling first when it looks the engine's name up (osPathOf).
std::string fileSpelling(std::string_view name, const char* ext, bool force);

// fileSpelling in the engine's form ('\' between directories), the extension given only
// when the name has none: the name of a file the engine creates or removes by its
// user's word, so that it is the file named, never a twin differing only in case.
std::string fileSpelledName(std::string_view name, const char* ext);
