// The pending word of a tag's header: marking changes in progress and mending what a
// killed writer left.
#include <vector>

#include "xbase/data/record.h"
#include "xbase/index/ntx_internal.h"

namespace ntx {

int pendingWrite(IndexTag* tag, uint32_t pending, const uint8_t* key) {
  std::vector<uint8_t> image(4 + (key ? tag->keySize : 0));
  put32(image.data(), pending);
  if (key) std::memcpy(image.data() + 4, key, tag->keySize);
  int rc = fileWrite(&tag->file, kPending, image.data(), static_cast<uint32_t>(image.size()));
  if (rc == 0) tag->pending = pending;
  return rc;
}

int pendingRead(IndexTag* tag, uint32_t* pending) {
  std::vector<uint8_t> image(4 + static_cast<size_t>(tag->keySize), 0);
  uint32_t got = fileRead(&tag->file, kPending, image.data(), static_cast<uint32_t>(image.size()));
  if (tag->context->errorCode < 0) return -1;
  // A header written before the word existed ends earlier: nothing pending.
  *pending = got >= 4 ? get32(image.data()) : 0;
  std::memcpy(tag->keyWork2, image.data() + 4, tag->keySize);
  return 0;
}

}  // namespace ntx

using namespace ntx;

int tagMarkAppend(IndexTag* tag, const uint8_t* key, int32_t recno) {
  return pendingWrite(tag, static_cast<uint32_t>(recno), key);
}

int tagMarkIncomplete(IndexTag* tag) {
  if (tag->pending == kIncomplete) return 0;
  return pendingWrite(tag, kIncomplete, nullptr);
}

int tagClearMark(IndexTag* tag) {
  if (tag->pending == 0) return 0;
  return pendingWrite(tag, 0, nullptr);
}

int tagMend(IndexTag* tag) {
  uint32_t pending = 0;
  int rc = pendingRead(tag, &pending);
  if (rc != 0 || pending == 0) return rc;
  tag->pending = pending;
  if (pending == kIncomplete) return tagRebuild(tag);
  int32_t count = dataRecordCount(tag->index->data);
  if (count < 0) return -1;
  if (pending > static_cast<uint32_t>(count)) {
    // The record never reached the data file: its key goes (it may not have been
    // added yet; then there is nothing to take out).
    std::vector<uint8_t> key(tag->keyWork2, tag->keyWork2 + tag->keySize);
    rc = tagRemoveKey(tag, key.data(), static_cast<int32_t>(pending));
    if (rc < 0) return rc;
  }
  return pendingWrite(tag, 0, nullptr);
}
