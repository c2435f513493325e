#include "front/console.h"

#include <fcntl.h>
#include <unistd.h>

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
  std::FILE* report = std::fopen(runSettings.reportFile.c_str(), "a");
  if (!report) {
    put("!!! Can't open report file\n");
    return;
  }
  std::fwrite(record.data(), 1, record.size(), report);
  std::fflush(report);
  std::fclose(report);
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
