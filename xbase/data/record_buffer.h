// Block buffering of a data file's records, chosen by the context's bufferingMode
// when the file is opened (a value above 0 switches it on; the default -1 and 0 keep
// one system call per record):
//
//  - write-behind, for a file held exclusively and written without index tags: appended
//    records are gathered in a bounded buffer, the new memos they carry in a second
//    one.  A flush writes the memo blocks, then the memo file's next-free number, then
//    the records with the end mark after them (in writes of 64 KiB), and only then the
//    header's date and count.  A process killed at any moment therefore leaves a header
//    that counts no more than the whole records in the file, and no counted record
//    names a memo that is not there.  Everything gathered is written before any read or
//    rewrite of the file, before the header is written, at dataFlush, at dataClose and
//    before a failing append returns.  Full blocks are written by a thread of its own,
//    one after the other in the order they filled, while the next block gathers (up to
//    three are on their way; the order of the writes stays the one above), and
//    everything is waited for at those same points.  A write that fails is reported as
//    -120 with the file's name, by the append that finds it (the next full block) or by
//    the flush; the whole records that reached the file stay and are counted, a cut
//    record is taken off again, and the blocks behind the failed one and the records
//    gathered after it are dropped, as they would follow a gap.  Every 8 MiB written
//    one block after another, the system is asked to start writing them out to the
//    device (a hint, without waiting): a long export streams to the disk while it runs,
//    rather than leaving it all for the sync at its commit, and the memory of unwritten
//    pages stays bounded.  Past the file's first 256 MiB, the 8 MiB handed over the
//    time before are also let go from the system's cache once written out: an export of
//    gigabytes then reuses the same few megabytes of memory instead of pushing
//    everything else out of the cache (and, on a virtual machine, instead of touching
//    gigabytes of memory the host must first provide).
//
//  - read-ahead, for a file opened read-only: a record read right after its
//    predecessor brings the following ones along, one read of about 64 KiB.  A record
//    is then as it stood when its block was read; a record beyond the block is read
//    from the file again, so records another program appends are still found, and a
//    read that finds the file shorter ends the records exactly as an unbuffered read
//    does.  Reads out of order (through a tag) read single records.  Memo texts are
//    read the same way: the memo file from the memo's first block on, about 64 KiB at
//    once, serving the memos that follow; one that does not end inside the block is
//    read as without buffering.
//
// The buffers belong to the DataFile and are freed by dataClose.  A buffer that cannot
// be had leaves the file unbuffered; nothing fails for want of it.
#pragma once

#include <cstdint>

#include "xbase/data/data_file.h"

// Bytes written one block after another into a file and not yet handed to the
// device: [from, to).
struct WrittenRun {
  int64_t from;
  int64_t to;
  // The run handed over last, [handedFrom, handedTo).
  int64_t handedFrom;
  int64_t handedTo;
};

struct RecordBuffer {
  bool writeBehind;      // else read-ahead
  char* bytes;           // records (write-behind: room for one more byte, the end mark)
  uint32_t capacity;     // bytes of records the buffer holds at most
  uint32_t used;         // bytes held
  // Write-behind: the records gathered, the first of them by number.
  int32_t recordCount;
  int32_t firstRecord;
  // Write-behind: new memos, contiguous from block memoStart (the first block past
  // the end of the memo file when the first of them came); memoKnown is false until
  // that block has been measured again after a flush.  Read-ahead: memoUsed bytes of
  // the memo file from block memoStart on.
  char* memo;
  uint32_t memoCapacity;
  uint32_t memoUsed;
  int64_t memoStart;
  bool memoKnown;
  // Write-behind: what the data file and the memo file were written since their last
  // hand-over to the device.
  WrittenRun recordsWritten;
  WrittenRun memosWritten;
  // Write-behind: the thread that writes the full blocks while the next one gathers
  // (null until the first block is full), and whether blocks were handed to it and
  // not yet awaited.
  struct BehindWriter* writer;
  bool handedOver;
  // Read-ahead: the file offset of bytes[0] and the record read last.
  int64_t start;
  int32_t lastRecord;
};

// dataOpen: sets the buffering up as the context asks.
void recordBufferAttach(DataFile* data);
// dataClose: frees the buffers; whatever they held must have been flushed.
void recordBufferRelease(DataFile* data);

// Writes what write-behind holds: memos, records, header.  Runs also while the
// context holds an error, which it keeps; returns 0 or the failing write's code.
int recordBufferFlush(DataFile* data);
// recordBufferFlush when anything is held, else 0 at once.
inline int recordBufferFlushPending(DataFile* data) {
  RecordBuffer* b = data->buffer;
  return b && b->writeBehind && (b->recordCount > 0 || b->memoUsed > 0 || b->handedOver)
             ? recordBufferFlush(data)
             : 0;
}

// True when dataAppend gathers the record instead of writing it.
bool recordBufferGathers(const DataFile* data);
// dataAppend's gathering path: stores the new memos and the record, flushing first
// when the buffer is full.  0 or a negative code (what was gathered before is flushed).
int recordBufferAppend(DataFile* data);
// True when a new memo of an append goes to the memo buffer.
bool recordBufferGathersMemos(const DataFile* data);
// Gathers a new memo; *block receives its first block (0 for an empty text).
int recordBufferStoreMemo(DataFile* data, const char* text, int32_t length, int64_t* block);

// True when record reads go through the read-ahead buffer.
inline bool recordBufferReads(const DataFile* data) {
  return data->buffer != nullptr && !data->buffer->writeBehind;
}
// Reads record n into the record buffer as fileRead would: the bytes delivered
// (fewer than a record at the end of the file), 0 after an error.
uint32_t recordBufferRead(DataFile* data, int32_t n);
// Read-ahead of memos: points *text at the memo starting at block and sets *length
// when that memo and its end mark lie in the memo block held, or in about 64 KiB of
// the memo file read from there.  False leaves the reading (and any error) to the
// caller.
bool recordBufferMemo(DataFile* data, int64_t block, const char** text, int32_t* length);

// Writes the records and memos gathered by write-behind to the files (without
// committing them to disk).  For a caller that must know that every appended record
// reached the file before it reports success.  0, or the negative code of the failed
// write (recorded in the context with the file's name); 0 for an unbuffered file.
int dataWriteGathered(DataFile* data);
