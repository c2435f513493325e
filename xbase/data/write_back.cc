// The record write-back: a changed record goes back to the file (its tags first,
// then its memos, then its bytes), and the header's date and count follow.  The
// bottom of the data-file operations: moves, append, zap and close call down into it,
// and it calls only the locks, the memo code, the count and the index hooks.
#include <cstring>

#include "xbase/data/data_internal.h"
#include "xbase/data/dbf_format.h"
#include "xbase/data/index_hooks.h"
#include "xbase/data/memo.h"
#include "xbase/data/record.h"
#include "xbase/data/record_buffer.h"
#include "xbase/file/conv.h"

int dataWriteRecord(DataFile* data, int32_t n) {
  int rc = recordBufferFlushPending(data);  // the record may still be gathered
  if (rc != 0) return rc;
  rc = dataLockRecord(data, n);
  if (rc != 0) return rc;
  if (indexHookAny(data)) {
    if (!data->oldBufferValid || data->oldRecordNumber != n) {
      rc = fileReadAll(&data->file, dataRecordOffset(data, n), data->oldRecord,
                       static_cast<uint32_t>(data->recordLength));
      if (rc != 0) return rc;
      data->oldRecordNumber = n;
      data->oldBufferValid = 1;
    }
    rc = indexHookRewrite(data, n);
    if (rc != 0) return rc;  // 50: a tag is locked by another process; nothing written
  }
  for (int32_t i = 0; i < data->memoFieldCount; ++i) {
    rc = memoWrite(data->memoFields[i].field);
    if (rc != 0) return rc;  // 50: a lock is held by another process; the record unwritten
  }
  data->recordChanged = 0;
  // One write of the record's bytes; the end-of-file byte is only written by append.
  // The file counts as changed only once the write went through, so a refused write
  // (a read-only file) does not make dataClose try to rewrite the header as well.
  rc = fileWrite(&data->file, dataRecordOffset(data, n), data->record,
                 static_cast<uint32_t>(data->recordLength));
  if (rc == 0) data->fileChanged = 1;
  if (rc == 0 && indexHookAny(data)) rc = indexHookRewriteEnd(data);
  return rc;
}

int dataFlushRecord(DataFile* data, int unlock) {
  if (!data || dataInError(data)) return -1;
  if (data->recordNumber <= 0 || data->atEnd) {
    memoForgetAll(data);
    data->recordChanged = 0;
    return 0;
  }
  if (data->recordChanged) {
    int rc = dataWriteRecord(data, data->recordNumber);
    if (rc != 0) return rc;
  }
  memoForgetAll(data);
  data->oldRecordNumber = -1;
  data->oldBufferValid = 0;
  if (unlock) return dataUnlockRecords(data);
  return 0;
}

int dataFlush(DataFile* data) {
  int rc = dataFlushRecord(data, 0);
  if (rc == 0 && data) rc = recordBufferFlushPending(data);
  if (rc != 0) return rc;
  rc = fileCommitKeepError(&data->file);
  if (rc < 0) return rc;
  if (data->memoFieldCount > 0 && data->memoFile.handle >= 0) {
    rc = fileCommitKeepError(&data->memoFile);
    if (rc < 0) return rc;
  }
  return indexHookFlush(data);
}

void dataHeaderImage(const DataFile* data, int32_t count, unsigned char* image) {
  image[dbf::kVersionOffset] = data->header.version;
  std::memcpy(image + dbf::kDateOffset, data->header.date, 3);
  dbf::put32(image + dbf::kRecordCountOffset, static_cast<uint32_t>(count));
  dbf::put16(image + dbf::kHeaderLengthOffset, data->header.headerLength);
}

int dataHeaderWrite(DataFile* data, int updateDate, int updateCount) {
  if (!data || dataInError(data)) return -1;
  if (!updateDate && !updateCount) return 0;
  // The header never counts records that write-behind still holds.
  if (int rc = recordBufferFlushPending(data)) return rc;
  if (updateDate) todayHeaderDate(data->header.date);
  int32_t count = data->header.recordCount;
  if (count < 0) count = dataRecordCount(data);
  if (count < 0) return -1;

  unsigned char image[dbf::kHeaderImageSize];
  dataHeaderImage(data, count, image);

  int from = updateDate ? 0 : dbf::kRecordCountOffset;
  int to = updateCount ? dbf::kHeaderImageSize : dbf::kRecordCountOffset;
  int rc = fileWrite(&data->file, from, image + from, static_cast<uint32_t>(to - from));
  if (rc != 0) return rc;
  data->fileChanged = 0;
  return 0;
}
