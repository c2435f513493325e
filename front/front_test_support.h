// Helpers for the front end's unit tests: fresh run settings, captured
// console output and a scratch directory.
#ifndef DRIFT_FRONT_FRONT_TEST_SUPPORT_H
#define DRIFT_FRONT_FRONT_TEST_SUPPORT_H

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "front/config_reader.h"
#include "front/console.h"
#include "front/run_settings.h"
#include "tests/scratch_dir.h"

class FrontTest : public ::testing::Test {
 protected:
  void SetUp() override {
    runSettings = RunSettings{};
    capture_ = open_memstream(&buffer_, &size_);
    setConsoleStream(capture_);
  }
  void TearDown() override {
    setConsoleStream(nullptr);
    std::fclose(capture_);
    free(buffer_);
  }

  // Console output since the last call.
  std::string output() {
    std::fflush(capture_);
    std::string text(buffer_, size_);
    std::string fresh = text.substr(taken_);
    taken_ = text.size();
    return fresh;
  }

  std::string path(const std::string& name) const { return scratch_.path(name); }

  void writeFile(const std::string& name, const std::string& content) {
    std::ofstream(path(name), std::ios::binary) << content;
  }

  std::string readFile(const std::string& name) {
    std::ifstream file(path(name), std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
  }

  static std::string maskTimes(const std::string& text) {
    static const std::regex time("[0-9]{2}:[0-9]{2}:[0-9]{2}");
    return std::regex_replace(text, time, "hh:mm:ss");
  }

 private:
  ScratchDir scratch_{"drift-front"};
  std::FILE* capture_ = nullptr;
  char* buffer_ = nullptr;
  std::size_t size_ = 0;
  std::size_t taken_ = 0;
};

#endif
