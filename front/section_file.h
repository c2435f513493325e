// The engine context and data file of one section, shared by both drivers: closed
// and released when the section ends, whichever way it ends.
#pragma once

#include <cerrno>
#include <cstring>
#include <string>

#include "text/ascii.h"
#include "xbase/data/data.h"

class SectionFile {
 public:
  // dropUnappended: a record still marked changed when the file closes is one a
  // failure kept from being appended (the export never changes a record it has
  // read); it is dropped, not written.
  explicit SectionFile(bool dropUnappended) : dropUnappended_(dropUnappended) {
    engineInit(&context_);
  }
  ~SectionFile() { close(); }
  SectionFile(const SectionFile&) = delete;
  SectionFile& operator=(const SectionFile&) = delete;

  CODE4* context() { return &context_; }
  DataFile* data() const { return data_; }
  void open(const char* path) { data_ = dataOpen(&context_, path); }

  // Closes the file and releases the context.  Safe to call twice.
  void close() {
    if (released_) return;
    released_ = true;
    if (data_ != nullptr) {
      if (dropUnappended_) dataChanged(data_, 0);
      dataClose(data_);
      data_ = nullptr;
    }
    engineRelease(&context_);
  }

 private:
  CODE4 context_{};
  DataFile* data_ = nullptr;
  bool released_ = false;
  const bool dropUnappended_;
};

// Oracle names are compared and sent in upper case (ASCII letters only).
using text::upperInPlace;

// The message of a dbf file that cannot be opened: `text`, then a line with the
// path as the engine tried it and the system's reason (a share lock held by
// another program is said so).  Just `text` when the engine recorded no reason.
inline std::string openFailureText(const char* text, const CODE4* context) {
  std::string message = text;
  if (context == nullptr || context->openErrno == 0) return message;
  const int err = context->openErrno;
  // The file layer refuses files that are not regular files (FIFOs, devices)
  // with ENODEV, whose system text would mislead.
  const char* reason = err == EWOULDBLOCK || err == EAGAIN ? "held by another program"
                       : err == ENODEV                     ? "not a regular file"
                                                           : std::strerror(err);
  message += "\n'";
  message += context->openPath;
  message += "': ";
  message += reason;
  return message;
}
