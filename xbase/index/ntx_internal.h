// Shared by the NTX sources: byte access, page access, page reading and writing.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "xbase/file/le_bytes.h"
#include "xbase/index/ntx.h"

namespace ntx {

using le::get16;
using le::get32;
using le::put16;
using le::put32;

// Header offsets.
enum : int32_t {
  kSignature = 0, kVersion = 2, kRoot = 4, kNextFree = 8, kItemSize = 12, kKeySize = 14,
  kDecimals = 16, kMaxKeys = 18, kHalf = 20, kKeyExpr = 22, kUnique = 277, kDescending = 280,
  kForExpr = 282, kHeaderBytes = 538, kPending = 538, kPendingKey = 542,
};

// The pending word at kPending: 0 when the tree agrees with the records; kIncomplete
// while it is being built (a new tag, a rebuild after emptying the data file); else
// the number of a record whose append is adding keys, with the key this tag takes
// for it at kPendingKey.  A writer that finds it set when it locks the tag mends the
// tag (mendPending).
inline constexpr uint32_t kIncomplete = 0xFFFFFFFFu;

// Names in a group file stay below this length with the group's directory in front.
inline constexpr int32_t kGroupNameLimit = 258;

// First byte of the item slots of a fresh page.
inline int32_t firstSlot(int32_t maxKeys) {
  return 2 * (maxKeys + 2) + ((maxKeys & 1) ? 2 : 0);
}
// True when a page with these sizes fits in 1024 bytes.
inline bool layoutFits(int32_t maxKeys, int32_t itemSize) {
  return firstSlot(maxKeys) + itemSize * (maxKeys + 1) <= kNtxPageSize;
}

inline int32_t pageCount(const IndexPage* p) { return get16(p->image); }
inline int32_t slotAt(const IndexPage* p, int32_t i) { return get16(p->image + 2 + 2 * i); }
inline uint8_t* item(IndexPage* p, int32_t i) { return p->image + slotAt(p, i); }
inline uint32_t childAt(IndexPage* p, int32_t i) { return get32(item(p, i)); }
inline int32_t recnoAt(IndexPage* p, int32_t i) {
  return static_cast<int32_t>(get32(item(p, i) + 4));
}
inline uint8_t* keyAt(IndexPage* p, int32_t i) { return item(p, i) + 8; }
inline bool isLeaf(IndexPage* p) { return childAt(p, 0) == 0; }

// A page's content as a list: n keys and a last entry holding only the rightmost child.
struct Entry {
  uint32_t child;
  int32_t recno;
  uint8_t key[kNtxMaxKeySize];
};
using Entries = std::vector<Entry>;

void pageInitFresh(IndexTag* tag, IndexPage* page);
void pageDecode(IndexTag* tag, IndexPage* page, Entries* out);
// Writes entries (the last one only its child) into page as a fresh page.
void pageEncode(IndexTag* tag, IndexPage* page, const Entries& entries);
// Reads and checks the page at offset; low/high (may be null) bound its first and
// last keys.  0 or -310 (reported only when the damage must not be left to retry).
int pageRead(IndexTag* tag, IndexPage* page, int64_t offset, const uint8_t* low,
             const uint8_t* high, bool isRoot);
int pageWrite(IndexTag* tag, IndexPage* page);
// -310 "Corrupt index file": reported when the tag is exclusive, read-only or locked
// by this process, else only returned.
int corrupt(IndexTag* tag);
// A new, empty IndexFile for data named after fileName (not yet in the data file's
// index list), or null after -920.
IndexFile* indexFileNew(DataFile* data, const char* fileName);
// The tag names of a group file's bytes: the counted layout when the first byte is
// below 'A' and the counted entries fit, else the text layout.  False when a name is
// too long.
bool groupParse(const std::string& bytes, std::vector<std::string>* names, bool* counted);
// A listed name without the "./" in front that names the group's own directory; empty
// when the name has any other directory part (the tag would lie elsewhere).
std::string groupPlainName(const std::string& name);
// Writes the pending word (and, for a record number, the key at kPendingKey).
int pendingWrite(IndexTag* tag, uint32_t pending, const uint8_t* key);
// Reads the pending word (and key into tag->keyWork2).  0 or a negative code.
int pendingRead(IndexTag* tag, uint32_t* pending);
int compareKeys(IndexTag* tag, const uint8_t* a, const uint8_t* b);
// Adds a key not below any key in the tag (building from sorted keys): while the
// rightmost leaf has room the key goes in without reading a page.  The header version
// is not written; the builder writes it once at the end.
int appendInOrder(IndexTag* tag, const uint8_t* key, int32_t recno);

}  // namespace ntx
