#include "xbase/index/sort.h"

#include <cstring>
#include <utility>

#include "xbase/data/code4.h"
#include "xbase/data/error.h"
#include "xbase/data/pool.h"

namespace {

constexpr int32_t kMinCapacity = 256;
constexpr int32_t kLinkSize = static_cast<int32_t>(sizeof(ListLink));

int32_t itemRecno(const SortSession* s, const char* item) {
  int32_t r;
  memcpy(&r, item + s->keyLength, sizeof r);
  return r;
}
// Item a sorts after item b: greater key, or equal key and greater record number.
bool after(const SortSession* s, const char* a, const char* b) {
  int c = memcmp(a, b, s->keyLength);
  if (c != 0) return c > 0;
  return itemRecno(s, a) > itemRecno(s, b);
}

// Iterative quicksort with an explicit stack: median of three, pivot moved to lo, the
// larger part pushed and the smaller one sorted next (so the stack stays small).
void quickSort(const SortSession* s, char** a, int32_t n) {
  if (n < 2) return;
  struct Range { int32_t lo, hi; };
  Range stack[64];
  int top = 0;
  stack[top++] = {0, n - 1};
  while (top > 0) {
    Range r = stack[--top];
    int32_t lo = r.lo, hi = r.hi;
    while (hi > lo) {
      if (hi - lo == 1) {
        if (after(s, a[lo], a[hi])) std::swap(a[lo], a[hi]);
        break;
      }
      int32_t mid = lo + (hi - lo) / 2;
      if (after(s, a[lo], a[mid])) std::swap(a[lo], a[mid]);
      if (after(s, a[mid], a[hi])) std::swap(a[mid], a[hi]);
      if (after(s, a[lo], a[mid])) std::swap(a[lo], a[mid]);
      std::swap(a[lo], a[mid]);
      char* pivot = a[lo];
      int32_t i = lo + 1, j = hi;
      for (;;) {
        while (i <= hi && after(s, pivot, a[i])) i++;
        while (after(s, a[j], pivot)) j--;
        if (i >= j) break;
        std::swap(a[i], a[j]);
        i++;
        j--;
      }
      std::swap(a[lo], a[j]);
      // [lo, j-1] and [j+1, hi] remain.
      if (j - lo < hi - j) {
        stack[top++] = {j + 1, hi};
        hi = j - 1;
      } else {
        stack[top++] = {lo, j - 1};
        lo = j + 1;
      }
    }
  }
}

int fail(SortSession* s, int code) {
  CODE4* c4 = s->context;
  sortFree(s);
  if (code == errorMemory) return errorReport(c4, errorMemory, "Sorting");
  return code < 0 ? code : -1;
}

// Takes one more block from the pool and makes its items new slots.
bool addBlock(SortSession* s) {
  char* block = static_cast<char*>(poolAlloc(s->pool, nullptr));
  if (block == nullptr) return false;
  listAddLast(&s->blocks, block);
  s->blocksHeld++;
  char* items = block + kLinkSize;
  for (int32_t i = 0; i < s->itemsPerBlock && s->slots < s->capacity; i++)
    s->pointers[s->slots++] = items + i * s->itemLength;
  return true;
}

// Sorts the load and writes it as one run.
int spill(SortSession* s) {
  quickSort(s, s->pointers, s->count);
  if (!s->tempOpen) {
    if (fileTempCreate(&s->tempFile, s->context, s->tempName, 1) != 0) return -1;
    s->tempOpen = 1;
    seqWriteInit(&s->writer, &s->tempFile, 0, s->writerBuffer,
                 static_cast<uint32_t>(s->context->sortWriteBufferSize));
  }
  for (int32_t i = 0; i < s->count; i++)
    if (seqWrite(&s->writer, s->pointers[i], s->itemLength) != 0) return -1;
  s->count = 0;
  s->runs++;
  return 0;
}

int32_t runRecno(const SortSession* s, const SortRun* r) {
  return itemRecno(s, r->buffer + r->position);
}
const char* runItem(const SortRun* r) { return r->buffer + r->position; }

// Reads the next part of a run into its buffer.  0, 1 when the run is used up, -1.
int refill(SortSession* s, SortRun* r) {
  int64_t left = r->endOffset - r->nextOffset;
  if (r->nextOffset < 0 || left <= 0) {
    r->nextOffset = -1;
    return 1;
  }
  uint32_t want = left < s->shareBytes ? static_cast<uint32_t>(left) : s->shareBytes;
  uint32_t got = fileRead(&s->tempFile, r->nextOffset, r->buffer, want);
  if (s->context->errorCode < 0) return -1;
  if (got == 0 || got % s->itemLength != 0) {
    errorReport(s->context, errorRead, s->tempName);
    return -1;
  }
  r->nextOffset += got;
  r->bytes = got;
  r->position = 0;
  return 0;
}

// Puts run r into runOrder[from .. activeRuns) by binary search on (key, record).
void placeRun(SortSession* s, SortRun* r, int32_t from) {
  int32_t lo = from, hi = s->activeRuns;
  while (lo < hi) {
    int32_t mid = (lo + hi) / 2;
    if (after(s, runItem(r), runItem(s->runOrder[mid])))
      lo = mid + 1;
    else
      hi = mid;
  }
  memmove(s->runOrder + lo + 1, s->runOrder + lo, (s->activeRuns - lo) * sizeof(SortRun*));
  s->runOrder[lo] = r;
  s->activeRuns++;
}

int startMerge(SortSession* s) {
  CODE4* c4 = s->context;
  if (s->count > 0 && spill(s) != 0) return fail(s, -1);
  if (seqWriteFlush(&s->writer) != 0) return fail(s, -1);
  engineFree(s->writerBuffer);
  s->writerBuffer = nullptr;
  // The items are on disk now; the pointer array (and any items parked at its end)
  // is no longer needed.
  engineFree(s->pointers);
  s->pointers = nullptr;
  for (;;) {
    s->runTable = static_cast<SortRun*>(engineAlloc(c4, sizeof(SortRun) * s->runs));
    s->runOrder = static_cast<SortRun**>(engineAlloc(c4, sizeof(SortRun*) * s->runs));
    if (s->runTable && s->runOrder) break;
    engineFree(s->runTable);
    engineFree(s->runOrder);
    s->runTable = nullptr;
    s->runOrder = nullptr;
    void* block = listPopLast(&s->blocks);
    if (block == nullptr) return fail(s, errorMemory);
    poolFree(s->pool, block);
    s->blocksHeld--;
  }
  while (s->blocksHeld == 0) {
    char* block = static_cast<char*>(poolAlloc(s->pool, nullptr));
    if (block) {
      listAddLast(&s->blocks, block);
      s->blocksHeld++;
      break;
    }
    s->itemsPerBlock /= 2;
    s->blockSize = kLinkSize + s->itemsPerBlock * s->itemLength;
    if (s->itemsPerBlock == 0) return fail(s, errorMemory);
    poolRelease(s->pool);
    s->pool = poolCreate(c4, 1, s->blockSize, 1, 1);
    if (s->pool == nullptr) return fail(s, errorMemory);
  }
  int32_t runsPerBlock = (s->runs + s->blocksHeld - 1) / s->blocksHeld;
  int32_t share = s->itemsPerBlock / runsPerBlock;
  if (share == 0) return fail(s, errorMemory);
  s->shareBytes = static_cast<uint32_t>(share * s->itemLength);
  int64_t total = fileLength(&s->tempFile);  // the last run may be shorter
  if (total < 0) return fail(s, -1);
  char* block = static_cast<char*>(listFirst(&s->blocks));
  s->activeRuns = 0;
  for (int32_t k = 0; k < s->runs; k++) {
    if (k > 0 && k % runsPerBlock == 0) block = static_cast<char*>(listNext(&s->blocks, block));
    SortRun* r = &s->runTable[k];
    r->buffer = block + kLinkSize + (k % runsPerBlock) * s->shareBytes;
    r->runNumber = k;
    r->nextOffset = k * s->runBytes;
    r->endOffset = k + 1 < s->runs ? (k + 1) * s->runBytes : total;
    int got = refill(s, r);
    if (got < 0) return fail(s, -1);
    if (got == 0) placeRun(s, r, 0);
  }
  return 0;
}

}  // namespace

int sortInit(SortSession* s, CODE4* c4, int32_t keyLength, int32_t extraLength) {
  memset(s, 0, sizeof *s);
  fileInit(&s->tempFile);
  s->context = c4;
  if (c4 == nullptr || c4->errorCode < 0) return -1;
  s->keyLength = keyLength;
  s->extraLength = extraLength;
  s->extraPosition = keyLength + 4;
  s->itemLength = keyLength + 4 + extraLength;
  s->blockSize = c4->sortBlockSize;
  s->itemsPerBlock = (s->blockSize - kLinkSize) / s->itemLength;
  s->capacity = c4->sortBlockSize / 4;
  s->mayGrow = 1;
  if (keyLength < 0 || extraLength < 0 || s->itemsPerBlock < 1) return fail(s, errorMemory);
  s->writerBuffer = static_cast<char*>(engineAlloc(c4, c4->sortWriteBufferSize));
  if (s->writerBuffer == nullptr) return fail(s, errorMemory);
  for (;;) {
    s->pointers = static_cast<char**>(engineAlloc(c4, sizeof(char*) * s->capacity));
    if (s->pointers) break;
    s->capacity /= 2;
    if (s->capacity < kMinCapacity) return fail(s, errorMemory);
  }
  s->pool = poolCreate(c4, 1, s->blockSize, 1, 1);
  if (s->pool == nullptr) return fail(s, errorMemory);
  return 0;
}

int sortPut(SortSession* s, int32_t recno, const void* key, const void* extra) {
  if (s->context->errorCode < 0) return -1;
  if (s->count == s->slots && s->slots < s->capacity && s->mayGrow && !addBlock(s)) {
    // No block: park further items in the unused end of the pointer array.
    int64_t room = static_cast<int64_t>(s->capacity - s->count) * sizeof(char*) -
                   static_cast<int64_t>(sizeof(char*));
    int32_t n = room > 0 ? static_cast<int32_t>(room / (s->itemLength + sizeof(char*))) : 0;
    char* area = reinterpret_cast<char*>(s->pointers + s->count + n);
    for (int32_t i = 0; i < n; i++) s->pointers[s->slots++] = area + i * s->itemLength;
    s->capacity = s->count + n;
    s->mayGrow = 0;
  }
  if (s->count == s->slots) {
    if (s->slots == 0) return fail(s, errorMemory);
    if (spill(s) != 0) return fail(s, -1);
    s->runBytes = static_cast<int64_t>(s->slots) * s->itemLength;
  }
  char* item = s->pointers[s->count++];
  memcpy(item, key, s->keyLength);
  memcpy(item + s->keyLength, &recno, sizeof recno);
  if (s->extraLength > 0) memcpy(item + s->extraPosition, extra, s->extraLength);
  return 0;
}

int sortGetInit(SortSession* s) {
  if (s->context->errorCode < 0) return -1;
  if (s->runs == 0) {
    quickSort(s, s->pointers, s->count);
    engineFree(s->writerBuffer);
    s->writerBuffer = nullptr;
    s->readPosition = 0;
    return 0;
  }
  return startMerge(s);
}

int sortGet(SortSession* s, int32_t* recno, char** key, char** extra) {
  if (s->context == nullptr) return 1;  // already released
  if (s->context->errorCode < 0) {
    sortFree(s);
    return -1;
  }
  if (s->runs == 0) {
    if (s->readPosition >= s->count) {
      sortFree(s);
      return 1;
    }
    char* item = s->pointers[s->readPosition++];
    *recno = itemRecno(s, item);
    *key = item;
    if (extra) *extra = item + s->extraPosition;
    return 0;
  }
  if (s->pendingAdvance) {
    s->pendingAdvance = 0;
    SortRun* r = s->runOrder[0];
    memmove(s->runOrder, s->runOrder + 1, (s->activeRuns - 1) * sizeof(SortRun*));
    s->activeRuns--;
    r->position += s->itemLength;
    int more = 0;
    if (r->position >= r->bytes) more = refill(s, r);
    if (more < 0) return fail(s, -1);
    if (more == 0) placeRun(s, r, 0);
  }
  if (s->activeRuns == 0) {
    sortFree(s);
    return 1;
  }
  SortRun* r = s->runOrder[0];
  char* item = r->buffer + r->position;
  *recno = runRecno(s, r);
  *key = item;
  if (extra) *extra = item + s->extraPosition;
  s->pendingAdvance = 1;
  return 0;
}

void sortFree(SortSession* s) {
  if (s->context == nullptr) return;
  engineFree(s->writerBuffer);
  engineFree(s->pointers);
  engineFree(s->runTable);
  engineFree(s->runOrder);
  while (void* block = listPopLast(&s->blocks)) poolFree(s->pool, block);
  poolRelease(s->pool);
  if (s->tempOpen) {
    // Closing must happen even while an error is pending: the file is removed then.
    int32_t saved = engineErrorSet(s->context, 0);
    fileClose(&s->tempFile);
    if (saved != 0) engineErrorSet(s->context, saved);
  }
  memset(s, 0, sizeof *s);
  fileInit(&s->tempFile);
}
