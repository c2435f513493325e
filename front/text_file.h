// Text files the front end reads: the configuration file and the -D:@ file.
#ifndef DRIFT_FRONT_TEXT_FILE_H
#define DRIFT_FRONT_TEXT_FILE_H

#include <cstdio>
#include <string>

// Opens `name` for reading, or returns nullptr.  A directory is refused
// like a missing file: fopen accepts one on POSIX, and every read of it
// would then look like the end of an empty file.
std::FILE* openTextForReading(const std::string& name);

#endif
