// Text files the front end reads: the configuration file and the -D:@ file.
#ifndef DRIFT_FRONT_TEXT_FILE_H
#define DRIFT_FRONT_TEXT_FILE_H

#include <cstdio>
#include <string>

// Opens `name` for reading, or returns nullptr.  Anything but a regular file
// is refused like a missing file: fopen accepts a directory on POSIX, and
// every read of it would then look like the end of an empty file; a FIFO
// would block the open and a device such as /dev/zero would read without end.
std::FILE* openTextForReading(const std::string& name);

#endif
