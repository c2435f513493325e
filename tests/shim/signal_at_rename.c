/* Preloaded into a program under test (LD_PRELOAD): the second rename() that makes a
 * backup of a truncating export (its new name ends in ".exdrift-old") first raises
 * SIGTERM in the calling thread, so that the signal arrives in the middle of the
 * exchange of a data file and its memo file. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>

int rename(const char* from, const char* to) {
  static int (*real)(const char*, const char*);
  static int backups;
  static const char suffix[] = ".exdrift-old";
  if (real == NULL) real = (int (*)(const char*, const char*))dlsym(RTLD_NEXT, "rename");
  size_t n = strlen(to), k = sizeof suffix - 1;
  if (n >= k && strcmp(to + n - k, suffix) == 0 && ++backups == 2) raise(SIGTERM);
  return real(from, to);
}
