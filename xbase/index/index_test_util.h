// Test support for the index engine: a fresh engine context working in its own
// temporary directory, data files built from field definitions and records given as
// NAME=VALUE texts.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "xbase/file/scratch_dir_test_util.h"
#include "xbase/data/code4.h"
#include "xbase/data/data.h"
#include "xbase/data/error.h"

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scratch_.enter("drift-index");
    if (HasFatalFailure()) return;
    errorSetKeyWaiter(&noKey);
    engineInit(&c4);
    c4.errQuiet = 1;
  }
  void TearDown() override {
    engineRelease(&c4);
    errorSetKeyWaiter(nullptr);
    scratch_.leave();
  }
  static void noKey() {}

  // Creates name.dbf with the given fields and leaves it open.
  DataFile* create(const char* name, const std::vector<FieldDef>& fields) {
    DataFile* d = dataCreate(&c4, name, fields.data(), static_cast<int32_t>(fields.size()));
    EXPECT_NE(d, nullptr) << "create " << name << " error " << c4.errorCode;
    return d;
  }
  // Appends one record: values by field name ("NAME=text"); other fields blank.
  int append(DataFile* d, const std::vector<std::string>& values) {
    if (dataAppendStart(d, 0) != 0) return -1;
    dataBlank(d);
    for (const std::string& v : values) {
      size_t eq = v.find('=');
      FieldInfo* f = dataFieldByName(d, v.substr(0, eq).c_str());
      EXPECT_NE(f, nullptr) << v;
      if (f == nullptr) return -1;
      std::string text = v.substr(eq + 1);
      if (f->type == 'N' || f->type == 'F')
        fieldAssignDouble(f, strtod(text.c_str(), nullptr));
      else if (f->type == 'M')
        memoAssign(f, text.data(), static_cast<int32_t>(text.size()));
      else
        fieldAssignText(f, text.data(), static_cast<int32_t>(text.size()));
    }
    return dataAppend(d);
  }
  // Whole-file contents.
  static std::string slurp(const std::string& path) {
    FILE* f = fopen(path.c_str(), "rb");
    std::string s;
    if (f == nullptr) return s;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    fclose(f);
    return s;
  }
  static void spit(const std::string& path, const std::string& bytes) {
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
  }

  CODE4 c4;
  ScratchDir scratch_;
};
