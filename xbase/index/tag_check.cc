// Checking a whole tag against its own rules and against the data file.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "xbase/data/code4.h"
#include "xbase/data/index_seam.h"
#include "xbase/data/error.h"
#include "xbase/data/record.h"
#include "xbase/index/ntx_internal.h"

using namespace ntx;

namespace {

struct Walk {
  IndexTag* tag;
  std::set<int64_t> seen;
  int32_t leafDepth = -1;
  std::vector<std::pair<std::string, int32_t>> entries;  // in tree order
  std::string fault;
};

bool fault(Walk* w, const char* format, ...) {
  char text[300];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  w->fault = text;
  return false;
}

bool walkPage(Walk* w, int64_t offset, int32_t depth, const uint8_t* low, const uint8_t* high) {
  IndexTag* tag = w->tag;
  if (depth >= kNtxMaxDepth) return fault(w, "pages nested deeper than %d: a cycle", kNtxMaxDepth);
  if (!w->seen.insert(offset).second)
    return fault(w, "page at offset %lld is reached twice", static_cast<long long>(offset));
  IndexPage* page = b4alloc(tag, 0);
  if (!page) return fault(w, "no page buffer");
  int rc = pageRead(tag, page, offset, low, high, depth == 0);
  if (rc != 0) {
    b4free(tag, page);
    return fault(w, "page at offset %lld is damaged (structure or key order)",
                 static_cast<long long>(offset));
  }
  int32_t n = pageCount(page);
  bool ok = true;
  if (depth > 0 && n < tag->half)
    ok = fault(w, "page at offset %lld holds %d keys, fewer than half (%d)",
               static_cast<long long>(offset), n, tag->half);
  if (ok && isLeaf(page)) {
    if (w->leafDepth < 0) w->leafDepth = depth;
    if (w->leafDepth != depth)
      ok = fault(w, "leaf at offset %lld is at depth %d, others at %d",
                 static_cast<long long>(offset), depth, w->leafDepth);
    for (int32_t i = 0; ok && i < n; ++i)
      w->entries.emplace_back(std::string(reinterpret_cast<char*>(keyAt(page, i)), tag->keySize),
                              recnoAt(page, i));
  } else if (ok) {
    Entries list;
    pageDecode(tag, page, &list);
    for (int32_t i = 0; ok && i <= n; ++i) {
      const uint8_t* lo = i > 0 ? list[static_cast<size_t>(i) - 1].key : low;
      const uint8_t* hi = i < n ? list[static_cast<size_t>(i)].key : high;
      ok = walkPage(w, list[static_cast<size_t>(i)].child, depth + 1, lo, hi);
      if (ok && i < n)
        w->entries.emplace_back(std::string(reinterpret_cast<const char*>(list[static_cast<size_t>(i)].key), tag->keySize),
                                list[static_cast<size_t>(i)].recno);
    }
  }
  b4free(tag, page);
  return ok;
}

}  // namespace

int tagCheck(IndexTag* tag, char* message, int32_t size) {
  CODE4* c = tag->context;
  DataFile* data = tag->index->data;
  Walk w;
  w.tag = tag;
  int32_t savedCheck = c->pageCheck;
  c->pageCheck = 1;
  uint8_t head[kHeaderBytes];
  bool ok = fileRead(&tag->file, 0, head, kHeaderBytes) == static_cast<uint32_t>(kHeaderBytes);
  if (!ok) fault(&w, "header cannot be read");
  if (ok && (get16(head + kKeySize) != tag->keySize || get16(head + kMaxKeys) != tag->maxKeys ||
             get16(head + kHalf) != tag->half || get16(head + kItemSize) != tag->itemSize))
    ok = fault(&w, "header sizes changed since the tag was opened");
  if (ok && get32(head + kNextFree) != 0) ok = fault(&w, "header's next free page is not 0");
  int64_t length = fileLength(&tag->file);
  if (ok && (length < kNtxHeaderReserve + kNtxPageSize || (length - kNtxHeaderReserve) % kNtxPageSize))
    ok = fault(&w, "file length %lld is not the header and whole pages", static_cast<long long>(length));
  if (ok) ok = walkPage(&w, get32(head + kRoot), 0, nullptr, nullptr);
  c->pageCheck = savedCheck;
  for (size_t i = 1; ok && i < w.entries.size(); ++i)
    if (w.entries[i - 1].first > w.entries[i].first)
      ok = fault(&w, "keys out of order at entry %zu", i);
  if (ok && tag->uniqueCode != 0)
    for (size_t i = 1; ok && i < w.entries.size(); ++i)
      if (w.entries[i - 1].first == w.entries[i].first)
        ok = fault(&w, "unique tag holds the key of record %d twice", w.entries[i].second);
  // Against the records: every entry is its record's key; every record that belongs
  // in the tag is there exactly once (a unique tag may leave records with an equal key
  // out).
  int32_t count = ok ? dataRecordCount(data) : 0;
  if (count < 0) ok = fault(&w, "data file's record count cannot be read");
  std::vector<std::string> keys(static_cast<size_t>(count) + 1);
  std::vector<char> belongs(static_cast<size_t>(count) + 1, 0);
  std::vector<char> found(static_cast<size_t>(count) + 1, 0);
  if (ok) {
    char* record = dataRecordBuffer(data);
    std::string saved(record, static_cast<size_t>(dataRecordLength(data)));
    int32_t savedNumber = dataRecordNumber(data);
    auto memos = std::make_unique<MemosOfOtherRecords>(data);
    for (int32_t n = 1; ok && n <= count; ++n) {
      if (dataReadRecords(data, n, 1, record) != 0) {
        ok = fault(&w, "record %d cannot be read", n);
        break;
      }
      dataSetRecordNumber(data, n);
      memos->nextRecord();
      int in = tagForTrue(tag);
      if (in < 0 || (in && tagBuildKey(tag, tag->keyWork2) != 0)) {
        ok = fault(&w, "key of record %d cannot be evaluated", n);
        break;
      }
      belongs[static_cast<size_t>(n)] = static_cast<char>(in);
      if (in) keys[static_cast<size_t>(n)].assign(reinterpret_cast<char*>(tag->keyWork2), tag->keySize);
    }
    std::memcpy(record, saved.data(), saved.size());
    dataSetRecordNumber(data, savedNumber);
    memos.reset();
  }
  for (size_t i = 0; ok && i < w.entries.size(); ++i) {
    int32_t r = w.entries[i].second;
    if (r < 1 || r > count) ok = fault(&w, "entry %zu names record %d, beyond the file", i, r);
    else if (found[static_cast<size_t>(r)]) ok = fault(&w, "record %d is in the tag twice", r);
    else if (!belongs[static_cast<size_t>(r)]) ok = fault(&w, "record %d is in the tag but its FOR expression is false", r);
    else if (keys[static_cast<size_t>(r)] != w.entries[i].first) ok = fault(&w, "record %d is in the tag under a stale key", r);
    else found[static_cast<size_t>(r)] = 1;
  }
  for (int32_t n = 1; ok && tag->uniqueCode == 0 && n <= count; ++n)
    if (belongs[static_cast<size_t>(n)] && !found[static_cast<size_t>(n)])
      ok = fault(&w, "record %d is missing from the tag", n);
  if (ok) {
    if (size > 0) message[0] = '\0';
    return 0;
  }
  std::snprintf(message, static_cast<size_t>(size), "%s", w.fault.c_str());
  return -1;
}
