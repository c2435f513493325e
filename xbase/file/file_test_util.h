// Helpers shared by the file layer's tests: a scratch directory that is also the
// current directory, a context with the defaults, file contents, and a child process
// that holds a file while the test looks at it from outside.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "tests/scratch_dir.h"
#include "xbase/data/code4.h"
#include "xbase/data/error.h"
#include "xbase/data/engine_file.h"

class ScratchDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scratch_.enter("xfile-test");
    dir_ = scratch_.path();
    engineInit(&context_);
    errorSetKeyWaiter(&countKey);
    keys_ = 0;
  }
  void TearDown() override {
    errorSetKeyWaiter(nullptr);
    scratch_.leave();
  }

  static void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
  }
  static std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static std::string pattern(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; i++) s[i] = static_cast<char>('a' + (i * 7 + i / 26) % 26);
    return s;
  }
  static void countKey() { keys_++; }

  CODE4 context_;
  ScratchDir scratch_;
  std::filesystem::path dir_;
  static inline int keys_ = 0;
};

// Runs `hold` in a child process, which signals when it is ready and then keeps its
// files open until the parent calls release() (or the holder is destroyed).  hold
// returns true when it set up what it should; a false return is reported by ready().
class ChildHolder {
 public:
  explicit ChildHolder(const std::function<bool()>& hold) {
    if (pipe(ready_) != 0 || pipe(release_) != 0) std::abort();
    pid_ = fork();
    if (pid_ == 0) {
      close(ready_[0]);
      close(release_[1]);
      char status = hold() ? 'y' : 'n';
      if (write(ready_[1], &status, 1) != 1) _exit(3);
      char ignored;
      while (read(release_[0], &ignored, 1) > 0) {
      }
      _exit(0);
    }
    close(ready_[1]);
    close(release_[0]);
  }
  ~ChildHolder() { release(); }

  // Waits for the child's set-up; true when it succeeded.
  bool ready() {
    char status = 0;
    return read(ready_[0], &status, 1) == 1 && status == 'y';
  }
  // Lets the child end, and waits for it.
  void release() {
    if (pid_ <= 0) return;
    close(release_[1]);
    close(ready_[0]);
    int status;
    waitpid(pid_, &status, 0);
    pid_ = -1;
  }

 private:
  int ready_[2];
  int release_[2];
  pid_t pid_ = -1;
};
