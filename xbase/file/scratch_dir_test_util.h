// A scratch directory under /tmp that is the test's current directory while it is
// entered; leaving goes back to the previous directory and removes it with all in it.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

class ScratchDir {
 public:
  // prefix names the directory, e.g. "drift-index" gives /tmp/drift-index-XXXXXX.
  void enter(const std::string& prefix) {
    std::string pattern = "/tmp/" + prefix + "-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    path = pattern;
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    previous_ = cwd;
    ASSERT_EQ(chdir(path.c_str()), 0);
  }
  void leave() {
    if (path.empty()) return;
    EXPECT_EQ(chdir(previous_.c_str()), 0);
    std::filesystem::remove_all(path);
    path.clear();
  }

  std::string path;

 private:
  std::string previous_;
};
