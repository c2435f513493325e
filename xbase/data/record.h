// Records of an open data file: moving, reading the beginning and end conditions,
// deletion marks, writing back, appending, counting, removing (zap) and locking.
//
// Current record number: -1 none (after open, a failed read, a zap); 0 while a new
// record prepared by dataAppendStart waits for dataAppend; 1..count the record in
// the buffer; count + 1 at end of file.  A changed record is written back by the next
// move, dataAppendStart, dataFlush or dataClose, never by the change itself.
//
// Results: 0 success, 3 resultAtEnd, 4 resultAtBeginning, 5 resultNoRecord,
// 20 resultUniqueKey, 50 resultLocked; negative: error, recorded in the context.
#pragma once

#include <cstdint>

#include "xbase/data/data_file.h"
#include "xbase/data/error.h"

// The kept count, or the count measured from the file (record_count.h); -1 on error.
int32_t dataRecordCount(DataFile* data);
int32_t dataRecordNumber(DataFile* data);
int dataBof(DataFile* data);              // -1 while the context is in error
int dataEof(DataFile* data);
int dataDeleted(DataFile* data);          // 1 when byte 0 is not a blank
void dataDelete(DataFile* data);
void dataRecall(DataFile* data);
void dataBlank(DataFile* data);
// Returns the record-changed flag; flag >= 0 sets it (positive as 1), < 0 only reads.
int dataChanged(DataFile* data, int flag);

int dataGo(DataFile* data, int32_t n);
int dataTop(DataFile* data);
int dataBottom(DataFile* data);
int dataGoEof(DataFile* data);
int dataSkip(DataFile* data, int32_t n);

// Prepares a new record (number 0) in the record buffer, which keeps its contents;
// with copyMemos the current record's memo texts are carried over.
int dataAppendStart(DataFile* data, int copyMemos);
// Appends the prepared record (and its memos) after the last record, then updates
// the header's date and count.
int dataAppend(DataFile* data);
int dataAppendBlank(DataFile* data);

int dataFlushRecord(DataFile* data, int unlock);
int dataFlush(DataFile* data);

// Removes records first to last (first 0 counts as 1; last is cut to the count);
// nothing is removed when first is past the count or last < first, but the header
// is still rewritten.  dataZap(data, 1, kZapThroughLast) removes every record.
inline constexpr int32_t kZapThroughLast = 2000000000;  // past any record count
int dataZap(DataFile* data, int32_t first, int32_t last);

int dataLockAppend(DataFile* data);
int dataLockRecord(DataFile* data, int32_t n);
int dataLockFile(DataFile* data);
int dataUnlock(DataFile* data);
int dataRecordLocked(DataFile* data, int32_t n);
