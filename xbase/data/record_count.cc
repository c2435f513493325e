// The record count decision of record_count.h, from the file's length and bytes.
#include "xbase/data/record_count.h"

#include <climits>

#include "xbase/data/data_internal.h"
#include "xbase/data/dbf_format.h"
#include "xbase/data/record.h"
#include "xbase/data/record_buffer.h"

int dataCountFacts(DataFile* data, RecordCountFacts* facts) {
  *facts = RecordCountFacts{};
  if (dataInError(data)) return -1;
  if (recordBufferFlushPending(data) != 0) return -1;  // measure every record appended
  int64_t length = fileLength(&data->file);
  if (length < 0) return -1;
  const int64_t headerLength = data->header.headerLength;
  const int64_t body = length > headerLength ? length - headerLength : 0;
  facts->wholeRecords = body / data->recordLength;
  facts->tailBytes = body - facts->wholeRecords * data->recordLength;
  // Records of one byte (a file without fields): a closing end mark would make a
  // whole record of its own; it is the tail.
  if (data->recordLength == 1 && facts->wholeRecords > 0) {
    unsigned char last = 0;
    if (fileRead(&data->file, length - 1, &last, 1) == 1 && dataEndsRecords(last)) {
      --facts->wholeRecords;
      ++facts->tailBytes;
    }
  }

  // A file cut shorter than its count field holds nothing to go by: the whole
  // records (none) are all there is.
  unsigned char stored[4];
  if (fileRead(&data->file, dbf::kRecordCountOffset, stored, sizeof stored) == sizeof stored)
    facts->headerCount = dbf::get32(stored);
  else
    facts->headerCount = facts->wholeRecords;
  if (dataInError(data)) return -1;

  int64_t count = facts->wholeRecords;
  if (facts->headerCount < facts->wholeRecords) {
    unsigned char mark = 0;
    if (fileRead(&data->file, headerLength + facts->headerCount * data->recordLength, &mark,
                 1) == 1 &&
        dataEndsRecords(mark))
      count = facts->headerCount;
  }
  if (facts->tailBytes > 0) {
    unsigned char first = 0;
    if (fileRead(&data->file, headerLength + facts->wholeRecords * data->recordLength, &first,
                 1) == 1)
      facts->partialRecord = !dataEndsRecords(first);
  }
  if (dataInError(data)) return -1;
  if (count > INT32_MAX - 1) count = INT32_MAX - 1;
  facts->count = static_cast<int32_t>(count);
  return 0;
}

int32_t dataRecordCount(DataFile* data) {
  if (!data || dataInError(data)) return -1;
  if (data->header.recordCount >= 0) return data->header.recordCount;
  // Measured from the length and the header's count (record_count.h).
  RecordCountFacts facts;
  if (dataCountFacts(data, &facts) != 0) return -1;
  const int32_t n = facts.count;
  data->lastMeasuredCount = n;
  if (data->appendLocked || data->fileLocked || dataExclusive(data))
    data->header.recordCount = n;
  return n;
}
