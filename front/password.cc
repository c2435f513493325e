#include "front/password.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <iterator>

#include "front/console.h"
#include "front/run_outcome.h"
#include "front/run_settings.h"
#include "xbase/file/file.h"

namespace {

const char kPrompt[] = "          Password: ";

void writeAll(int fd, const char* bytes, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, bytes, size);
    if (n <= 0) return;
    bytes += n;
    size -= static_cast<std::size_t>(n);
  }
}

// The terminal and its mode from before the prompt, for the signal handler
// below.  restoreFd is -1 while no prompt is reading keys.
volatile sig_atomic_t restoreFd = -1;
termios restoreModes{};

// Ctrl-C (or a hang-up, or a kill) at the prompt ends the process as such a
// signal always does, but first puts the terminal's echo back: a process
// that dies in the middle of the prompt must not leave the user's shell
// typing blind.  Only async-signal-safe calls here.
void restoreTerminalAndDie(int signalNumber) {
  if (restoreFd >= 0) tcsetattr(restoreFd, TCSANOW, &restoreModes);
  std::signal(signalNumber, SIG_DFL);
  std::raise(signalNumber);
}

// Keys without echo for as long as it lives; the terminal's mode is put
// back on every way out, the ending signals included.
class RawTerminal {
 public:
  explicit RawTerminal(int fd) : fd_(fd) {
    if (tcgetattr(fd_, &saved_) != 0) return;
    termios raw = saved_;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_iflag &= ~static_cast<tcflag_t>(ICRNL | INLCR | IGNCR);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    restoreModes = saved_;
    restoreFd = fd_;
    for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
      struct sigaction action{};
      action.sa_handler = restoreTerminalAndDie;
      sigemptyset(&action.sa_mask);
      sigaction(kEndingSignals[i], &action, &previous_[i]);
    }
    active_ = tcsetattr(fd_, TCSANOW, &raw) == 0;
  }
  ~RawTerminal() {
    if (active_) tcsetattr(fd_, TCSANOW, &saved_);
    if (restoreFd != fd_) return;  // the constructor stopped early
    for (std::size_t i = 0; i < std::size(kEndingSignals); ++i)
      sigaction(kEndingSignals[i], &previous_[i], nullptr);
    restoreFd = -1;
  }
  RawTerminal(const RawTerminal&) = delete;
  RawTerminal& operator=(const RawTerminal&) = delete;

 private:
  int fd_;
  termios saved_{};
  struct sigaction previous_[std::size(kEndingSignals)]{};
  bool active_ = false;
};

void readFromTerminal(int tty, std::string& password) {
  RawTerminal raw(tty);
  writeAll(tty, kPrompt, sizeof kPrompt - 1);
  password.clear();
  bool cancelled = false;
  for (;;) {
    unsigned char key = 0;
    ssize_t n = ::read(tty, &key, 1);
    if (n <= 0) break;  // the terminal went away: take what was typed
    if (key == 13 || key == 10) break;
    if (key == 27) {
      cancelled = true;
      break;
    }
    if (key == 8 || key == 127) {
      if (!password.empty()) {
        password.pop_back();
        writeAll(tty, "\b \b", 3);
      }
      continue;
    }
    if (key >= 0x20 && key < 0x7F && password.size() < kMaxPasswordLength) {
      password += static_cast<char>(key);
      writeAll(tty, "X", 1);
    }
  }
  writeAll(tty, "\r\n", 2);
  if (cancelled) password = std::string(kCancelMarker);
}

bool readFromStandardInput(std::string& password) {
  std::fputs(kPrompt, stderr);
  std::fflush(stderr);
  password.clear();
  bool tooLong = false;
  for (int c; (c = std::fgetc(stdin)) != EOF && c != '\n';) {
    if (password.size() >= kMaxPasswordLength + 1) tooLong = true;
    else password += static_cast<char>(c);
  }
  if (!password.empty() && password.back() == '\r') password.pop_back();
  std::fputs("\n", stderr);
  if (tooLong || password.size() > kMaxPasswordLength) {
    password.clear();
    std::fprintf(stderr, "The password is longer than %i characters.\n",
                 static_cast<int>(kMaxPasswordLength));
    return false;
  }
  return true;
}

}  // namespace

bool readPassword(std::string& password) {
  std::fflush(consoleStream());
  if (::isatty(STDIN_FILENO)) {
    int tty = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (tty >= 0) {
      readFromTerminal(tty, password);
      ::close(tty);
      return true;
    }
  }
  return readFromStandardInput(password);
}

bool passwordCancelled() { return runSettings.password == kCancelMarker; }

int cancelRun() {
  messageConsole("Process aborted\n");
  messageReport("Process canceled by user\n");
  return exitCodeOf(RunOutcome::SetupError);
}
