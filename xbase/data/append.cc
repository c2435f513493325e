// Growing and cutting the file: append, zap, and the whole-file lock a zap takes.
// Both write through the record write-back (write_back.cc) below them.
#include <cassert>
#include <cstring>

#include "xbase/data/data_internal.h"
#include "xbase/data/dbf_format.h"
#include "xbase/data/field.h"
#include "xbase/data/index_hooks.h"
#include "xbase/data/memo.h"
#include "xbase/data/pool.h"
#include "xbase/data/record.h"
#include "xbase/data/record_buffer.h"
#include "xbase/file/os.h"
#include "xbase/data/seq.h"

int dataAppendStart(DataFile* data, int copyMemos) {
  if (!data || dataInError(data)) return -1;
  int rc = dataFlushRecord(data, 1);
  if (rc != 0) return rc;
  if (data->recordNumber > 0 && copyMemos && data->memoFieldCount > 0) {
    int32_t n = data->recordNumber;
    rc = recordBufferFlushPending(data);  // the record is read back from the file
    if (rc == 0) rc = dataLockRecord(data, n);
    if (rc != 0) return rc;
    rc = fileReadAll(&data->file, dataRecordOffset(data, n), data->oldRecord,
                     static_cast<uint32_t>(data->recordLength));
    if (rc != 0) return rc;
    data->oldRecordNumber = n;
    data->oldBufferValid = 1;
    rc = memoLoadAllFrom(data, data->oldRecord);
    if (rc != 0) return rc;
  }
  for (int32_t i = 0; i < data->memoFieldCount; ++i) fieldAssignLong(data->memoFields[i].field, 0);
  if (!data->fileLocked && !dataExclusive(data)) {
    rc = dataUnlock(data);
    if (rc != 0) return rc;
  }
  data->recordNumber = 0;
  return 0;
}

namespace {

// Releases the append lock when it is held; the kept count is then forgotten.
int releaseAppendLock(DataFile* data) {
  if (!data->appendLocked) return 0;
  data->appendLocked = 0;
  data->header.recordCount = -1;
  return fileUnlock(&data->file, dbf::kRecordLockBase, 1);
}

// After a failed append write: a write cut short (a full disk, a file-size limit)
// may have left the start of the record.  The file is cut back to its count records
// and given its 0x1A again, straight through the seam since the context now holds
// the error.  Best effort: when this fails too, the count the engine derives from
// the length still covers only whole records.
void cutPartialRecord(DataFile* data, int32_t count) {
  int64_t end = dataRecordOffset(data, count + 1);
  int64_t length = 0;
  if (osFiles().size(data->file.handle, &length) != 0 || length <= end) return;
  if (osFiles().truncate(data->file.handle, end) != 0) return;
  char eof = static_cast<char>(dbf::kEndOfFile);
  size_t put = 0;
  osFiles().pwrite(data->file.handle, &eof, 1, end, &put);
}

}  // namespace

int dataAppend(DataFile* data) {
  if (!data || dataInError(data)) return -1;
  if (recordBufferGathers(data)) return recordBufferAppend(data);
  int rc = dataLockAppend(data);
  if (rc != 0) return rc;
  // Another process may have appended since the count was kept, unless the file is
  // ours alone (exclusive or wholly locked): then the kept count stays, and an append
  // costs no measuring of the file length.
  if (!data->fileLocked && !dataExclusive(data)) data->header.recordCount = -1;

  int32_t count = dataRecordCount(data);
  rc = count < 0 ? -1 : dataLockRecord(data, count + 1);
  bool keysAdded = false, recordWritten = false;
  int32_t keyed = count + 1;
  if (rc == 0) {
    data->atBeginning = 0;
    data->atEnd = 0;
    data->recordChanged = 0;
    data->recordNumber = count + 1;
    if (indexHookAny(data)) {
      rc = indexHookLock(data);
      if (rc == 0) rc = indexHookAppend(data, count + 1);
      if (rc != 0) {
        data->recordNumber = 0;
        releaseAppendLock(data);
        return rc;
      }
      keysAdded = true;
    }
    rc = memoAppendAll(data);
  }
  if (rc == 0) {
    count = dataRecordCount(data);
    // The append lock (or the file lock, or exclusive use) keeps other writers out, so
    // the record goes where its keys already point.
    assert(count < 0 || !keysAdded || count + 1 == keyed);
    if (count < 0) {
      rc = -1;
    } else {
      // The record and the end-of-file byte go out in one write, so the file never
      // shows a new record without its terminator.
      data->record[data->recordLength] = static_cast<char>(dbf::kEndOfFile);
      rc = fileWrite(&data->file, dataRecordOffset(data, count + 1), data->record,
                     static_cast<uint32_t>(data->recordLength) + 1);
      data->record[data->recordLength] = 0;
      if (rc != 0) cutPartialRecord(data, count);
      if (rc == 0) {
        assert(data->recordNumber == count + 1);
        recordWritten = true;
        data->fileChanged = 1;
        data->recordNumber = count + 1;
        data->recordChanged = 0;
        if (data->appendLocked || data->fileLocked || dataExclusive(data))
          data->header.recordCount = count + 1;
        else
          data->header.recordCount = -1;
        rc = dataHeaderWrite(data, 1, 1);
      }
    }
  }
  // The keys went in before the record; now the marks go (or, when the record did
  // not reach the file, the keys too).
  if (keysAdded) {
    int endRc = indexHookAppendEnd(data, keyed, recordWritten);
    if (rc == 0) rc = endRc;
  }
  int unlockRc = releaseAppendLock(data);
  return rc != 0 ? rc : unlockRc;
}

int dataAppendBlank(DataFile* data) {
  int rc = dataAppendStart(data, 0);
  if (rc != 0) return rc;
  dataBlank(data);
  return dataAppend(data);
}

namespace {

// The two copy buffers of a zap, owned here and freed on every exit.
struct ZapBuffers {
  CODE4* context;
  char* read = nullptr;
  char* write = nullptr;
  uint32_t size = 0;

  // Buffers of zapBufferSize, then 2048 less while that stays above the record
  // length; none at all (unbuffered copy) when no size can be had.
  ZapBuffers(CODE4* c, int32_t recordLength) : context(c) {
    for (int64_t s = c->zapBufferSize; s > recordLength; s -= 2048) {
      read = static_cast<char*>(engineAlloc(c, static_cast<size_t>(s)));
      write = static_cast<char*>(engineAlloc(c, static_cast<size_t>(s)));
      if (read && write) {
        size = static_cast<uint32_t>(s);
        return;
      }
      release();
    }
  }
  ~ZapBuffers() { release(); }
  void release() {
    engineFree(read);
    engineFree(write);
    read = write = nullptr;
    size = 0;
  }
};

// Copies records last + 1 .. count over records first .. (the 0x1A follows the cut).
int zapCopy(DataFile* data, int32_t first, int32_t last, int32_t count) {
  ZapBuffers buffers(data->context, data->recordLength);
  SeqReader reader;
  SeqWriter writer;
  seqReadInit(&reader, &data->file, dataRecordOffset(data, last + 1), buffers.read, buffers.size);
  seqWriteInit(&writer, &data->file, dataRecordOffset(data, first), buffers.write, buffers.size);
  uint32_t length = static_cast<uint32_t>(data->recordLength);
  data->oldBufferValid = 0;  // the old record buffer serves as the copy slot
  for (int32_t n = last + 1; n <= count; ++n) {
    int rc = seqReadAll(&reader, data->oldRecord, length);
    if (rc == 0) rc = seqWrite(&writer, data->oldRecord, length);
    if (rc != 0) return rc;
  }
  return seqWriteFlush(&writer);
}

}  // namespace

// Whole-file lock: the record being edited is written back first.
int dataLockFile(DataFile* data) {
  if (!data || dataInError(data)) return -1;
  if (data->fileLocked || dataExclusive(data)) return 0;
  int rc = dataFlushRecord(data, 0);
  if (rc != 0) return rc;
  rc = dataUnlock(data);
  if (rc != 0) return rc;
  rc = fileLock(&data->file, dbf::kRecordLockBase, dbf::kFileLockLength);
  if (rc != 0) return rc;
  data->fileLocked = 1;
  return 0;
}

int dataZap(DataFile* data, int32_t first, int32_t last) {
  if (!data || first < 0 || last < 0 || dataInError(data)) return -1;
  int rc = recordBufferFlushPending(data);  // the records are copied in the file
  if (rc == 0) rc = dataLockFile(data);
  if (rc == 0) rc = indexHookLock(data);
  if (rc != 0) {
    dataUnlock(data);
    return rc;
  }
  rc = dataFlushRecord(data, 0);
  if (rc == 0) rc = indexHookZapStart(data);  // rebuilt below; incomplete till then
  if (rc != 0) return rc;
  data->fileChanged = 1;
  if (first == 0) first = 1;

  int32_t count = dataRecordCount(data);
  if (count < 0) return -1;
  int32_t newCount = count;
  if (count >= first && last >= first) {
    if (last > count) last = count;
    rc = zapCopy(data, first, last, count);
    if (rc != 0) return rc;
    newCount = count - (last - first + 1);
    data->header.recordCount = newCount;
    data->recordNumber = -1;
    data->oldRecordNumber = -1;
    std::memset(data->record, ' ', data->recordLength);
    // Cut after the last record, then write the 0x1A.  Were the 0x1A copied first,
    // a failed cut would leave it as the deletion flag of a record the file still
    // counts; as it is, a failed cut leaves only whole (repeated) records.
    int64_t end = dataRecordOffset(data, newCount + 1);
    rc = fileSetLength(&data->file, end);
    if (rc != 0) return rc;
    char eof = static_cast<char>(dbf::kEndOfFile);
    rc = fileWrite(&data->file, end, &eof, 1);
    if (rc != 0) return rc;
  }
  data->atBeginning = data->atEnd = newCount == 0 ? 1 : 0;
  if (newCount == 0) {
    rc = memoEmpty(data);
    if (rc != 0) return rc;
  }
  rc = indexHookRebuild(data);
  if (rc != 0) return rc;
  return dataHeaderWrite(data, 1, 1);
}
