// Support for the crash and concurrency tests: start a built program in the
// background, stop it with a signal, wait for it; and read a dbf file back
// through the engine to check that it holds only whole records.
#ifndef DRIFT_TESTS_CRASH_SUPPORT_H
#define DRIFT_TESTS_CRASH_SUPPORT_H

#include <fcntl.h>
#include <sys/stat.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/e2e_support.h"
#include "xbase/data/data.h"

namespace crash {

// Runs of a kill test: DRIFT_KILL_RUNS when set (make stress sets 100), else
// `reduced`.
inline int killRuns(int reduced) {
  const char* env = std::getenv("DRIFT_KILL_RUNS");
  int n = env != nullptr ? std::atoi(env) : 0;
  return n > 0 ? n : reduced;
}

// A program running in the background, its output going to files in cwd
// (<tag>.out, <tag>.err).  Killed with SIGKILL if still running when the object goes.
class Background {
 public:
  Background(const std::string& program, const std::vector<std::string>& args,
             const std::string& cwd, const std::string& tag = "bg",
             const std::vector<std::string>& env = {}) {
    std::string path = program.find('/') == std::string::npos ? e2e::programPath(program) : program;
    std::vector<std::string> argvText = {path};
    argvText.insert(argvText.end(), args.begin(), args.end());
    pid_ = fork();
    if (pid_ == 0) {
      setsid();  // no controlling terminal: no prompt, no console device
      if (chdir(cwd.c_str()) != 0) _exit(127);
      int in = open("/dev/null", O_RDONLY);
      int out = open((tag + ".out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      int err = open((tag + ".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(in, 0);
      dup2(out, 1);
      dup2(err, 2);
      for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
      std::vector<char*> argv;
      for (std::string& a : argvText) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(path.c_str(), argv.data());
      _exit(127);
    }
  }
  ~Background() {
    if (pid_ > 0 && !done_) {
      kill(pid_, SIGKILL);
      wait();
    }
  }
  Background(const Background&) = delete;
  Background& operator=(const Background&) = delete;

  pid_t pid() const { return pid_; }

  bool running() {
    if (done_) return false;
    int status = 0;
    pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_) finish(status);
    return !done_;
  }
  void signal(int sig) {
    if (!done_) kill(pid_, sig);
  }
  // Exit code, or 128 + signal.
  int wait() {
    if (!done_) {
      int status = 0;
      if (waitpid(pid_, &status, 0) == pid_) finish(status);
      done_ = true;
    }
    return code_;
  }

 private:
  void finish(int status) {
    done_ = true;
    code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  pid_t pid_ = -1;
  bool done_ = false;
  int code_ = -1;
};

// Waits until the process holds a whole-file share lock (flock) on the file at
// path, as /proc/locks shows it, up to `seconds`.  False when it never did.
inline bool waitForShareLock(pid_t pid, const std::string& path, double seconds) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return false;
  std::string inode = ":" + std::to_string(st.st_ino) + " ";
  std::string owner = " " + std::to_string(pid) + " ";
  auto start = std::chrono::steady_clock::now();
  while (std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() < seconds) {
    std::string locks = e2e::readFile("/proc/locks");
    size_t lineStart = 0;
    while (lineStart < locks.size()) {
      size_t end = locks.find('\n', lineStart);
      if (end == std::string::npos) end = locks.size();
      std::string line = locks.substr(lineStart, end - lineStart);
      if (line.find("FLOCK") != std::string::npos && line.find(owner) != std::string::npos &&
          line.find(inode) != std::string::npos)
        return true;
      lineStart = end + 1;
    }
    if (kill(pid, 0) != 0) return false;
    usleep(1000);
  }
  return false;
}

inline double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Opens the dbf file and checks it: the count the engine derives equals the whole
// records in the file (at most an end byte after them), and record n has ID n and
// NAME "name n".  Empty when sound; else what is wrong.  *count receives the count.
inline std::string checkRecords(const std::string& path, int32_t* countOut = nullptr) {
  CODE4 c;
  engineInit(&c);
  c.errQuiet = 1;
  c.autoOpen = 0;
  c.openReadOnly = 1;
  std::string problem;
  DataFile* d = dataOpen(&c, path.c_str());
  if (d == nullptr) return "does not open: " + std::to_string(engineErrorCode(&c));
  int64_t size = static_cast<int64_t>(e2e::readFile(path).size());
  int64_t body = size - d->header.headerLength;
  int32_t count = dataRecordCount(d);
  if (countOut) *countOut = count;
  int64_t rest = body - static_cast<int64_t>(count) * d->recordLength;
  if (count < 0 || rest < 0 || rest > 1) problem = "count " + std::to_string(count) + ", body " + std::to_string(body);
  for (int32_t n = 1; problem.empty() && n <= count; ++n) {
    if (dataGo(d, n) != 0) {
      problem = "record " + std::to_string(n) + " unreadable";
      break;
    }
    std::string name(fieldPtr(dataFieldByName(d, "NAME")), dataFieldByName(d, "NAME")->length);
    name.erase(name.find_last_not_of(' ') + 1);
    if (d->record[0] != ' ' || fieldLong(dataFieldByName(d, "ID")) != n ||
        name != "name " + std::to_string(n))
      problem = "record " + std::to_string(n) + " is [" + std::string(d->record, d->recordLength) + "]";
  }
  dataClose(d);
  engineRelease(&c);
  return problem;
}

}  // namespace crash

#endif
