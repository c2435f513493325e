#include "xbase/data/pool.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "xbase/data/code4.h"
#include "xbase/data/error.h"
#include "xbase/data/list.h"

namespace {

struct Item {
  ListLink link;
  int value;
};

class EngineListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memset(&list_, 0, sizeof list_);
    for (int i = 0; i < 4; i++) items_[i].value = i;
  }
  std::vector<int> forward() const {
    std::vector<int> out;
    for (void* e = listFirst(&list_); e != nullptr; e = listNext(&list_, e)) {
      out.push_back(static_cast<Item*>(e)->value);
    }
    return out;
  }
  std::vector<int> backward() const {
    std::vector<int> out;
    for (void* e = listPrevious(&list_, nullptr); e != nullptr; e = listPrevious(&list_, e)) {
      out.push_back(static_cast<Item*>(e)->value);
    }
    return out;
  }
  EngineList list_;
  Item items_[4];
};

TEST_F(EngineListTest, AddLastAddBeforeAndWalkBothWays) {
  EXPECT_EQ(listFirst(&list_), nullptr);
  EXPECT_EQ(listNext(&list_, nullptr), nullptr);
  listAddLast(&list_, &items_[1]);
  EXPECT_EQ(items_[1].link.next, &items_[1].link);  // a single element links to itself
  listAddLast(&list_, &items_[2]);
  listAddBefore(&list_, &items_[1], &items_[0]);    // before the first: becomes first
  listAddBefore(&list_, &items_[2], &items_[3]);
  EXPECT_EQ(forward(), (std::vector<int>{0, 1, 3, 2}));
  EXPECT_EQ(backward(), (std::vector<int>{2, 3, 1, 0}));
  EXPECT_EQ(list_.count, 4);
  EXPECT_EQ(listLast(&list_), &items_[2]);
  EXPECT_TRUE(listContains(&list_, &items_[3]));
}

TEST_F(EngineListTest, RemovingTheSelectedElementSelectsItsPredecessor) {
  for (int i = 0; i < 3; i++) listAddLast(&list_, &items_[i]);
  list_.selected = &items_[1].link;
  listRemove(&list_, &items_[1]);
  EXPECT_EQ(list_.selected, &items_[0].link);
  EXPECT_EQ(forward(), (std::vector<int>{0, 2}));
  EXPECT_FALSE(listContains(&list_, &items_[1]));
  // Removing the last element moves "last" back; the first element's predecessor is the
  // last one in the ring.
  list_.selected = &items_[0].link;
  listRemove(&list_, &items_[0]);
  EXPECT_EQ(list_.selected, &items_[2].link);
  EXPECT_EQ(listPopLast(&list_), &items_[2]);
  EXPECT_EQ(list_.last, nullptr);
  EXPECT_EQ(list_.selected, nullptr);
  EXPECT_EQ(list_.count, 0);
  EXPECT_EQ(listPopLast(&list_), nullptr);
}

TEST_F(EngineListTest, WalkingWhileRemovingTakesTheSuccessorFirst) {
  for (int i = 0; i < 4; i++) listAddLast(&list_, &items_[i]);
  int closed = 0;
  for (void* e = listFirst(&list_); e != nullptr;) {
    void* next = listNext(&list_, e);
    listRemove(&list_, e);
    closed++;
    e = next;
  }
  EXPECT_EQ(closed, 4);
  EXPECT_EQ(list_.count, 0);
}

class MemoryPoolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    engineInit(&first_);
    engineInit(&second_);
    live_ = poolLiveCount();
  }
  void TearDown() override {
    engineSetAllocGate(nullptr);
    EXPECT_EQ(poolLiveCount(), live_) << "a pool was left live";
  }
  CODE4 first_;
  CODE4 second_;
  int32_t live_ = 0;
};

TEST_F(MemoryPoolTest, SameRecordSizeSharesOnePoolUntilTheLastRelease) {
  MemoryPool* a = poolCreate(&first_, 5, 100, 5, 0);
  MemoryPool* b = poolCreate(&second_, 8, 100, 3, 0);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a, b);
  EXPECT_EQ(a->users, 2);
  EXPECT_EQ(a->firstCount, 8);   // raised to the larger request
  EXPECT_EQ(a->growthCount, 5);  // kept: the request was smaller
  EXPECT_EQ(a->owner, &first_);
  MemoryPool* other = poolCreate(&first_, 5, 101, 5, 0);
  EXPECT_NE(other, a);

  void* record = poolAlloc(a, &first_);
  ASSERT_NE(record, nullptr);
  poolRelease(a);
  EXPECT_EQ(a->users, 1);
  EXPECT_EQ(a->chunks.count, 1);  // still alive: its records stay valid
  std::memset(record, 0x5A, 100);
  poolFree(a, record);
  poolRelease(a);
  EXPECT_EQ(poolLiveCount(), live_ + 1);
  poolRelease(other);
  poolRelease(other);  // already released: nothing happens
}

TEST_F(MemoryPoolTest, ChunksGrowByFirstThenGrowthCount) {
  MemoryPool* pool = poolCreate(&first_, 5, 40, 7, 0);
  std::vector<void*> records;
  for (int i = 0; i < 5; i++) records.push_back(poolAlloc(pool, &first_));
  EXPECT_EQ(pool->chunks.count, 1);
  EXPECT_EQ(pool->freeRecords.count, 0);
  records.push_back(poolAlloc(pool, &first_));
  EXPECT_EQ(pool->chunks.count, 2);
  EXPECT_EQ(pool->freeRecords.count, 6);
  EXPECT_EQ(pool->inUse, 6);
  for (void* r : records) ASSERT_NE(r, nullptr);
  // Records never overlap.
  for (size_t i = 0; i < records.size(); i++) std::memset(records[i], static_cast<int>(i + 1), 40);
  for (size_t i = 0; i < records.size(); i++) {
    EXPECT_EQ(static_cast<unsigned char*>(records[i])[39], i + 1);
  }
  for (void* r : records) poolFree(pool, r);
  EXPECT_EQ(pool->inUse, 0);
  poolRelease(pool);
}

TEST_F(MemoryPoolTest, FreedRecordComesBackFirstAndZeroed) {
  MemoryPool* pool = poolCreate(&first_, 3, 64, 3, 0);
  void* record = poolAlloc(pool, &first_);
  std::memset(record, 0xFF, 64);
  poolFree(pool, record);
  void* again = poolAlloc(pool, &first_);
  EXPECT_EQ(again, record);
  std::vector<unsigned char> zero(64, 0);
  EXPECT_EQ(std::memcmp(again, zero.data(), 64), 0);
  poolFree(pool, again);
  poolRelease(pool);
}

TEST_F(MemoryPoolTest, PrivatePoolsAreNeverShared) {
  MemoryPool* shared = poolCreate(&first_, 2, 48, 2, 0);
  MemoryPool* mine = poolCreate(&first_, 2, 48, 2, 1);
  EXPECT_NE(shared, mine);
  EXPECT_EQ(mine->users, -1);
  EXPECT_EQ(poolCreate(&second_, 2, 48, 2, 0), shared);
  void* tiny = poolAlloc(mine, nullptr);
  EXPECT_NE(tiny, nullptr);
  poolRelease(mine);
  poolRelease(shared);
  poolRelease(shared);
}

TEST_F(MemoryPoolTest, DescriptorsComeInBlocksOfTenAndAreRecycled) {
  std::vector<MemoryPool*> pools;
  for (int i = 0; i < 25; i++) pools.push_back(poolCreate(&first_, 1, 1000 + i, 1, 0));
  for (MemoryPool* p : pools) ASSERT_NE(p, nullptr);
  EXPECT_EQ(poolLiveCount(), live_ + 25);
  MemoryPool* released = pools[7];
  poolRelease(released);
  // The recycled descriptor is reused before any new block is carved.
  engineSetAllocGate([](size_t) { return false; });
  MemoryPool* reused = poolCreate(&first_, 1, 5000, 1, 0);
  EXPECT_EQ(reused, released);
  engineSetAllocGate(nullptr);
  pools[7] = reused;
  for (MemoryPool* p : pools) poolRelease(p);
}

TEST_F(MemoryPoolTest, OutOfMemoryIsRecordedWithoutPrintingAndStops) {
  MemoryPool* pool = poolCreate(&first_, 4, 32, 4, 0);
  engineSetAllocGate([](size_t) { return false; });
  testing::internal::CaptureStdout();
  EXPECT_EQ(poolAlloc(pool, &first_), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(first_.errorCode, -920);
  // Without a context nothing is recorded.
  EXPECT_EQ(poolAlloc(pool, nullptr), nullptr);
  EXPECT_EQ(second_.errorCode, 0);
  engineSetAllocGate(nullptr);
  // A negative code refuses further work.
  EXPECT_EQ(poolAlloc(pool, &first_), nullptr);
  EXPECT_EQ(poolCreate(&first_, 1, 32, 1, 0), nullptr);
  first_.errorCode = 0;
  EXPECT_NE(poolAlloc(pool, &first_), nullptr);
  poolRelease(pool);
}

TEST_F(MemoryPoolTest, HugeCountsFailCleanly) {
  MemoryPool* pool = poolCreate(&first_, INT32_MAX, INT32_MAX, 1, 1);
  EXPECT_EQ(poolAlloc(pool, &first_), nullptr);
  EXPECT_EQ(first_.errorCode, -920);
  poolRelease(pool);
}

TEST_F(MemoryPoolTest, WorkBuffersGrowKeepingTheirContents) {
  char* buffer = nullptr;
  uint32_t size = 0;
  ASSERT_EQ(engineBufferGrow(&first_, &buffer, &size, 8), 0);
  std::memcpy(buffer, "abcdefg", 8);
  ASSERT_EQ(engineBufferGrow(&first_, &buffer, &size, 4), 0);
  EXPECT_EQ(size, 8u);
  ASSERT_EQ(engineBufferGrow(&first_, &buffer, &size, 100), 0);
  EXPECT_STREQ(buffer, "abcdefg");
  EXPECT_EQ(buffer[99], 0);
  first_.errQuiet = 1;
  engineSetAllocGate([](size_t) { return false; });
  EXPECT_EQ(engineBufferGrow(&first_, &buffer, &size, 1000), -920);
  EXPECT_EQ(size, 100u);
  EXPECT_EQ(engineAllocReport(&first_, 10), nullptr);
  engineSetAllocGate(nullptr);
  engineFree(buffer);
}

TEST(EngineInit, DefaultsAndAFreshStartOnReinit) {
  CODE4 context;
  std::memset(&context, 0x7F, sizeof context);
  engineInit(&context);
  EXPECT_STREQ(context.datePicture, "MM/DD/YY");
  EXPECT_EQ(context.lockTries, -1);
  EXPECT_EQ(context.errOpenFile, 1);
  EXPECT_EQ(context.createFailsIfExists, 1);
  EXPECT_EQ(context.autoOpen, 1);
  EXPECT_EQ(context.bufferingMode, -1);
  EXPECT_EQ(context.dataPool, nullptr);
  EXPECT_EQ(context.fieldBuffer.data, nullptr);
  EXPECT_EQ(context.dataFiles.count, 0);
  context.errQuiet = 1;
  context.errorCode = -60;
  engineInit(&context);
  EXPECT_EQ(context.errQuiet, 0);
  EXPECT_EQ(context.errorCode, 0);
}

}  // namespace
