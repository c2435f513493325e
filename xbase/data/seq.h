// Sequential reader and writer: long runs of bytes through a caller's buffer.
//
// Both use the caller's buffer, which must outlive them; they own nothing and have no
// close.  The usable buffer size is bufferSize AND 0xFC00 (a multiple of 1024, at most
// 64512).  The first refill or chunk is shortened to end on a multiple of 1024, so
// every later one is a whole usable size on a 1024-byte file boundary.  A buffer size
// whose usable part is 0 (below 1024, or 65536) works unbuffered: every call goes
// straight to the file.
//
// SeqWriter states: buffered bytes are in memory only until seqWriteFlush; the caller
// must flush once after its last seqWrite, nothing else writes the last partial chunk.
#pragma once

#include <cstdint>

struct EngineFile;

struct SeqReader {
  EngineFile* file;
  int64_t position;    // file offset of the next refill (or direct read)
  char* buffer;        // caller's buffer; null when unbuffered
  uint32_t nextFill;   // size of the next refill
  uint32_t fullSize;   // usable buffer size
  uint32_t filled;     // bytes placed by the last refill
  uint32_t unread;     // bytes of the last refill not yet handed out
};

struct SeqWriter {
  EngineFile* file;
  int64_t position;    // file offset where the buffer's contents go
  char* buffer;        // caller's buffer; null when unbuffered
  uint32_t fullSize;   // usable buffer size
  uint32_t chunkSize;  // size of the current chunk
  uint32_t space;      // room left in the current chunk
};

// Commits the file, then starts reading at startOffset.
void seqReadInit(SeqReader* reader, EngineFile* file, int64_t startOffset, void* buffer,
                 uint32_t bufferSize);
// Delivers up to n bytes; fewer at end of file; 0 after -70 or while the code is
// negative.
uint32_t seqRead(SeqReader* reader, void* dest, uint32_t n);
// Exactly n bytes: 0, -1 while the code is negative, -70 reported when fewer arrive.
int seqReadAll(SeqReader* reader, void* dest, uint32_t n);

// Commits the file, then starts writing at startOffset.
void seqWriteInit(SeqWriter* writer, EngineFile* file, int64_t startOffset, void* buffer,
                  uint32_t bufferSize);
// 0 or negative (-1 while the code is negative; -120 for a failed write).
int seqWrite(SeqWriter* writer, const void* data, uint32_t n);
// Writes out the current partial chunk.  0 or negative.
int seqWriteFlush(SeqWriter* writer);
