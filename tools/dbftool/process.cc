// Process-wide settings of dbftool, made before main runs and checked after it
// returns, for every command alike: a file grown past the size limit fails its write
// (SIGXFSZ ignored, as the programs do) instead of ending the process with temporary
// files left behind; a terminating signal removes the engine's temporary files
// before it ends the process; and standard output is flushed and closed at exit, so
// that output lost to a full device or a broken file ends the run with status 1.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include <unistd.h>

#include "xbase/file/file.h"

namespace {

void removeTemporariesAndEnd(int sig) {
  fileTempRemoveAll();
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}

void checkOutput() {
  int err = 0;
  if (std::fflush(stdout) != 0) err = errno != 0 ? errno : EIO;
  if (err == 0 && std::ferror(stdout)) err = EIO;
  errno = 0;
  // A standard output closed from the start fails to close with EBADF; that is an
  // error only when something was to be written to it.
  if (std::fclose(stdout) != 0 && err == 0 && errno != EBADF) err = errno != 0 ? errno : EIO;
  if (err == 0) return;
  std::fprintf(stderr, "dbftool: cannot write the output: %s\n", std::strerror(err));
  _exit(1);
}

[[maybe_unused]] const bool installed = [] {
  std::signal(SIGXFSZ, SIG_IGN);
  for (int sig : kEndingSignals) {
    struct sigaction action {};
    action.sa_handler = removeTemporariesAndEnd;
    sigemptyset(&action.sa_mask);
    // A signal the caller ignores (nohup, a background job) stays ignored.
    struct sigaction old {};
    if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler != SIG_IGN)
      sigaction(sig, &action, nullptr);
  }
  std::atexit(checkOutput);
  return true;
}();

}  // namespace
