// NTX pages: fresh layout, decoding and encoding, checked reading, writing.
#include <cstring>

#include "xbase/data/code4.h"
#include "xbase/data/error.h"
#include "xbase/index/ntx_internal.h"

namespace ntx {

int compareKeys(IndexTag* tag, const uint8_t* a, const uint8_t* b) {
  return std::memcmp(a, b, tag->keySize);
}

void pageInitFresh(IndexTag* tag, IndexPage* page) {
  std::memset(page->image, 0, kNtxPageSize);
  int32_t first = firstSlot(tag->maxKeys);
  for (int32_t i = 0; i <= tag->maxKeys; ++i)
    put16(page->image + 2 + 2 * i, static_cast<uint32_t>(first + tag->itemSize * i));
  page->position = 0;
}

void pageDecode(IndexTag* tag, IndexPage* page, Entries* out) {
  int32_t n = pageCount(page);
  out->resize(static_cast<size_t>(n) + 1);
  for (int32_t i = 0; i <= n; ++i) {
    Entry& e = (*out)[static_cast<size_t>(i)];
    e.child = childAt(page, i);
    e.recno = recnoAt(page, i);
    std::memcpy(e.key, keyAt(page, i), tag->keySize);
  }
}

void pageEncode(IndexTag* tag, IndexPage* page, const Entries& entries) {
  int32_t keep = page->position;
  pageInitFresh(tag, page);
  page->position = keep;
  int32_t n = static_cast<int32_t>(entries.size()) - 1;
  put16(page->image, static_cast<uint32_t>(n));
  for (int32_t i = 0; i <= n; ++i) {
    const Entry& e = entries[static_cast<size_t>(i)];
    uint8_t* it = item(page, i);
    put32(it, e.child);
    if (i < n) {
      put32(it + 4, static_cast<uint32_t>(e.recno));
      std::memcpy(it + 8, e.key, tag->keySize);
    }
  }
}

int corrupt(IndexTag* tag) {
  if (tag->file.noLocking || tag->file.readOnly || tag->fileLocked)
    return errorReport(tag->context, errorIndex, "Corrupt index file", tag->file.name);
  return errorIndex;
}

namespace {

// The structure a page must have before anything in it is used: a count that fits,
// items inside the page, none overlapping another (an insert writes a new key into a
// free item, which must not be part of one in use), and leaf or inner page
// throughout.
bool structureSound(IndexTag* tag, IndexPage* page, bool isRoot) {
  int32_t n = pageCount(page);
  if (n > tag->maxKeys || (n == 0 && !isRoot)) return false;
  int32_t first = firstSlot(tag->maxKeys);
  bool taken[kNtxPageSize] = {};
  for (int32_t i = 0; i <= tag->maxKeys; ++i) {
    int32_t s = slotAt(page, i);
    if (s < first || s + tag->itemSize > kNtxPageSize) return false;
    for (int32_t b = s; b < s + tag->itemSize; ++b) {
      if (taken[b]) return false;
      taken[b] = true;
    }
  }
  bool leaf = childAt(page, 0) == 0;
  for (int32_t i = 0; i <= n; ++i) {
    uint32_t child = childAt(page, i);
    if (leaf != (child == 0)) return false;
    if (!leaf && child < static_cast<uint32_t>(kNtxHeaderReserve)) return false;
  }
  return true;
}

}  // namespace

int pageRead(IndexTag* tag, IndexPage* page, int64_t offset, const uint8_t* low,
             const uint8_t* high, bool isRoot) {
  if (tag->context->errorCode < 0) return -1;
  if (offset < kNtxHeaderReserve) return corrupt(tag);
  uint32_t got = fileRead(&tag->file, offset, page->image, kNtxPageSize);
  if (tag->context->errorCode < 0) return -1;
  page->offset = offset;
  page->position = 0;
  page->changed = 0;
  if (got != static_cast<uint32_t>(kNtxPageSize) || !structureSound(tag, page, isRoot))
    return corrupt(tag);
  if (tag->context->pageCheck) {
    int32_t n = pageCount(page);
    for (int32_t i = 0; i + 1 < n; ++i)
      if (compareKeys(tag, keyAt(page, i), keyAt(page, i + 1)) > 0) return corrupt(tag);
    if (n > 0) {
      if (low && compareKeys(tag, keyAt(page, 0), low) < 0) return corrupt(tag);
      if (high && compareKeys(tag, keyAt(page, n - 1), high) > 0) return corrupt(tag);
    }
  }
  return 0;
}

int pageWrite(IndexTag* tag, IndexPage* page) {
  int rc = fileWrite(&tag->file, page->offset, page->image, kNtxPageSize);
  if (rc == 0) page->changed = 0;
  return rc;
}

}  // namespace ntx
