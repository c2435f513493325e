#include "tests/e2e_support.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>

namespace e2e {
namespace {

constexpr int kTimeoutMs = 60000;

long long nowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}

std::string resolve(const std::string& program) {
  return program.find('/') == std::string::npos ? programPath(program) : program;
}

std::vector<char*> argvFor(const std::string& path, const std::vector<std::string>& args) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(path.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  return argv;
}

// In the child: working directory, environment, then the program.  Only
// async-signal-safe calls plus putenv on memory the parent owns.
[[noreturn]] void execChild(const std::string& path, std::vector<char*>& argv,
                            const RunOptions& options) {
  if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0) _exit(126);
  for (const std::string& entry : options.env) putenv(const_cast<char*>(entry.c_str()));
  execv(path.c_str(), argv.data());
  _exit(127);
}

void makePipe(int fds[2]) {
  if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
}

// Appends what is readable on fd to text; false at end of file or error.
bool drain(int fd, std::string& text) {
  char buffer[4096];
  ssize_t n = read(fd, buffer, sizeof buffer);
  if (n > 0) {
    text.append(buffer, static_cast<std::size_t>(n));
    return true;
  }
  return n < 0 && (errno == EINTR || errno == EAGAIN);
}

int waitForExit(pid_t pid, bool kill) {
  if (kill) ::kill(pid, SIGKILL);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

std::string programPath(const std::string& name) { return std::string(DRIFT_BUILD_DIR) + "/" + name; }

RunResult runShell(const std::string& commands, const std::string& cwd, const std::string& home) {
  RunOptions options;
  options.cwd = cwd;
  options.env = {"PATH=" DRIFT_BUILD_DIR ":/usr/bin:/bin"};
  if (!home.empty()) options.env.push_back("HOME=" + home);
  return runProgram("/bin/sh", {"-c", commands}, options);
}

RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                     const RunOptions& options) {
  const std::string path = resolve(program);
  std::vector<char*> argv = argvFor(path, args);
  int in[2], out[2], err[2];
  makePipe(in);
  makePipe(out);
  makePipe(err);
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    setsid();  // no controlling terminal: console-device output goes nowhere
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    execChild(path, argv, options);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  signal(SIGPIPE, SIG_IGN);

  RunResult result;
  std::size_t written = 0;
  int inFd = in[1];
  if (options.stdinText.empty()) {
    close(inFd);
    inFd = -1;
  }
  bool outOpen = true, errOpen = true, timedOut = false;
  const long long deadline = nowMs() + kTimeoutMs;
  while (outOpen || errOpen) {
    pollfd fds[3] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}, {inFd, POLLOUT, 0}};
    int left = static_cast<int>(deadline - nowMs());
    if (left <= 0) {
      timedOut = true;
      break;
    }
    if (poll(fds, inFd >= 0 ? 3 : 2, left) < 0 && errno != EINTR) break;
    if (fds[0].revents) outOpen = drain(out[0], result.out);
    if (fds[1].revents) errOpen = drain(err[0], result.err);
    if (inFd >= 0 && fds[2].revents) {
      ssize_t n = write(inFd, options.stdinText.data() + written,
                        options.stdinText.size() - written);
      if (n > 0) written += static_cast<std::size_t>(n);
      if (n < 0 || written == options.stdinText.size()) {
        close(inFd);
        inFd = -1;
      }
    }
  }
  if (inFd >= 0) close(inFd);
  close(out[0]);
  close(err[0]);
  result.exitCode = waitForExit(pid, timedOut);
  return result;
}

RunResult runOnTerminal(const std::string& program, const std::vector<std::string>& args,
                        const std::string& waitFor, const std::string& keys,
                        const RunOptions& options) {
  const std::string path = resolve(program);
  std::vector<char*> argv = argvFor(path, args);
  int out[2], err[2];
  makePipe(out);
  makePipe(err);
  int master = -1;
  pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  if (pid < 0) throw std::runtime_error("forkpty failed");
  if (pid == 0) {
    dup2(out[1], 1);
    dup2(err[1], 2);
    execChild(path, argv, options);
  }
  close(out[1]);
  close(err[1]);

  RunResult result;
  bool outOpen = true, errOpen = true, ttyOpen = true, typed = false, timedOut = false;
  const long long deadline = nowMs() + kTimeoutMs;
  while (outOpen || errOpen) {
    pollfd fds[3] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}, {ttyOpen ? master : -1, POLLIN, 0}};
    int left = static_cast<int>(deadline - nowMs());
    if (left <= 0) {
      timedOut = true;
      break;
    }
    if (poll(fds, 3, left) < 0 && errno != EINTR) break;
    if (fds[0].revents) outOpen = drain(out[0], result.out);
    if (fds[1].revents) errOpen = drain(err[0], result.err);
    if (ttyOpen && fds[2].revents) ttyOpen = drain(master, result.tty);
    if (!typed && result.tty.find(waitFor) != std::string::npos) {
      typed = true;
      if (!keys.empty() && write(master, keys.data(), keys.size()) < 0) break;
    }
  }
  // The program has closed its pipes; collect the rest of the terminal.
  if (!timedOut) {
    int flags = fcntl(master, F_GETFL);
    fcntl(master, F_SETFL, flags | O_NONBLOCK);
    while (ttyOpen) {
      char buffer[4096];
      ssize_t n = read(master, buffer, sizeof buffer);
      if (n <= 0) break;
      result.tty.append(buffer, static_cast<std::size_t>(n));
    }
  }
  close(out[0]);
  close(err[0]);
  result.exitCode = waitForExit(pid, timedOut);
  // On the master side the terminal's modes are still those the program
  // set or put back.
  termios modes{};
  if (tcgetattr(master, &modes) == 0) result.ttyLocalModes = static_cast<long>(modes.c_lflag);
  close(master);
  return result;
}

void writeFile(const std::string& path, const std::string& content) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!file) throw std::runtime_error("cannot write " + path);
  file << content;
}

std::string readFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

bool fileExists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

std::string maskTimes(const std::string& text) {
  static const std::regex time("[0-9]{2}:[0-9]{2}:[0-9]{2}");
  static const std::regex date("[0-9]{2}/[0-9]{2}/[0-9]{2}");
  return std::regex_replace(std::regex_replace(text, time, "hh:mm:ss"), date, "mm/dd/yy");
}

}  // namespace e2e
