// Engine memory: zero-filled allocation and pools of fixed-size records.
//
// Pools are process-wide and shared by record size: two non-private requests for pools
// of the same record size get the same MemoryPool, which counts its users and is
// dissolved by the last poolRelease.  Private pools (user count -1) are never shared.
// Records come out of a pool zero-filled.  Descriptors are carved from blocks of 10 and
// recycled through a free descriptor list; neither the blocks nor the descriptor lists
// are ever given back to the system.
//
// Not thread-safe: the engine runs in one thread.
#pragma once

#include <cstddef>
#include <cstdint>

#include "xbase/data/list.h"

struct CODE4;

struct MemoryPool {
  ListLink link;            // place among the live pools or the free descriptors
  EngineList chunks;        // memory chunks this pool allocated
  EngineList freeRecords;   // records ready to hand out (the last one goes first)
  CODE4* owner;             // context of the first request
  int32_t firstCount;       // records in the first chunk
  int32_t recordSize;       // bytes per record: the key under which pools are shared
  int32_t growthCount;      // records in each further chunk
  int32_t users;            // requests sharing the pool; -1 for a private pool
  int32_t inUse;            // records handed out and not returned
};

// A shared pool of recordSize-byte records (or a new private one when isPrivate).  A
// shared pool already live for that size is reused: its counts are raised to the
// requested ones when larger and its user count grows.  Null while the context holds a
// negative error code, and null with -920 stored (not printed) when no descriptor can be
// allocated.  context may be null (nothing is then recorded).
MemoryPool* poolCreate(CODE4* context, int32_t firstCount, int32_t recordSize,
                       int32_t growthCount, int isPrivate);
// A zeroed record, or null.  Null while context holds a negative code; when no memory
// can be had, -920 is stored in context (not printed) if a context was given.
void* poolAlloc(MemoryPool* pool, CODE4* context);
// Gives a record back; it is the next one poolAlloc hands out.  Null record: nothing.
void poolFree(MemoryPool* pool, void* record);
// Drops one user; the last one frees every chunk and recycles the descriptor.  A null
// pool does nothing.
void poolRelease(MemoryPool* pool);

// Number of live pools in the process (for tests and leak checks).
int32_t poolLiveCount();

// Zero-filled memory, or null when none can be had.  Nothing is recorded.  (Block
// buffering, which could give memory back on a retry, is never active in this engine,
// so a failure is final.)
void* engineAlloc(CODE4* context, size_t size);
// As engineAlloc, but a failure reports -920 through errorReport.  Null while the
// context holds a negative code.
void* engineAllocReport(CODE4* context, size_t size);
void engineFree(void* memory);

// Grows a work buffer to at least `needed` bytes (contents kept, new bytes zeroed).
// Returns 0, or -920 reported when the memory cannot be had (the buffer is left as it
// was).  -1 while the context holds a negative code.
int engineBufferGrow(CODE4* context, char** buffer, uint32_t* size, uint32_t needed);

// Test seam: when set, engineAlloc asks it before every allocation and fails the
// allocation when it returns false.  Null restores normal allocation.
using AllocGate = bool (*)(size_t size);
void engineSetAllocGate(AllocGate gate);
