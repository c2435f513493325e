// Record, append and whole-file locks: one-byte ranges far beyond the data
// (dbf::kRecordLockBase), taken through the file layer with the context's lockTries.
// A file opened exclusively or locked wholly counts every record as locked and takes
// no lock; on a read-only file the file layer makes every lock a no-op.
#include <cstring>

#include "xbase/data/data_internal.h"
#include "xbase/data/dbf_format.h"
#include "xbase/data/index_hooks.h"
#include "xbase/data/record.h"

int dataUnlockRecords(DataFile* data) {
  int result = 0;
  for (int32_t i = data->lockCount - 1; i >= 0; --i) {
    int rc = fileUnlock(&data->file, dbf::kRecordLockBase + data->locks[i], 1);
    if (rc < 0) result = rc;
  }
  if (data->lockCount > 0) {
    data->lockCount = 0;
    data->oldRecordNumber = -1;
    data->oldBufferValid = 0;
  }
  return result;
}

int dataRecordLocked(DataFile* data, int32_t n) {
  if (data->fileLocked || dataExclusive(data)) return 1;
  for (int32_t i = 0; i < data->lockCount; ++i)
    if (data->locks[i] == n) return 1;
  return 0;
}

int dataLockRecord(DataFile* data, int32_t n) {
  if (!data || dataInError(data)) return -1;
  if (dataRecordLocked(data, n)) return 0;
  indexHookUnlock(data);
  int rc = dataUnlockRecords(data);
  if (rc != 0) return rc;
  rc = fileLock(&data->file, dbf::kRecordLockBase + n, 1);
  if (rc != 0) return rc;
  data->locks[0] = n;  // one record lock at a time: the inline slot is enough
  data->lockCount = 1;
  return 0;
}

int dataLockAppend(DataFile* data) {
  if (!data || dataInError(data)) return -1;
  if (data->appendLocked || data->fileLocked || dataExclusive(data)) return 0;
  int rc = dataUnlockRecords(data);
  if (rc != 0) return rc;
  rc = fileLock(&data->file, dbf::kRecordLockBase, 1);
  if (rc != 0) return rc;
  data->appendLocked = 1;
  return 0;
}

int dataUnlock(DataFile* data) {
  if (!data) return -1;
  int result = 0;
  indexHookUnlock(data);
  if (data->fileLocked) {
    int rc = fileUnlock(&data->file, dbf::kRecordLockBase, dbf::kFileLockLength);
    if (rc < 0) result = rc;
    data->fileLocked = 0;
    data->oldRecordNumber = -1;
    data->oldBufferValid = 0;
    data->header.recordCount = -1;
  }
  if (data->appendLocked) {
    int rc = fileUnlock(&data->file, dbf::kRecordLockBase, 1);
    if (rc < 0) result = rc;
    data->appendLocked = 0;
    data->header.recordCount = -1;
  }
  int rc = dataUnlockRecords(data);
  return rc < 0 ? rc : result;
}
