// Sorting fixed-shape items: key bytes, a 32-bit record number (machine order) and
// optional extra bytes.  Index building uses it to get every record's key in order.
//
// Items are kept in memory blocks from a private pool; when memory runs out (the
// pointer array is full or no block can be had), the load is sorted and written as a
// run to one temporary file through a SeqWriter.  sortGetInit sorts the last load;
// with runs on disk it writes the last load too and merges the runs, each read
// through its share of the blocks.  Items come back ordered by key bytes, equal keys
// by ascending record number.
//
// Ownership: the caller owns the SortSession record; the session owns its buffers,
// blocks and temporary file until sortFree (or until sortGet returns 1 or a negative
// result, which free it as well).  After a negative result the session holds nothing.
#pragma once

#include <cstdint>

#include "xbase/data/list.h"
#include "xbase/data/engine_file.h"
#include "xbase/data/seq.h"

struct CODE4;
struct MemoryPool;

struct SortRun {
  char* buffer;          // read buffer (part of a block)
  uint32_t position;     // current item in the buffer
  uint32_t bytes;        // bytes in the buffer
  int64_t nextOffset;    // next file offset to read; -1 when the run is used up
  int64_t endOffset;     // end of the run's part of the file
  int32_t runNumber;
};

struct SortSession {
  CODE4* context;
  EngineFile tempFile;       // created on the first spill, removed on close
  char tempName[16];
  SeqWriter writer;
  char* writerBuffer;        // sortWriteBufferSize bytes
  SortRun* runTable;         // one per run
  SortRun** runOrder;        // active runs ordered by their current items
  int32_t activeRuns;
  int32_t runs;              // runs written
  char** pointers;           // items held
  int32_t readPosition;      // next pointer to deliver (no runs written)
  int32_t count;             // items held now
  int32_t slots;             // item slots available
  int32_t capacity;          // length of the pointer array
  EngineList blocks;         // memory blocks, each starting with its ListLink
  MemoryPool* pool;
  int32_t blocksHeld;
  int32_t blockSize;
  int32_t itemsPerBlock;
  int32_t keyLength;
  int64_t runBytes;          // slots * itemLength: size of every full run
  uint32_t shareBytes;       // read buffer of each run during the merge
  int32_t extraPosition;     // keyLength + 4
  int32_t extraLength;
  int32_t itemLength;        // keyLength + 4 + extraLength
  int32_t mayGrow;
  int32_t pendingAdvance;    // the run delivered last must move on first
  int32_t tempOpen;
};

// 0, or -920 reported with "Sorting" (the session then holds nothing).
int sortInit(SortSession* session, CODE4* context, int32_t keyLength, int32_t extraLength);
// Adds an item; extra may be null when the extra length is 0.  0 or a negative code.
int sortPut(SortSession* session, int32_t recno, const void* key, const void* extra);
// Ends the input.  0 or a negative code (-920 reported with "Sorting").
int sortGetInit(SortSession* session);
// The next item: 0 with *recno, *key (and *extra when not null) pointing into the
// session, valid until the next call; 1 when every item has been delivered (the
// session is then released); -1 after an error (released as well, -70 reported with
// the temporary file's name for a damaged run).
int sortGet(SortSession* session, int32_t* recno, char** key, char** extra);
// Frees the buffers and blocks and closes (and so deletes) the temporary file.
void sortFree(SortSession* session);
