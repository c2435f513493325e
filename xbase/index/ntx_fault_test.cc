// Tags under file faults: refused tag locks are asked again or give up cleanly, and a
// read or write failing anywhere in an append with tags ends in an error code, never a
// crash, with a tag that a rebuild makes sound again.
#include <string>

#include "xbase/file/os_fault.h"
#include "xbase/index/index_test_util.h"
#include "xbase/index/ntx.h"

namespace {

class NtxFaultTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    data = create("f", {{"NAME", 'C', 150, 0}, {"QTY", 'N', 5, 0}});
    ASSERT_NE(data, nullptr);
    for (int i = 0; i < 30; ++i)
      ASSERT_EQ(append(data, {"NAME=N" + std::to_string((i * 7) % 30), "QTY=" + std::to_string(i)}), 0);
    TagCreateInfo one{"ONE", "NAME", nullptr, 0, 0};
    TagCreateInfo two{"TWO", "QTY", nullptr, 0, 1};
    ASSERT_NE(tagCreate(data, &one, "F.CGP"), nullptr);
    ASSERT_NE(tagCreate(data, &two, "F.CGP"), nullptr);
    index = tagFind(data, "ONE")->index;
    ASSERT_EQ(index->tags.count, 2);
    indexUnlock(index);
  }
  std::string check(const char* name) {
    char message[300];
    IndexTag* tag = tagFind(data, name);
    if (!tag) return "no tag";
    return tagCheck(tag, message, sizeof message) == 0 ? "" : message;
  }

  DataFile* data = nullptr;
  IndexFile* index = nullptr;
};

TEST_F(NtxFaultTest, RefusedTagLocksAreRetriedOrAllReleased) {
  {
    OsFaultScope faults;
    faults->fakeClock(1'700'000'000'000);
    faults->lockBusy(1);  // the first tag's lock is refused once
    c4.lockTries = 2;
    EXPECT_EQ(indexLock(index), 0);
    EXPECT_GE(faults->sleeps(), 1);
  }
  EXPECT_EQ(index->locked, 1);
  indexUnlock(index);
  {
    OsFaultScope faults;
    faults->fakeClock(1'700'000'000'000);
    faults->lockBusy(-1);
    c4.lockTries = 0;
    EXPECT_EQ(indexLock(index), resultLocked);
    EXPECT_EQ(faults->sleeps(), 0);
  }
  EXPECT_EQ(c4.lockTries, 0);  // the setting is given back
  EXPECT_EQ(index->locked, 0);
  for (void* t = listFirst(&index->tags); t; t = listNext(&index->tags, t))
    EXPECT_EQ(static_cast<IndexTag*>(t)->fileLocked, 0);
  EXPECT_EQ(c4.errorCode, 0);
}

TEST_F(NtxFaultTest, FailuresInsideAnAppendEndInErrorsAndRebuildRestores) {
  int runs = 0;
  for (OsCall kind : {OsCall::read, OsCall::write, OsCall::size}) {
    for (int n = 1; n < 200; ++n) {
      bool fired = false;
      int rc = 0;
      {
        OsFaultScope faults;
        faults->failNth(kind, n, EIO);
        rc = append(data, {"NAME=A" + std::to_string(n), "QTY=" + std::to_string(1000 + n)});
        fired = faults->fired();
      }
      ++runs;
      if (fired) {
        EXPECT_NE(rc, 0) << n;
        EXPECT_LT(c4.errorCode, 0) << n;
      } else {
        EXPECT_EQ(rc, 0) << n;
      }
      engineErrorSet(&c4, 0);
      dataUnlock(data);
      // Whatever a failure left, a rebuild makes both tags agree with the records.
      for (const char* name : {"ONE", "TWO"}) {
        IndexTag* tag = tagFind(data, name);
        ASSERT_NE(tag, nullptr);
        ASSERT_EQ(indexLock(tag->index), 0);
        ASSERT_EQ(tagRebuild(tag), 0) << name << " after fault " << n;
        EXPECT_EQ(check(name), "") << name << " after fault " << n;
      }
      indexUnlock(index);
      if (!fired) break;
    }
  }
  EXPECT_GT(runs, 10);
}

}  // namespace
