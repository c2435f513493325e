// Moving through a data file: count, go, top, bottom, end of file, skip; the
// beginning/end conditions, deletion marks and the record-changed flag.
#include "xbase/data/record.h"

#include <climits>
#include <cstring>

#include "xbase/data/data_internal.h"
#include "xbase/data/dbf_format.h"
#include "xbase/data/index_hooks.h"
#include "xbase/data/record_buffer.h"
#include "xbase/data/record_count.h"

namespace {

// Runs a read with errRecordRead switched off, so that a missing record is result 5
// rather than error -70.
int goQuietly(DataFile* data, int32_t n) {
  CODE4* c = data->context;
  int32_t saved = c->errRecordRead;
  c->errRecordRead = 0;
  int rc = dataGo(data, n);
  c->errRecordRead = saved;
  return rc;
}

}  // namespace

int32_t dataRecordNumber(DataFile* data) { return data ? data->recordNumber : -1; }

int dataBof(DataFile* data) {
  if (!data || dataInError(data)) return -1;
  return data->atBeginning;
}

int dataEof(DataFile* data) {
  if (!data || dataInError(data)) return -1;
  return data->atEnd;
}

int dataDeleted(DataFile* data) { return data->record[0] != ' ' ? 1 : 0; }

void dataDelete(DataFile* data) {
  if (dataInError(data)) return;
  if (data->record[0] != static_cast<char>(dbf::kDeletedFlag)) {
    data->record[0] = static_cast<char>(dbf::kDeletedFlag);
    data->recordChanged = 1;
  }
}

void dataRecall(DataFile* data) {
  if (dataInError(data)) return;
  if (data->record[0] != static_cast<char>(dbf::kLiveFlag)) {
    data->record[0] = static_cast<char>(dbf::kLiveFlag);
    data->recordChanged = 1;
  }
}

void dataBlank(DataFile* data) {
  if (dataInError(data)) return;
  std::memset(data->record, ' ', data->recordLength);
  data->recordChanged = 1;
}

int dataChanged(DataFile* data, int flag) {
  int previous = data->recordChanged;
  if (flag >= 0) data->recordChanged = flag > 0 ? 1 : 0;
  return previous;
}

int dataGo(DataFile* data, int32_t n) {
  if (!data || dataInError(data)) return -1;
  CODE4* c = data->context;
  int rc = dataFlushRecord(data, 0);
  if (rc == 0) rc = recordBufferFlushPending(data);  // read the records from the file
  if (rc < 0) return rc;
  if (!dataRecordLocked(data, n)) {
    rc = dataUnlock(data);
    if (rc < 0) return rc;
    if (c->lockOnRead) {
      rc = dataLockRecord(data, n);
      if (rc != 0) return rc;
    }
  }
  uint32_t got = 0;
  if (n >= 1 && recordBufferReads(data))
    got = recordBufferRead(data, n);
  else if (n >= 1)
    got = fileRead(&data->file, dataRecordOffset(data, n), data->record,
                   static_cast<uint32_t>(data->recordLength));
  bool whole = got == static_cast<uint32_t>(data->recordLength);
  // Bytes that start with the end mark past the count are padding, not a record
  // (record_count.h); anywhere else the mark is only an odd deletion flag.
  if (whole && dataEndsRecords(static_cast<unsigned char>(data->record[0])) &&
      n > dataRecordCount(data))
    whole = false;
  if (!whole) {
    std::memset(data->record, ' ', data->recordLength);
    data->recordNumber = -1;
    if (c->errorCode < 0) return c->errorCode;
    if (c->errRecordRead) return errorReport(c, errorRead, data->file.name);
    return resultNoRecord;
  }
  data->recordNumber = n;
  data->atBeginning = 0;
  data->atEnd = 0;
  if (dataRecordLocked(data, n)) {
    std::memcpy(data->oldRecord, data->record, data->recordLength);
    data->oldRecordNumber = n;
    data->oldBufferValid = 1;
  } else {
    data->oldBufferValid = 0;
  }
  return 0;
}

int dataGoEof(DataFile* data) {
  if (!data || dataInError(data)) return -1;
  int rc = dataFlushRecord(data, 1);
  if (rc < 0) return rc;
  int32_t count = dataRecordCount(data);
  if (count < 0) return -1;
  data->recordNumber = count + 1;
  data->atEnd = 1;
  if (count == 0) data->atBeginning = 1;
  std::memset(data->record, ' ', data->recordLength);
  return resultAtEnd;
}

int dataTop(DataFile* data) {
  if (!data || dataInError(data)) return -1;
  if (indexHookSelected(data)) return indexHookTop(data);
  int rc = goQuietly(data, 1);
  if (rc != resultNoRecord) return rc;
  int32_t count = dataRecordCount(data);
  if (count < 0) return -1;
  if (count > 0) return dataGo(data, 1);
  data->atBeginning = 1;
  return dataGoEof(data);
}

int dataBottom(DataFile* data) {
  if (!data || dataInError(data)) return -1;
  if (indexHookSelected(data)) return indexHookBottom(data);
  int32_t count = dataRecordCount(data);
  if (count < 0) return -1;
  if (count > 0) return dataGo(data, count);
  data->atBeginning = 1;
  return dataGoEof(data);
}

int dataSkip(DataFile* data, int32_t n) {
  if (!data || dataInError(data)) return -1;
  CODE4* c = data->context;
  if (indexHookSelected(data)) return indexHookSkip(data, n);
  if (data->recordNumber <= 0) {
    if (c->errSkipInvalid == 1)
      errorReport(c, errorInfo, "Skip must be made from valid record number");
    return -1;
  }
  data->atBeginning = 0;
  int64_t target = static_cast<int64_t>(data->recordNumber) + n;
  if (target > INT32_MAX - 1) target = INT32_MAX - 1;
  if (target > 0) {
    int rc = goQuietly(data, static_cast<int32_t>(target));
    if (rc == 0 || (rc > 0 && rc != resultNoRecord)) return rc;
  }
  int32_t count = dataRecordCount(data);
  if (count < 0) return -1;
  if (count > 0 && count >= target) {
    if (target > 0) return dataGo(data, static_cast<int32_t>(target));
    int atEnd = data->atEnd;
    int rc = dataGo(data, 1);
    if (rc != 0) return rc;
    data->atBeginning = 1;
    data->atEnd = atEnd;
    return resultAtBeginning;
  }
  if (count == 0) {
    int rc = dataGoEof(data);
    if (rc != resultAtEnd) return rc;
    data->atBeginning = 1;
  }
  if (n < 0) {
    data->atBeginning = 1;
    return resultAtBeginning;
  }
  return dataGoEof(data);
}
