// The data file's side of the seam with the index code: the installed table of index
// operations and the view of a DataFile the index code works through.
#include "xbase/data/index_seam.h"

#include "xbase/data/data_internal.h"
#include "xbase/data/pool.h"

namespace {

// Set before main by the index code when it is linked (and again by i4open), so that
// no two threads ever write it while data files are in use.
const IndexOps* installedOps = nullptr;

}  // namespace

const IndexOps* dataSetIndexOps(const IndexOps* ops) {
  const IndexOps* previous = installedOps;
  installedOps = ops;
  return previous;
}

const IndexOps* dataIndexOps() { return installedOps; }

EngineList* dataIndexes(DataFile* data) { return &data->indexes; }
char* dataRecordBuffer(DataFile* data) { return data->record; }
char* dataStoredRecord(DataFile* data) { return data->oldRecord; }

char* dataSwapRecordBuffer(DataFile* data, char* image) {
  char* previous = data->record;
  data->record = image;
  return previous;
}

void dataSetRecordNumber(DataFile* data, int32_t n) { data->recordNumber = n; }
int32_t dataAtEnd(const DataFile* data) { return data->atEnd; }
void dataSetAtBeginning(DataFile* data, int32_t flag) { data->atBeginning = flag; }

int dataReadRecords(DataFile* data, int32_t first, int32_t n, char* out) {
  return fileReadAll(&data->file, dataRecordOffset(data, first), out,
                     static_cast<uint32_t>(n) * static_cast<uint32_t>(data->recordLength));
}

MemosOfOtherRecords::MemosOfOtherRecords(DataFile* data)
    : data_(data), kept_(data->memoFields, data->memoFields + data->memoFieldCount) {
  for (MemoFieldState& m : kept_) {
    MemoFieldState* own = m.field->memo;
    own->text = memoEmptyText;
    own->capacity = 0;
    own->length = 0;
  }
  nextRecord();
}

void MemosOfOtherRecords::nextRecord() {
  for (int32_t i = 0; i < data_->memoFieldCount; ++i) {
    data_->memoFields[i].notLoaded = 1;
    data_->memoFields[i].changed = 0;
  }
}

MemosOfOtherRecords::~MemosOfOtherRecords() {
  for (size_t i = 0; i < kept_.size(); ++i) {
    MemoFieldState* own = &data_->memoFields[i];
    if (own->capacity > 0) engineFree(own->text);
    *own = kept_[i];
  }
}
