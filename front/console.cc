#include "front/console.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <ctime>

#include "front/run_settings.h"

namespace {

std::FILE* consoleOut = nullptr;

void put(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), consoleStream());
}

std::tm localNow() {
  std::time_t now = std::time(nullptr);
  std::tm parts{};
  localtime_r(&now, &parts);
  return parts;
}

// The controlling terminal, opened on first use; -1 when there is none.
int consoleDeviceFd() {
  static int fd = -2;
  if (fd == -2) fd = ::open("/dev/tty", O_WRONLY | O_NOCTTY | O_CLOEXEC);
  return fd;
}

bool sameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Opens the report file for appending, creating it with mode 0600; -1 when
// it cannot be opened.  A symbolic link in its place is followed only when
// it belongs to the user: in a directory that others may write, such as
// /tmp, a link planted by another user would otherwise make the report (row
// dumps included) go into a file of that user's choice.  The link is
// checked again after the open, so a link swapped in or out between the two
// looks is refused too.
int openReportFile(const char* name) {
  const int flags = O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY;
  int fd = ::open(name, flags | O_NOFOLLOW, 0600);
  if (fd >= 0 || errno != ELOOP) return fd;
  struct stat link {};
  if (::lstat(name, &link) != 0 || !S_ISLNK(link.st_mode) || link.st_uid != ::geteuid())
    return -1;
  fd = ::open(name, flags, 0600);
  if (fd < 0) return -1;
  struct stat linkAfter {}, target {}, opened {};
  if (::lstat(name, &linkAfter) != 0 || !S_ISLNK(linkAfter.st_mode) ||
      linkAfter.st_uid != ::geteuid() || !sameFile(link, linkAfter) ||
      ::stat(name, &target) != 0 || ::fstat(fd, &opened) != 0 || !sameFile(target, opened)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Writes all of `bytes`; false when the system refuses some of them.
bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

std::string formatText(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text;
  if (length > 0) {
    text.resize(static_cast<std::size_t>(length) + 1);
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<std::size_t>(length));
  }
  va_end(args);
  return text;
}

std::FILE* consoleStream() { return consoleOut ? consoleOut : stdout; }

void setConsoleStream(std::FILE* stream) { consoleOut = stream; }

void messagePlain(std::string_view text) {
  messageConsole(text);
  reportLine(text);
}

void messageError(std::string_view text) {
  if (!runSettings.compact) {
    put("\n");
    put(text);
  }
  reportLine(text);
}

void messageConsole(std::string_view text) {
  if (!runSettings.compact) put(text);
}

void messageReport(std::string_view text) { reportLine(text); }

void messageAlways(std::string_view text) { put(text); }

std::string currentTimeStamp() {
  std::tm t = localNow();
  return formatText("%02d:%02d:%02d", t.tm_hour, t.tm_min, t.tm_sec);
}

std::string currentDateText() {
  std::tm t = localNow();
  return formatText("%02d/%02d/%02d", t.tm_mon + 1, t.tm_mday, t.tm_year % 100);
}

void reportLine(std::string_view text) {
  std::string record = currentTimeStamp();
  record += ' ';
  record += text;
  if (runSettings.compact) put(record);
  if (runSettings.reportFile.empty()) return;
  const int report = openReportFile(runSettings.reportFile.c_str());
  if (report < 0) {
    put("!!! Can't open report file\n");
    return;
  }
  // A full disk or a file size limit (SIGXFSZ is ignored) fails the write, or
  // the close on a network file system.  Said once: every later record would
  // repeat it.
  const bool written = writeAll(report, record);
  if ((::close(report) != 0 || !written) && !runSettings.reportWriteFailed) {
    runSettings.reportWriteFailed = true;
    put("!!! Can't write report file\n");
  }
}

void writeConsoleDevice(std::string_view bytes) {
  std::fflush(consoleStream());
  int fd = consoleDeviceFd();
  if (fd < 0) return;
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n <= 0) return;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

void progressUpdate(int count) {
  if (runSettings.compact) return;
  writeConsoleDevice("\b\b\b\b\b\b\b\b");
  put(formatText("%8i", count));
  std::fflush(consoleStream());
}

void progressDone(int count) {
  if (runSettings.compact) return;
  progressUpdate(count);
  put("...Done\n");
}
