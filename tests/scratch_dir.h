// A scratch directory for a test: made under $TMPDIR (else /tmp) as
// <prefix>-XXXXXX and removed with all in it at the end.  Every test program
// (unit and end-to-end) takes its scratch directories from here.
//
//   ScratchDir dir("drift-e2e");        // made now
//   writeFile(dir.path("run.cfg"), ...);
//
//   ScratchDir scratch;                 // in a fixture: made in SetUp
//   scratch.enter("drift-index");       // made and the current directory
//   scratch.leave();                    // previous directory again, removed
#ifndef DRIFT_TESTS_SCRATCH_DIR_H
#define DRIFT_TESTS_SCRATCH_DIR_H

#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>

class ScratchDir {
 public:
  ScratchDir() = default;
  explicit ScratchDir(const std::string& prefix) { make(prefix); }
  ~ScratchDir() { leave(); }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& path() const { return path_; }
  std::string path(const std::string& name) const { return path_ + "/" + name; }

  // Makes the directory (a new one when there is none) the current directory;
  // leave() or the end of the object goes back.
  void enter(const std::string& prefix) {
    if (path_.empty()) make(prefix);
    std::error_code ec;
    previous_ = std::filesystem::current_path(ec);
    if (ec || chdir(path_.c_str()) != 0) throw std::runtime_error("cannot enter " + path_);
    entered_ = true;
  }

  // Goes back to the directory current before enter(), and removes the
  // directory with all in it.
  void leave() {
    std::error_code ec;
    if (entered_) std::filesystem::current_path(previous_, ec);
    entered_ = false;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    path_.clear();
  }

 private:
  void make(const std::string& prefix) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/" + prefix + "-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr)
      throw std::runtime_error("mkdtemp failed for " + pattern);
    path_ = pattern;
  }

  std::string path_;
  std::filesystem::path previous_;
  bool entered_ = false;
};

#endif
