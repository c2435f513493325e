// Test support for the index engine: a fresh engine context working in its own
// temporary directory, data files built from field definitions and records given as
// NAME=VALUE texts, and every tag checked whole after each change the data files make
// (CheckingIndexOps).
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/scratch_dir.h"
#include "xbase/data/code4.h"
#include "xbase/data/data.h"
#include "xbase/data/error.h"
#include "xbase/data/index_seam.h"
#include "xbase/file/os.h"
#include "xbase/index/ntx.h"

// Wraps the index table so that every tag of a data file is checked with tagCheck
// after each change completes: an append (or one refused), a rewrite, a zap's
// rebuild.  A broken tree then fails the test at the change that broke it.  A check
// reads the whole tag and file, so beyond kEveryChangeUpTo records only every
// kLargeFileStride-th change is checked (a long random run stays linear).  Nothing is
// checked while the context holds an error or a fault-injecting OsFiles is installed
// (the check's own reads would move the fault counts).
class CheckingIndexOps {
 public:
  CheckingIndexOps() { previous_ = dataSetIndexOps(&table()); }
  ~CheckingIndexOps() { dataSetIndexOps(previous_); }

 private:
  static const IndexOps& real() { return *indexNtxOps(); }

  static constexpr int32_t kEveryChangeUpTo = 200;
  static constexpr int64_t kLargeFileStride = 1000;

  static void checkAll(DataFile* data, const char* after) {
    static int64_t changes = 0;
    if (dataContext(data)->errorCode < 0 || &osFiles() != &osPosix()) return;
    if (++changes % kLargeFileStride != 0 && dataRecordCount(data) > kEveryChangeUpTo) return;
    EngineList* indexes = dataIndexes(data);
    for (void* i = listFirst(indexes); i; i = listNext(indexes, i)) {
      EngineList* tags = &static_cast<IndexFile*>(i)->tags;
      for (void* t = listFirst(tags); t; t = listNext(tags, t)) {
        IndexTag* tag = static_cast<IndexTag*>(t);
        char message[300];
        if (tagCheck(tag, message, sizeof message) != 0)
          ADD_FAILURE() << "tag " << tag->name << " after " << after << ": " << message;
      }
    }
  }

  static const IndexOps& table() {
    static const IndexOps ops = [] {
      IndexOps o = real();
      o.append = [](DataFile* d, int32_t recno) {
        int rc = real().append(d, recno);
        if (rc != 0) checkAll(d, "a refused append");
        return rc;
      };
      o.appendEnd = [](DataFile* d, int32_t recno, bool written) {
        int rc = real().appendEnd(d, recno, written);
        if (rc == 0) checkAll(d, "an append");
        return rc;
      };
      o.rewrite = [](DataFile* d, int32_t recno) {
        int rc = real().rewrite(d, recno);
        if (rc == resultLocked || rc == resultUniqueKey) checkAll(d, "a refused rewrite");
        return rc;
      };
      o.rewriteEnd = [](DataFile* d) {
        int rc = real().rewriteEnd(d);
        if (rc == 0) checkAll(d, "a rewrite");
        return rc;
      };
      o.rebuild = [](DataFile* d) {
        int rc = real().rebuild(d);
        if (rc == 0) checkAll(d, "a rebuild");
        return rc;
      };
      return o;
    }();
    return ops;
  }

  const IndexOps* previous_;
};

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
  CheckingIndexOps checking_;
};

// The record numbers of a tag's entries, in the tag's order.
inline std::vector<int32_t> tagRecnos(IndexTag* tag) {
  std::vector<int32_t> out;
  for (int rc = tagFirst(tag); rc == 0; rc = tagNext(tag)) out.push_back(tagCurrentRecno(tag));
  return out;
}
