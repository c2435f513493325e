// Write-behind and read-ahead of a data file's records (record_buffer.h).
#include "xbase/data/record_buffer.h"

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>
#include <utility>

#include "xbase/data/data_internal.h"
#include "xbase/data/dbf_format.h"
#include "xbase/data/error.h"
#include "xbase/data/index_hooks.h"
#include "xbase/data/memo.h"
#include "xbase/data/pool.h"
#include "xbase/data/record.h"
#include "xbase/file/conv.h"
#include "xbase/file/os.h"

namespace {

// Bytes of records (and of memos) a read-ahead buffer reads at once.
constexpr uint32_t kBlockBytes = 64 * 1024;
// Bytes of records (and of new memos) a write-behind buffer gathers before it is
// handed to the writer: large enough that waking the writer costs next to nothing.
constexpr uint32_t kBehindBytes = 1024 * 1024;
// Full blocks that may be on their way to the files at once.  An export appends in
// bursts (the rows of a fetch), several blocks in a row; with one block on its way
// the caller would wait for the writer at each burst.
constexpr int kBlocksAhead = 3;
constexpr int64_t kMemoBlock = dbf::kMemoBlockSize;
// Bytes written one block after another after which they are handed to the device.
constexpr int64_t kWritebackBytes = 8 << 20;
// Bytes at the start of a file whose pages stay in the system's cache.
constexpr int64_t kCachedBytes = 256 << 20;

// Bytes handed to the system in one write.  A larger write makes the system's cache
// take memory in larger pieces: fresh memory, which a virtual machine whose host
// takes back free memory must first provide again, at a cost far above the copy.
constexpr size_t kWriteBytes = 64 * 1024;

// Writes all n bytes at offset through the system seam, at most kWriteBytes at a time,
// going on after a short write; *put receives the bytes that reached the file.  0 or the
// errno.
int writeAll(int fd, const char* bytes, size_t n, int64_t offset, size_t* put) {
  *put = 0;
  while (*put < n) {
    size_t done = 0;
    const size_t piece = n - *put < kWriteBytes ? n - *put : kWriteBytes;
    int err = osFiles().pwrite(fd, bytes + *put, piece, offset + static_cast<int64_t>(*put), &done);
    if (err != 0) return err;
    if (done == 0) return ENOSPC;
    *put += done;
  }
  return 0;
}

// Notes that n bytes at offset of file fd were written.  A write that starts inside
// the run or right after it (the next block overwrites the end mark) extends it, any
// other starts a new one; once the run reaches kWritebackBytes the system is asked to
// write it out, and the run handed over before it, when it lies past kCachedBytes and
// so has had the time of a whole run to be written out, to let its pages go.  Hints
// only: their answers change nothing.
void noteWritten(int fd, WrittenRun& run, int64_t offset, size_t n) {
  if (offset < run.from || offset > run.to) run.from = offset;
  const int64_t end = offset + static_cast<int64_t>(n);
  if (end > run.to || run.from == offset) run.to = end;
  if (run.to - run.from < kWritebackBytes) return;
  OsFiles& os = osFiles();
  os.startWriteback(fd, run.from, run.to - run.from);
  if (run.handedTo > run.handedFrom && run.handedFrom >= kCachedBytes)
    os.dropCached(fd, run.handedFrom, run.handedTo - run.handedFrom);
  run.handedFrom = run.from;
  run.handedTo = run.to;
  run.from = run.to;
}

// After a failed write of gathered records: keeps the whole records that reached the
// file, takes a cut one off and puts the end mark after the last kept one, then makes
// the header count them.  Straight through the seam, as the context holds the error.
// Best effort: when the end mark does not fit either, one record fewer is kept, and
// the count the engine derives from the file still covers only whole records.
int32_t keepWrittenRecords(DataFile* data, int64_t offset, size_t put, int32_t gathered,
                           int32_t countBefore) {
  OsFiles& os = osFiles();
  const int fd = data->file.handle;
  int64_t keep = static_cast<int64_t>(put) / data->recordLength;
  if (keep > gathered) keep = gathered;
  const char eof = static_cast<char>(dbf::kEndOfFile);
  for (;; --keep) {
    const int64_t end = offset + keep * data->recordLength;
    size_t one = 0;
    int64_t length = 0;
    if (os.size(fd, &length) == 0 && length > end && os.truncate(fd, end) != 0) break;
    if (os.pwrite(fd, &eof, 1, end, &one) == 0 && one == 1) break;
    if (keep == 0) break;
  }
  if (keep > 0) {
    unsigned char count[4];
    dbf::put32(count, static_cast<uint32_t>(countBefore + keep));
    size_t done = 0;
    os.pwrite(fd, count, sizeof count, dbf::kRecordCountOffset, &done);
  }
  return static_cast<int32_t>(keep);
}

// A full block on its way to the files, in the order of a flush: the memo blocks and
// the memo file's next-free number, the records with the end mark, the header.
struct WriteJob {
  int memoFd;
  const char* memo;
  uint32_t memoBytes;
  int64_t memoOffset;
  unsigned char memoHead[4];
  int dataFd;
  const char* records;
  uint32_t recordBytes;  // the end mark included
  int64_t recordOffset;
  int32_t gathered;
  int32_t countBefore;  // records in the file before this block
  unsigned char header[dbf::kHeaderImageSize];
  // What came of it: 0 or the errno of the write that failed, and where.
  int err;
  bool memoFailed;
  bool headerFailed;
  size_t recordsPut;
};

// Writes the job's bytes; the first failure ends it.
void writeJob(WriteJob& j, WrittenRun& records, WrittenRun& memos) {
  size_t put = 0;
  if (j.memoBytes > 0) {
    j.err = writeAll(j.memoFd, j.memo, j.memoBytes, j.memoOffset, &put);
    if (j.err == 0) {
      noteWritten(j.memoFd, memos, j.memoOffset, j.memoBytes);
      j.err = writeAll(j.memoFd, reinterpret_cast<const char*>(j.memoHead), sizeof j.memoHead,
                       dbf::kMemoNextFreeOffset, &put);
    }
    if (j.err != 0) {
      j.memoFailed = true;
      return;
    }
  }
  if (j.gathered == 0) return;
  j.err = writeAll(j.dataFd, j.records, j.recordBytes, j.recordOffset, &j.recordsPut);
  if (j.err != 0) return;
  noteWritten(j.dataFd, records, j.recordOffset, j.recordsPut);
  j.err = writeAll(j.dataFd, reinterpret_cast<const char*>(j.header), sizeof j.header, 0, &put);
  j.headerFailed = j.err != 0;
}

// Makes what the buffer gathered a job, its records in `records` and its memos in
// `memo` (the buffer's own arrays, or those it just gave the writer), and empties the
// buffer.  The next memos are numbered on from these.
void takeJob(DataFile* data, RecordBuffer* b, char* records, const char* memo, WriteJob& j) {
  j = WriteJob{};
  j.memoFd = data->memoFile.handle;
  j.memo = memo;
  j.memoBytes = b->memoUsed;
  j.memoOffset = b->memoStart * kMemoBlock;
  const int64_t nextFree = b->memoStart + b->memoUsed / kMemoBlock;
  dbf::put32(j.memoHead, static_cast<uint32_t>(nextFree));
  j.dataFd = data->file.handle;
  j.records = records;
  j.gathered = b->recordCount;
  j.countBefore = data->header.recordCount - b->recordCount;
  if (j.gathered > 0) {
    records[b->used] = static_cast<char>(dbf::kEndOfFile);
    j.recordBytes = b->used + 1u;
    j.recordOffset = dataRecordOffset(data, b->firstRecord);
    todayHeaderDate(data->header.date);
    dataHeaderImage(data, data->header.recordCount, j.header);
    data->fileChanged = 0;
  }
  if (b->memoUsed > 0) b->memoStart = nextFree;
  b->memoUsed = 0;
  b->recordCount = 0;
  b->used = 0;
}

// After a job was written: 0, or, when one of its writes failed, the files put right
// (the whole records that reached the file kept and counted, a cut one taken off;
// records whose memos failed dropped), what the buffer gathered since dropped too (it
// would follow a gap), and the failure reported with the file's name.
int settleJob(DataFile* data, RecordBuffer* b, const WriteJob& j) {
  if (j.err == 0) return 0;
  b->recordCount = 0;
  b->used = 0;
  b->memoUsed = 0;
  b->memoKnown = false;
  int32_t count = j.countBefore;
  if (j.headerFailed) {
    count += j.gathered;  // whole in the file; the header still counts them out
    data->fileChanged = 1;
  } else if (!j.memoFailed) {
    count += keepWrittenRecords(data, j.recordOffset, j.recordsPut, j.gathered, j.countBefore);
  }
  data->header.recordCount = count;
  if (data->recordNumber > count) data->recordNumber = -1;
  return errorReport(data->context, errorWrite,
                     j.memoFailed ? data->memoFile.name : data->file.name);
}

}  // namespace

// The thread of a write-behind buffer and the blocks handed to it, a ring of slots
// written in the order they were handed over.  A slot's job and buffers belong to the
// main thread while the slot is not queued; the mutex orders everything else.  After
// a job that failed, the writer leaves the ones queued behind it unwritten (each would
// follow a gap), until the main thread has settled the failure.
struct BehindWriter {
  struct Slot {
    WriteJob job{};
    char* bytes = nullptr;
    char* memo = nullptr;
    uint32_t memoCapacity = 0;
  };
  std::mutex lock;
  std::condition_variable changed;
  Slot slots[kBlocksAhead];
  int next = 0;    // the slot the writer takes next
  int queued = 0;  // slots handed over and not yet written
  bool failed = false;
  bool quit = false;
  // The main thread's: the slot handed over longest ago and not yet settled, and how
  // many are not settled (queued or written).
  int oldest = 0;
  int unsettled = 0;
  RecordBuffer* owner = nullptr;
  std::thread thread;

  void run() {
    std::unique_lock<std::mutex> hold(lock);
    for (;;) {
      changed.wait(hold, [this] { return queued > 0 || quit; });
      if (queued == 0) return;
      WriteJob& job = slots[next].job;
      const bool skip = failed;
      hold.unlock();
      if (!skip) writeJob(job, owner->recordsWritten, owner->memosWritten);
      hold.lock();
      if (job.err != 0) failed = true;
      next = (next + 1) % kBlocksAhead;
      --queued;
      changed.notify_all();
    }
  }
};

namespace {

void freeWriter(BehindWriter* w) {
  for (BehindWriter::Slot& slot : w->slots) {
    engineFree(slot.bytes);
    engineFree(slot.memo);
  }
  delete w;
}

// Starts the buffer's writer with a ring of record buffers the size of its own (memo
// buffers come as memos need them, recordBufferStoreMemo); false when any cannot be
// had (the blocks are then written in place).
bool startWriter(DataFile* data, RecordBuffer* b) {
  if (b->writer) return true;
  auto* w = new (std::nothrow) BehindWriter;
  if (!w) return false;
  w->owner = b;
  for (BehindWriter::Slot& slot : w->slots) {
    slot.bytes = static_cast<char*>(engineAlloc(data->context, b->capacity + 1u));
    if (!slot.bytes) {
      freeWriter(w);
      return false;
    }
  }
  try {
    w->thread = std::thread(&BehindWriter::run, w);
  } catch (...) {
    freeWriter(w);
    return false;
  }
  b->writer = w;
  return true;
}

// Settles the slot handed over longest ago, which the writer is done with: 0 or the
// failure (settleJob).  A job left unwritten behind a failed one settles as nothing.
// A memo buffer grown past the block size for one long memo is let go here, so that
// the slots do not keep it.
int settleOldest(DataFile* data, RecordBuffer* b) {
  BehindWriter* w = b->writer;
  BehindWriter::Slot& slot = w->slots[w->oldest];
  w->oldest = (w->oldest + 1) % kBlocksAhead;
  --w->unsettled;
  if (slot.memoCapacity > kBehindBytes) {
    engineFree(slot.memo);
    slot.memo = nullptr;
    slot.memoCapacity = 0;
  }
  return settleJob(data, b, slot.job);
}

// Waits for the blocks still with the writer and settles them in order: `rc`, the
// failure already settled if any, else 0 or the first failure among them.  After a
// failure the files have been put right, and the writer writes again what is handed
// over from now on.
int settleAll(DataFile* data, RecordBuffer* b, int rc) {
  BehindWriter* w = b->writer;
  {
    std::unique_lock<std::mutex> hold(w->lock);
    w->changed.wait(hold, [w] { return w->queued == 0; });
  }
  while (w->unsettled > 0) {
    int settled = settleOldest(data, b);
    if (rc == 0) rc = settled;
  }
  b->handedOver = false;
  if (rc != 0) {
    std::lock_guard<std::mutex> hold(w->lock);
    w->failed = false;
  }
  return rc;
}

// Waits for every block with the writer and settles them in order: 0 or the first
// failure.
int awaitWriter(DataFile* data, RecordBuffer* b) {
  return b->handedOver ? settleAll(data, b, 0) : 0;
}

// A full buffer: hands what it gathered to the writer and gathers on in the buffers
// of a free slot, or writes it in place when no writer can be had.  Waits only when
// every slot is still on its way, or, for a block whose memo buffer grew for a long
// memo, until nothing else is, so that at most two such buffers are held at once.
// The blocks written meanwhile are settled first, so that a failure is heard of at
// the next hand-over.
int handOver(DataFile* data, RecordBuffer* b) {
  if (!startWriter(data, b)) return recordBufferFlush(data);
  BehindWriter* w = b->writer;
  const int room = b->memoCapacity > kBehindBytes ? 1 : kBlocksAhead;
  int written = 0;
  {
    std::unique_lock<std::mutex> hold(w->lock);
    w->changed.wait(hold, [w, room] { return w->queued < room; });
    written = w->unsettled - w->queued;
  }
  for (; written > 0; --written) {
    // The blocks behind a failed one were left unwritten.
    if (int rc = settleOldest(data, b)) return settleAll(data, b, rc);
  }
  BehindWriter::Slot& slot = w->slots[(w->oldest + w->unsettled) % kBlocksAhead];
  std::swap(b->bytes, slot.bytes);
  std::swap(b->memo, slot.memo);
  std::swap(b->memoCapacity, slot.memoCapacity);
  takeJob(data, b, slot.bytes, slot.memo, slot.job);
  ++w->unsettled;
  b->handedOver = true;
  {
    std::lock_guard<std::mutex> hold(w->lock);
    ++w->queued;
  }
  w->changed.notify_all();
  return 0;
}

void stopWriter(RecordBuffer* b) {
  BehindWriter* w = b->writer;
  if (!w) return;
  {
    std::lock_guard<std::mutex> hold(w->lock);
    w->quit = true;
  }
  w->changed.notify_all();
  w->thread.join();  // the jobs still queued are written first
  freeWriter(w);
  b->writer = nullptr;
  b->handedOver = false;
}

}  // namespace

void recordBufferAttach(DataFile* data) {
  CODE4* c = data->context;
  data->buffer = nullptr;
  if (c->bufferingMode <= 0 || data->file.handle < 0) return;
  bool reading = data->file.readOnly != 0;
  // Writes gather only where no other process may look at the file meanwhile and
  // every write is not to be committed on its own.
  if (!reading && (!dataExclusive(data) || c->commitEveryWrite)) return;
  uint32_t capacity = reading ? kBlockBytes : kBehindBytes;
  if (static_cast<uint32_t>(data->recordLength) > capacity) capacity = data->recordLength;
  auto* b = static_cast<RecordBuffer*>(engineAlloc(c, sizeof(RecordBuffer)));
  if (!b) return;
  std::memset(b, 0, sizeof *b);
  b->bytes = static_cast<char*>(engineAlloc(c, capacity + 1u));
  if (!b->bytes) {
    engineFree(b);
    return;
  }
  b->writeBehind = !reading;
  b->capacity = capacity;
  b->lastRecord = -1;
  data->buffer = b;
}

void recordBufferRelease(DataFile* data) {
  RecordBuffer* b = data->buffer;
  if (!b) return;
  stopWriter(b);
  engineFree(b->bytes);
  engineFree(b->memo);
  engineFree(b);
  data->buffer = nullptr;
}

int recordBufferFlush(DataFile* data) {
  RecordBuffer* b = data->buffer;
  if (!b || !b->writeBehind) return 0;
  CODE4* c = data->context;
  // A pending error is kept aside so that the records appended before it still go
  // to the file, and put back afterwards: it is the one the caller reports.
  const int32_t pending = c->errorCode;
  if (pending < 0) c->errorCode = 0;
  int rc = awaitWriter(data, b);
  if (rc == 0) {
    WriteJob job;
    takeJob(data, b, b->bytes, b->memo, job);
    writeJob(job, b->recordsWritten, b->memosWritten);
    b->memoKnown = false;  // memos written without the buffer may follow: measure again
    rc = settleJob(data, b, job);
  }
  if (pending < 0) c->errorCode = pending;
  return rc;
}

bool recordBufferGathers(const DataFile* data) {
  return data->buffer != nullptr && data->buffer->writeBehind &&
         !indexHookAny(const_cast<DataFile*>(data));
}

bool recordBufferGathersMemos(const DataFile* data) {
  return recordBufferGathers(data) && data->memoFile.handle >= 0;
}

int recordBufferStoreMemo(DataFile* data, const char* text, int32_t length, int64_t* block) {
  RecordBuffer* b = data->buffer;
  CODE4* c = data->context;
  *block = 0;
  if (length <= 0) return 0;
  // The text and the pair of end marks, in whole blocks.
  const int64_t blocks = (static_cast<int64_t>(length) + 2 + kMemoBlock - 1) / kMemoBlock;
  const int64_t bytes = blocks * kMemoBlock;
  if (bytes > UINT32_MAX / 2) return errorReport(c, errorMemory);
  if (b->memoUsed > 0 && b->memoUsed + bytes > b->memoCapacity) {
    int rc = handOver(data, b);
    if (rc != 0) return rc;
  }
  if (bytes > b->memoCapacity) {
    // Room for at least one memo of this size; otherwise the usual block size.
    uint32_t capacity = bytes > kBehindBytes ? static_cast<uint32_t>(bytes) : kBehindBytes;
    char* memo = static_cast<char*>(engineAlloc(c, capacity));
    if (!memo) return errorReport(c, errorMemory);
    engineFree(b->memo);
    b->memo = memo;
    b->memoCapacity = capacity;
  }
  if (!b->memoKnown) {
    // Every block from the end of the memo file on is free (as for an unbuffered
    // append, the header's next-free number is not trusted).
    int64_t fileLen = fileLength(&data->memoFile);
    if (fileLen < 0) return static_cast<int>(fileLen);
    b->memoStart = (fileLen + kMemoBlock - 1) / kMemoBlock;
    if (b->memoStart < 1) b->memoStart = 1;
    b->memoKnown = true;
  }
  const int64_t first = b->memoStart + b->memoUsed / kMemoBlock;
  if (first + blocks > UINT32_MAX)
    return errorReport(c, errorInfo, "Memo file is full", data->memoFile.name);
  char* run = b->memo + b->memoUsed;
  std::memcpy(run, text, length);
  run[length] = static_cast<char>(dbf::kEndOfFile);
  run[length + 1] = static_cast<char>(dbf::kEndOfFile);
  std::memset(run + length + 2, 0, static_cast<size_t>(bytes - length - 2));
  b->memoUsed += static_cast<uint32_t>(bytes);
  *block = first;
  return 0;
}

int recordBufferAppend(DataFile* data) {
  RecordBuffer* b = data->buffer;
  const uint32_t length = static_cast<uint32_t>(data->recordLength);
  int32_t count = dataRecordCount(data);
  if (count < 0) return -1;
  data->atBeginning = 0;
  data->atEnd = 0;
  data->recordChanged = 0;
  data->recordNumber = count + 1;
  int rc = memoAppendAll(data);
  if (rc == 0 && b->used + length > b->capacity) rc = handOver(data, b);
  if (rc != 0) {
    // What was gathered before this record still goes to the file.
    recordBufferFlush(data);
    return rc;
  }
  if (b->recordCount == 0) b->firstRecord = count + 1;
  std::memcpy(b->bytes + b->used, data->record, length);
  b->used += length;
  ++b->recordCount;
  data->recordChanged = 0;  // the memo block numbers went into the gathered copy
  data->fileChanged = 1;
  data->header.recordCount = count + 1;
  return 0;
}

uint32_t recordBufferRead(DataFile* data, int32_t n) {
  RecordBuffer* b = data->buffer;
  const uint32_t length = static_cast<uint32_t>(data->recordLength);
  const int64_t offset = dataRecordOffset(data, n);
  const bool sequential = n == b->lastRecord + 1;
  b->lastRecord = n;
  if (offset >= b->start && offset + length <= b->start + b->used) {
    std::memcpy(data->record, b->bytes + (offset - b->start), length);
    return length;
  }
  b->used = 0;
  if (!sequential || length > b->capacity)
    return fileRead(&data->file, offset, data->record, length);
  // The whole records that fit the buffer, from this one on.
  uint32_t want = b->capacity / length * length;
  uint32_t got = fileRead(&data->file, offset, b->bytes, want);
  b->start = offset;
  b->used = got;
  uint32_t take = got < length ? got : length;
  std::memcpy(data->record, b->bytes, take);
  return take;
}

bool recordBufferMemo(DataFile* data, int64_t block, const char** text, int32_t* length) {
  RecordBuffer* b = data->buffer;
  if (!b || b->writeBehind || block <= 0 || data->memoFile.handle < 0) return false;
  const int64_t offset = block * kMemoBlock;
  auto held = [&]() {
    const int64_t first = b->memoStart * kMemoBlock;
    if (offset < first || offset >= first + b->memoUsed) return false;
    const char* from = b->memo + (offset - first);
    const void* end = std::memchr(from, dbf::kEndOfFile, b->memoUsed - (offset - first));
    if (!end) return false;
    *text = from;
    *length = static_cast<int32_t>(static_cast<const char*>(end) - from);
    return true;
  };
  if (held()) return true;
  if (!b->memo) {
    b->memo = static_cast<char*>(engineAlloc(data->context, kBlockBytes));
    if (!b->memo) return false;
    b->memoCapacity = kBlockBytes;
  }
  b->memoUsed = fileRead(&data->memoFile, offset, b->memo, b->memoCapacity);
  b->memoStart = block;
  return held();
}

int dataWriteGathered(DataFile* data) {
  if (!data) return -1;
  return recordBufferFlushPending(data);
}
