// DbfWatch: the record counts of an import's dbf file, as it begins and as it goes.
#include "import/dbf_watch.h"

#include <algorithm>

#include "front/console.h"
#include "import/import_error.h"

namespace {

// Measures the file even while the context holds an error (a failed memo read that
// may itself come from the change), and leaves that error as it was.
bool measure(DataFile* data, RecordCountFacts* facts) {
  CODE4* context = dataContext(data);
  const int32_t pending = engineErrorCode(context);
  if (pending < 0) engineErrorSet(context, 0);
  const bool ok = dataCountFacts(data, facts) == 0;
  engineErrorSet(context, pending < 0 ? pending : engineErrorCode(context));
  return ok;
}

long long asLong(int64_t n) { return static_cast<long long>(n); }

}  // namespace

void DbfWatch::begin(DataFile* data) {
  data_ = data;
  RecordCountFacts facts;
  if (!measure(data, &facts)) throw ImportError("Can't open dbf-file.");
  if (facts.headerCount > facts.wholeRecords && facts.partialRecord)
    throw ImportError(formatText(
        "Dbf-file '%s' is cut short inside a record: its header counts %lld records, the "
        "file holds %lld and part of one more.",
        name_.c_str(), asLong(facts.headerCount), asLong(facts.wholeRecords)));
  // Padding after the end mark is no disagreement: the header's count is the count.
  if (facts.headerCount != facts.count)
    messagePlain(formatText(
        "Warning: dbf-file '%s': its header counts %lld records, the file holds %lld; "
        "importing the %lld records in the file.\n",
        name_.c_str(), asLong(facts.headerCount), asLong(facts.count), asLong(facts.count)));
  records_ = facts.count;
  headerFloor_ = std::min<int64_t>(facts.headerCount, facts.count);
}

void DbfWatch::check() {
  if (data_ == nullptr) return;
  RecordCountFacts facts;
  const bool ok = measure(data_, &facts);
  if (ok && facts.count >= records_ && facts.headerCount >= headerFloor_) {
    records_ = facts.count;
    headerFloor_ = std::min<int64_t>(facts.headerCount, facts.count);
    return;
  }
  if (!ok) throw ImportError(formatText("Can't read dbf-file '%s' any more.", name_.c_str()));
  throw ImportError(formatText(
      "Dbf-file '%s' changed during the import (emptied, packed or cut short): it held %lld "
      "records, now %lld.",
      name_.c_str(), asLong(records_),
      asLong(std::min<int64_t>(facts.headerCount, facts.count))));
}
