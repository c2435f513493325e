#include "xbase/data/pool.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "xbase/data/code4.h"
#include "xbase/data/error.h"

namespace {

// Every record slot and the chunk header keep the platform's strictest alignment, so a
// pool may hold any engine record.  A slot is at least one ListLink wide because free
// records are listed through their first bytes.
constexpr size_t kAlign = alignof(std::max_align_t);

size_t roundUp(size_t n) { return (n + kAlign - 1) / kAlign * kAlign; }

size_t slotSize(const MemoryPool* pool) {
  size_t size = pool->recordSize > 0 ? static_cast<size_t>(pool->recordSize) : 1;
  if (size < sizeof(ListLink)) size = sizeof(ListLink);
  return roundUp(size);
}

constexpr size_t kChunkHeader = (sizeof(ListLink) + kAlign - 1) / kAlign * kAlign;
constexpr int kDescriptorsPerBlock = 10;

struct DescriptorBlock {
  ListLink link;
  MemoryPool pools[kDescriptorsPerBlock];
};

// Process-wide state: live pools, recycled descriptors, and the blocks the descriptors
// were carved from (kept for the life of the process).
EngineList livePools;
EngineList freeDescriptors;
EngineList descriptorBlocks;

AllocGate allocGate = nullptr;

bool isNegative(const CODE4* context) {
  return context != nullptr && context->errorCode < 0;
}

}  // namespace

void engineSetAllocGate(AllocGate gate) { allocGate = gate; }

void* engineAlloc(CODE4* /*context*/, size_t size) {
  if (allocGate != nullptr && !allocGate(size)) return nullptr;
  return std::calloc(1, size == 0 ? 1 : size);
}

void* engineAllocReport(CODE4* context, size_t size) {
  if (isNegative(context)) return nullptr;
  void* memory = engineAlloc(context, size);
  if (memory == nullptr) errorReport(context, errorMemory);
  return memory;
}

void engineFree(void* memory) { std::free(memory); }

int engineBufferGrow(CODE4* context, char** buffer, uint32_t* size, uint32_t needed) {
  if (isNegative(context)) return -1;
  if (*buffer != nullptr && *size >= needed) return 0;
  char* grown = static_cast<char*>(engineAlloc(context, needed));
  if (grown == nullptr) return errorReport(context, errorMemory);
  if (*buffer != nullptr) {
    std::memcpy(grown, *buffer, *size);
    engineFree(*buffer);
  }
  *buffer = grown;
  *size = needed;
  return 0;
}

MemoryPool* poolCreate(CODE4* context, int32_t firstCount, int32_t recordSize,
                       int32_t growthCount, int isPrivate) {
  if (isNegative(context)) return nullptr;
  if (firstCount < 1) firstCount = 1;
  if (growthCount < 1) growthCount = 1;
  if (!isPrivate) {
    for (void* e = listFirst(&livePools); e != nullptr; e = listNext(&livePools, e)) {
      MemoryPool* pool = static_cast<MemoryPool*>(e);
      if (pool->recordSize == recordSize && pool->users > 0) {
        if (firstCount > pool->firstCount) pool->firstCount = firstCount;
        if (growthCount > pool->growthCount) pool->growthCount = growthCount;
        pool->users++;
        return pool;
      }
    }
  }
  if (freeDescriptors.count == 0) {
    auto* block = static_cast<DescriptorBlock*>(engineAlloc(context, sizeof(DescriptorBlock)));
    if (block == nullptr) {
      if (context != nullptr) context->errorCode = errorMemory;
      return nullptr;
    }
    listAddLast(&descriptorBlocks, block);
    for (MemoryPool& pool : block->pools) listAddLast(&freeDescriptors, &pool);
  }
  MemoryPool* pool = static_cast<MemoryPool*>(listPopLast(&freeDescriptors));
  std::memset(pool, 0, sizeof *pool);
  listAddLast(&livePools, pool);
  pool->firstCount = firstCount;
  pool->recordSize = recordSize;
  pool->growthCount = growthCount;
  pool->users = isPrivate ? -1 : 1;
  pool->owner = context;
  return pool;
}

void* poolAlloc(MemoryPool* pool, CODE4* context) {
  if (pool == nullptr || isNegative(context)) return nullptr;
  size_t slot = slotSize(pool);
  if (pool->freeRecords.count == 0) {
    int32_t count = pool->chunks.count == 0 ? pool->firstCount : pool->growthCount;
    if (count < 1) count = 1;
    // Computed in 64 bits and checked, so a huge count fails cleanly instead of wrapping.
    unsigned long long bytes = kChunkHeader + static_cast<unsigned long long>(count) * slot;
    char* chunk = bytes > SIZE_MAX / 2 ? nullptr
                                       : static_cast<char*>(engineAlloc(context, bytes));
    if (chunk == nullptr) {
      if (context != nullptr) context->errorCode = errorMemory;
      return nullptr;
    }
    listAddLast(&pool->chunks, chunk);
    for (int32_t i = 0; i < count; i++) {
      listAddLast(&pool->freeRecords, chunk + kChunkHeader + static_cast<size_t>(i) * slot);
    }
  }
  void* record = listPopLast(&pool->freeRecords);
  std::memset(record, 0, slot);
  pool->inUse++;
  return record;
}

void poolFree(MemoryPool* pool, void* record) {
  if (pool == nullptr || record == nullptr) return;
  listAddLast(&pool->freeRecords, record);
  pool->inUse--;
}

void poolRelease(MemoryPool* pool) {
  // A released descriptor is zeroed, so a second release of it finds 0 users and
  // changes nothing.
  if (pool == nullptr || pool->users == 0) return;
  pool->users--;
  if (pool->users > 0) return;
  while (void* chunk = listPopLast(&pool->chunks)) engineFree(chunk);
  listRemove(&livePools, pool);
  std::memset(pool, 0, sizeof *pool);
  listAddLast(&freeDescriptors, pool);
}

int32_t poolLiveCount() { return livePools.count; }
