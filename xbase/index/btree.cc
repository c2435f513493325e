// The tree of an NTX tag: seek, stepping in key order, insertion with splits, removal
// with rebalancing.
//
// The current position is the path of pages from the root (tag->path[0..depth-1]).
// On an inner page `position` is the child followed down; on the last page of the path
// it is the current key.  So the key at an inner page's position p follows the whole
// subtree of child p and precedes that of child p + 1.  Every change of the tree ends
// the position (positioned = 0): callers that must keep it find the entry again.
#include <cassert>
#include <cstring>

#include "xbase/data/code4.h"
#include "xbase/data/error.h"
#include "xbase/index/ntx_internal.h"

using namespace ntx;

namespace {

// Reads the page at offset into path level k, bounded by the keys of level k - 1 that
// lead to it.
int loadLevel(IndexTag* tag, int32_t k, int64_t offset) {
  if (k >= kNtxMaxDepth) return corrupt(tag);  // deeper than any sound tree: a cycle
  if (!tag->path[k]) {
    tag->path[k] = b4alloc(tag, 0);
    if (!tag->path[k]) return -1;
  }
  const uint8_t* low = nullptr;
  const uint8_t* high = nullptr;
  if (k > 0) {
    IndexPage* parent = tag->path[k - 1];
    int32_t p = parent->position;
    if (p > 0) low = keyAt(parent, p - 1);
    if (p < pageCount(parent)) high = keyAt(parent, p);
  }
  int rc = pageRead(tag, tag->path[k], offset, low, high, k == 0);
  if (rc != 0) {
    tag->positioned = 0;
    return rc;
  }
  tag->depth = k + 1;
  return 0;
}

int loadRoot(IndexTag* tag) {
  tag->positioned = 0;
  tag->appendReady = 0;
  tag->depth = 0;
  return loadLevel(tag, 0, tag->root);
}

void setCurrent(IndexTag* tag) {
  IndexPage* page = tag->path[tag->depth - 1];
  std::memcpy(tag->keyCurrent, keyAt(page, page->position), tag->keySize);
  tag->recnoCurrent = recnoAt(page, page->position);
  tag->positioned = 1;
}

// From the page at level k down the first children to a leaf; position on its first key.
int descendFirst(IndexTag* tag, int32_t k) {
  for (;;) {
    IndexPage* page = tag->path[k];
    page->position = 0;
    if (isLeaf(page)) break;
    int rc = loadLevel(tag, k + 1, childAt(page, 0));
    if (rc != 0) return rc;
    ++k;
  }
  tag->depth = k + 1;
  if (pageCount(tag->path[k]) == 0) return resultAtEnd;  // only an empty root
  setCurrent(tag);
  return 0;
}

int descendLast(IndexTag* tag, int32_t k) {
  for (;;) {
    IndexPage* page = tag->path[k];
    page->position = pageCount(page);
    if (isLeaf(page)) break;
    int rc = loadLevel(tag, k + 1, childAt(page, pageCount(page)));
    if (rc != 0) return rc;
    ++k;
  }
  tag->depth = k + 1;
  IndexPage* leaf = tag->path[k];
  if (pageCount(leaf) == 0) return resultAtEnd;
  leaf->position = pageCount(leaf) - 1;
  setCurrent(tag);
  return 0;
}

// Descends to the leaf where key belongs: before the first key >= key (upper: > key),
// comparing len bytes.  The path then ends on that leaf, at that position.
int descendTo(IndexTag* tag, const uint8_t* key, int32_t len, bool upper) {
  int rc = loadRoot(tag);
  for (int32_t k = 0; rc == 0; ++k) {
    IndexPage* page = tag->path[k];
    int32_t lo = 0, hi = pageCount(page);
    while (lo < hi) {
      int32_t mid = (lo + hi) / 2;
      int c = std::memcmp(keyAt(page, mid), key, static_cast<size_t>(len));
      if (c < 0 || (upper && c == 0))
        lo = mid + 1;
      else
        hi = mid;
    }
    page->position = lo;
    if (isLeaf(page)) return 0;
    rc = loadLevel(tag, k + 1, childAt(page, lo));
  }
  return rc;
}

// After descendTo: climb to the key at or after the leaf position.
int settle(IndexTag* tag) {
  while (tag->depth > 0) {
    IndexPage* page = tag->path[tag->depth - 1];
    if (page->position < pageCount(page)) {
      setCurrent(tag);
      return 0;
    }
    --tag->depth;
  }
  tag->positioned = 0;
  return resultAtEnd;
}

int64_t newPageOffset(IndexTag* tag) {
  int64_t end = fileLength(&tag->file);
  if (end < 0) return -1;
  return end < kNtxHeaderReserve ? kNtxHeaderReserve : end;
}

// Inserts a key into path level k at position pos with the given child, and makes
// right the child that follows it (0: leave that child).  A full page splits around
// half; the middle key goes up to the parent, or to a new root.
int insertAt(IndexTag* tag, int32_t k, int32_t pos, uint32_t child, int32_t recno,
             const uint8_t* key, uint32_t right) {
  IndexPage* page = tag->path[k];
  int32_t n = pageCount(page);
  if (n < tag->maxKeys) {
    // The new item takes the free slot after the rightmost child's; offsets shift up.
    uint16_t slot = static_cast<uint16_t>(slotAt(page, n + 1));
    uint8_t* offsets = page->image + 2;
    std::memmove(offsets + 2 * (pos + 1), offsets + 2 * pos, static_cast<size_t>(2 * (n + 1 - pos)));
    put16(offsets + 2 * pos, slot);
    uint8_t* it = page->image + slot;
    put32(it, child);
    put32(it + 4, static_cast<uint32_t>(recno));
    std::memcpy(it + 8, key, tag->keySize);
    put16(page->image, static_cast<uint32_t>(n + 1));
    if (right) put32(item(page, pos + 1), right);
    return pageWrite(tag, page);
  }
  Entries all;
  pageDecode(tag, page, &all);
  Entry e;
  e.child = child;
  e.recno = recno;
  std::memcpy(e.key, key, tag->keySize);
  all.insert(all.begin() + pos, e);
  if (right) all[static_cast<size_t>(pos) + 1].child = right;
  int32_t half = tag->half;
  int64_t rightOffset = newPageOffset(tag);
  if (rightOffset < 0) return -1;
  Entry middle = all[static_cast<size_t>(half)];
  Entries left(all.begin(), all.begin() + half + 1);
  left.back().child = middle.child;  // the middle key's lower keys stay on the left
  Entries upperPart(all.begin() + half + 1, all.end());
  pageEncode(tag, page, left);
  IndexPage* fresh = b4alloc(tag, rightOffset);
  if (!fresh) return -1;
  pageEncode(tag, fresh, upperPart);
  int rc = pageWrite(tag, fresh);
  if (rc == 0) rc = pageWrite(tag, page);
  b4free(tag, fresh);
  if (rc != 0) return rc;
  if (k > 0)
    return insertAt(tag, k - 1, tag->path[k - 1]->position, static_cast<uint32_t>(page->offset),
                    middle.recno, middle.key, static_cast<uint32_t>(rightOffset));
  // The root split: a new root over the two halves.
  int64_t rootOffset = newPageOffset(tag);
  IndexPage* root = rootOffset < 0 ? nullptr : b4alloc(tag, rootOffset);
  if (!root) return -1;
  Entries top(2);
  top[0] = middle;
  top[0].child = static_cast<uint32_t>(page->offset);
  top[1].child = static_cast<uint32_t>(rightOffset);
  pageEncode(tag, root, top);
  rc = pageWrite(tag, root);
  b4free(tag, root);
  if (rc == 0) tag->root = rootOffset;
  return rc;
}

// Reads a sibling of path level k into page; bounds come from the parent entries.
int readSibling(IndexTag* tag, IndexPage* page, const Entries& parent, int32_t index) {
  const uint8_t* low = index > 0 ? parent[static_cast<size_t>(index) - 1].key : nullptr;
  const uint8_t* high =
      index + 1 < static_cast<int32_t>(parent.size()) ? parent[static_cast<size_t>(index)].key : nullptr;
  return pageRead(tag, page, parent[static_cast<size_t>(index)].child, low, high, false);
}

// Restores the fill of path level k after a key left it: borrow a key through the
// parent from a sibling with more than half, else merge with a sibling.  An empty
// inner root gives way to its only child.
int rebalance(IndexTag* tag, int32_t k) {
  IndexPage* page = tag->path[k];
  int32_t n = pageCount(page);
  if (k == 0) {
    if (n == 0 && !isLeaf(page)) tag->root = childAt(page, 0);
    return 0;
  }
  if (n >= tag->half) return 0;
  IndexPage* parentPage = tag->path[k - 1];
  int32_t p = parentPage->position;
  Entries parent, mine, other;
  pageDecode(tag, parentPage, &parent);
  pageDecode(tag, page, &mine);
  IndexPage* sibling = b4alloc(tag, 0);
  if (!sibling) return -1;
  bool useLeft = p > 0;
  int32_t s = useLeft ? p - 1 : p + 1;
  int rc = readSibling(tag, sibling, parent, s);
  if (rc != 0) {
    b4free(tag, sibling);
    return rc;
  }
  pageDecode(tag, sibling, &other);
  int32_t m = static_cast<int32_t>(other.size()) - 1;
  int32_t sep = useLeft ? p - 1 : p;  // parent key between the two pages
  Entry& sepEntry = parent[static_cast<size_t>(sep)];
  bool merged = false;
  if (m > tag->half) {
    if (useLeft) {
      // The separator comes down in front; the sibling's last key goes up.
      Entry down = sepEntry;
      down.child = other[static_cast<size_t>(m)].child;
      mine.insert(mine.begin(), down);
      std::memcpy(sepEntry.key, other[static_cast<size_t>(m) - 1].key, tag->keySize);
      sepEntry.recno = other[static_cast<size_t>(m) - 1].recno;
      other[static_cast<size_t>(m)].child = other[static_cast<size_t>(m) - 1].child;
      other.erase(other.begin() + (m - 1));
    } else {
      Entry down = sepEntry;
      down.child = mine.back().child;
      mine.back() = down;
      Entry tail{};
      tail.child = other[0].child;
      mine.push_back(tail);
      std::memcpy(sepEntry.key, other[0].key, tag->keySize);
      sepEntry.recno = other[0].recno;
      other.erase(other.begin());
    }
    pageEncode(tag, page, mine);
    pageEncode(tag, sibling, other);
    rc = pageWrite(tag, page);
    if (rc == 0) rc = pageWrite(tag, sibling);
  } else {
    // Left part, separator, right part: at most max keys keys on one page.
    Entries& leftList = useLeft ? other : mine;
    Entries& rightList = useLeft ? mine : other;
    IndexPage* keepPage = useLeft ? sibling : page;
    Entry down = sepEntry;
    down.child = leftList.back().child;
    leftList.back() = down;
    leftList.insert(leftList.end(), rightList.begin(), rightList.end());
    // Fewer than half keys here and at most half in the sibling, with the separator,
    // make at most twice half: one page holds them.
    assert(static_cast<int32_t>(leftList.size()) - 1 <= tag->maxKeys);
    pageEncode(tag, keepPage, leftList);
    rc = pageWrite(tag, keepPage);
    uint32_t keepOffset = static_cast<uint32_t>(keepPage->offset);
    parent.erase(parent.begin() + sep);
    parent[static_cast<size_t>(sep)].child = keepOffset;
    merged = true;
  }
  b4free(tag, sibling);
  if (rc != 0) return rc;
  pageEncode(tag, parentPage, parent);
  rc = pageWrite(tag, parentPage);
  if (rc != 0 || !merged) return rc;
  return rebalance(tag, k - 1);
}

}  // namespace

int tagFirst(IndexTag* tag) {
  int rc = loadRoot(tag);
  return rc != 0 ? rc : descendFirst(tag, 0);
}

int tagLast(IndexTag* tag) {
  int rc = loadRoot(tag);
  return rc != 0 ? rc : descendLast(tag, 0);
}

int tagSeek(IndexTag* tag, const uint8_t* key, int32_t len) {
  if (len > tag->keySize) len = tag->keySize;
  int rc = descendTo(tag, key, len, false);
  return rc != 0 ? rc : settle(tag);
}

int tagNext(IndexTag* tag) {
  if (!tag->positioned || tag->depth == 0) return resultAtEnd;
  int32_t k = tag->depth - 1;
  IndexPage* page = tag->path[k];
  if (!isLeaf(page)) {
    page->position += 1;
    int rc = loadLevel(tag, k + 1, childAt(page, page->position));
    return rc != 0 ? rc : descendFirst(tag, k + 1);
  }
  if (page->position + 1 < pageCount(page)) {
    page->position += 1;
    setCurrent(tag);
    return 0;
  }
  --tag->depth;
  return settle(tag);
}

int tagPrevious(IndexTag* tag) {
  if (!tag->positioned || tag->depth == 0) return resultAtBeginning;
  int32_t k = tag->depth - 1;
  IndexPage* page = tag->path[k];
  if (!isLeaf(page)) {
    int rc = loadLevel(tag, k + 1, childAt(page, page->position));
    return rc != 0 ? rc : descendLast(tag, k + 1);
  }
  if (page->position > 0) {
    page->position -= 1;
    setCurrent(tag);
    return 0;
  }
  while (--tag->depth > 0) {
    IndexPage* up = tag->path[tag->depth - 1];
    if (up->position > 0) {
      up->position -= 1;
      setCurrent(tag);
      return 0;
    }
  }
  tag->positioned = 0;
  return resultAtBeginning;
}

const uint8_t* tagCurrentKey(IndexTag* tag) { return tag->keyCurrent; }
int32_t tagCurrentRecno(IndexTag* tag) { return tag->recnoCurrent; }

int tagFindEntry(IndexTag* tag, const uint8_t* key, int32_t recno) {
  int rc = tagSeek(tag, key, tag->keySize);
  while (rc == 0) {
    if (compareKeys(tag, tag->keyCurrent, key) != 0) return 1;
    if (tag->recnoCurrent == recno) return 0;
    rc = tagNext(tag);
  }
  return rc == resultAtEnd ? 1 : rc;
}

int tagWriteVersion(IndexTag* tag) {
  tag->version = static_cast<uint16_t>(tag->version + 1);
  tag->versionSeen = tag->version;
  uint8_t image[6];
  put16(image, tag->version);
  put32(image + 2, static_cast<uint32_t>(tag->root));
  return fileWrite(&tag->file, kVersion, image, sizeof image);
}

int tagAddKey(IndexTag* tag, const uint8_t* key, int32_t recno) {
  if (tag->context->errorCode < 0) return -1;
  if (tag->uniqueCode != 0) {
    int rc = tagSeek(tag, key, tag->keySize);
    if (rc < 0) return rc;
    if (rc == 0 && compareKeys(tag, tag->keyCurrent, key) == 0) {
      if (tag->uniqueCode == errorUnique)
        return errorReport(tag->context, errorUnique, tag->index->fileName);
      return tag->uniqueCode;
    }
  }
  int rc = descendTo(tag, key, tag->keySize, true);
  if (rc != 0) return rc;
  int32_t leaf = tag->depth - 1;
  rc = insertAt(tag, leaf, tag->path[leaf]->position, 0, recno, key, 0);
  tag->positioned = 0;
  tag->depth = 0;
  if (rc != 0) return rc;
  return tagWriteVersion(tag);
}

int t4remove_current(IndexTag* tag) {
  if (tag->context->errorCode < 0) return -1;
  if (!tag->positioned)
    return errorReport(tag->context, errorInfo,
                       "Internal t4remove_current() failure--index file corrupt");
  int32_t k = tag->depth - 1;
  IndexPage* page = tag->path[k];
  int32_t pos = page->position;
  int rc = 0;
  int32_t leafLevel = k;
  if (!isLeaf(page)) {
    // Take the key just before it (the last of the left subtree) into its place.
    rc = loadLevel(tag, k + 1, childAt(page, pos));
    if (rc == 0) rc = descendLast(tag, k + 1);
    if (rc != 0) {
      tag->positioned = 0;
      if (tag->context->errorCode < 0) return -1;
      return errorReport(tag->context, errorInfo,
                         "Internal t4remove_current() failure--index file corrupt");
    }
    leafLevel = tag->depth - 1;
    IndexPage* leaf = tag->path[leafLevel];
    int32_t last = pageCount(leaf) - 1;
    uint8_t* it = item(page, pos);
    put32(it + 4, static_cast<uint32_t>(recnoAt(leaf, last)));
    std::memcpy(it + 8, keyAt(leaf, last), tag->keySize);
    rc = pageWrite(tag, page);
    leaf->position = last;
    pos = last;
    page = leaf;
  }
  if (rc == 0) {
    int32_t n = pageCount(page);
    uint16_t slot = static_cast<uint16_t>(slotAt(page, pos));
    uint8_t* offsets = page->image + 2;
    std::memmove(offsets + 2 * pos, offsets + 2 * (pos + 1), static_cast<size_t>(2 * (n - pos)));
    put16(offsets + 2 * n, slot);
    std::memset(page->image + slot, 0, tag->itemSize);  // a leaf's freed slot is cleared
    put16(page->image, static_cast<uint32_t>(n - 1));
    rc = pageWrite(tag, page);
  }
  if (rc == 0) rc = rebalance(tag, leafLevel);
  tag->positioned = 0;
  tag->depth = 0;
  if (rc != 0) return rc;
  return tagWriteVersion(tag);
}

int ntx::appendInOrder(IndexTag* tag, const uint8_t* key, int32_t recno) {
  if (tag->context->errorCode < 0) return -1;
  if (!tag->appendReady) {
    int rc = descendTo(tag, key, tag->keySize, true);
    if (rc != 0) return rc;
  }
  int32_t leaf = tag->depth - 1;
  IndexPage* page = tag->path[leaf];
  int32_t n = pageCount(page);
  int rc = insertAt(tag, leaf, n, 0, recno, key, 0);
  // Without a split the path stays the rightmost one, its pages as written.
  tag->appendReady = rc == 0 && n + 1 < tag->maxKeys;
  tag->positioned = 0;
  return rc;
}

int tagRemoveKey(IndexTag* tag, const uint8_t* key, int32_t recno) {
  if (tag->context->errorCode < 0) return -1;
  int rc = tagFindEntry(tag, key, recno);
  if (rc != 0) return rc;
  return t4remove_current(tag);
}
