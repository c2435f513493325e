// CODE4: the engine context.  One record holds the settings, the pending error code
// (see error.h for its states), the list of open data files, the memory pools and the
// shared work buffers.  A caller makes one per use of the engine, runs engineInit,
// changes settings, opens data files, and ends with engineRelease (data_file.h).  It
// can be initialised again afterwards.
//
// Fields keep the declaration order that the data-file code relies on; new settings go
// at the end, in the marked section.
#pragma once

#include <cstdint>

#include "xbase/data/list.h"

struct MemoryPool;

// A growable buffer shared between operations (engineBufferGrow in pool.h).
struct WorkBuffer {
  char* data;
  uint32_t size;
};

struct CODE4 {
  EngineList dataFiles;          // open DataFile records, in order of opening
  char datePicture[20];          // "MM/DD/YY": picture for date display and input
  int32_t zapBufferSize;         // 16384: each of the two copy buffers of dataZap
  int32_t dataPoolGrowth;        // 5: DataFile records added when the pool grows
  int32_t dataPoolFirst;         // 5: DataFile records in the pool's first chunk
  int32_t autoOpen;              // 1: open the index group file with the data file
  int32_t errCreateFile;         // 1: failed create is -20, else quietly 60
  int32_t errQuiet;              // 0: errors are recorded but not printed when 1
  int32_t openExclusive;         // 0: open deny-read-write / create deny-write; no locks
  int32_t commitEveryWrite;      // 0: commit the file after every direct write
  int32_t errFieldLookup;        // 1: unknown field name is -210
  int32_t errRecordRead;         // 1: short record read is -70, else result 5
  int32_t errOpenFile;           // 1: failed open is -60, else quietly 70
  int32_t bufferingMode;         // -1: above 0, files opened afterwards are block-buffered
                                 //     (record_buffer.h)
  int32_t lockOnRead;            // 0: dataGo locks each record it reads
  int32_t openReadOnly;          // 0: exactly 1 opens files read-only
  int32_t createFailsIfExists;   // 1: creating an existing file fails
  int32_t errSkipInvalid;        // 1: skip without a valid record is -910
  int32_t lockTries;             // -1: lock attempts; 0 counts as 1, negative: no end
  MemoryPool* dataPool;          // DataFile records
  MemoryPool* indexPool;         // index group records
  MemoryPool* tagPool;           // index tag records
  MemoryPool* pagePool;          // index page buffers
  int32_t errorCode;             // see error.h
  WorkBuffer fieldBuffer;        // fieldString's text
  WorkBuffer exprBuffer;         // expression results
  WorkBuffer keyBuffer;          // index keys built from expression results
  // The system's account of the latest failed file open: its errno and the path as
  // the file layer tried it (cut to the buffer).  0 and "" until an open fails.
  int32_t openErrno;
  char openPath[1024];

  // Settings of the index, expression and sort machinery, and of the block buffering
  // that nothing switches on.  Those marked "no behaviour" are kept for the layout
  // only.
  int32_t memoExprLength;        // 1024: length a memo field's text takes in an expression
  int32_t sortBlockSize;         // 61440: bytes per sort memory block
  int32_t sortWriteBufferSize;   // 4096: sort run writer buffer
  int32_t memoBlockSize;         // 512: block size of memo files
  int32_t blockSize;             // 1024: block-buffering block size (no behaviour)
  int32_t indexPoolFirst;        // 10
  int32_t indexPoolGrowth;       // 5
  int32_t tagPoolFirst;          // 10
  int32_t tagPoolGrowth;         // 10
  int32_t pagePoolFirst;         // 5
  int32_t pagePoolGrowth;        // 10
  int32_t uniqueKeyCode;         // 25: handling of an equal key in a unique tag
  int32_t bufferMemory;          // 327680: block-buffering memory (no behaviour)
  int32_t pageCheck;             // 1: check index pages as they are read
  int32_t exprErrors;            // 1: report expression compile errors
  int32_t errTagName;            // 1: an unknown tag name is -330
  int32_t errRelate;             // 1: relation errors are reported (no behaviour)
  int32_t readShareWait;         // 1: (no behaviour)
  int32_t optimizeMode;          // -1: (no behaviour)
  int32_t numericKeyLength;      // 17: key length of a computed numeric key
  int32_t keyDecimals;           // 2: decimals of a computed numeric key

  // ---- Index machinery: further settings are appended below this line. ----
  // Index and expression section (xbase/index).
  EngineList exprCalcs;          // named calculations (ExprCalc, xbase/index/expr.h)

  // Detail of the last reported error (errorDetail in error.h), kept also when
  // errQuiet keeps it from being printed.
  int32_t errorDetailCode;       // the code the detail came with
  char errorDetail[512];         // its texts, '\n' between them
};

// Zeroes the whole context, then sets every default listed above.  A null context does
// nothing.  Calling it on a context that still has open data files loses them: call
// engineRelease first.
void engineInit(CODE4* context);
