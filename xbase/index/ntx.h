// Index group files and NTX tags: open, key conversion, the B-tree, locking, building.
//
// NTX tag file, little-endian.  The header stands at offset 0; this engine reserves a
// whole 1024-byte page for it, so the first tree page is at 1024.  Every further page
// is taken at the current end of the file.
//
//   OFFSET SIZE DESCRIPTION
//        0    2 signature: 6 or 262
//        2    2 version: raised by one at every change of the tree
//        4    4 root: file offset of the root page
//        8    4 next free: written as 0, never used
//       12    2 item size: key size + 8
//       14    2 key size: 1 to 338
//       16    2 decimals of a numeric key
//       18    2 max keys: keys a page holds at most, always twice half
//       20    2 half: at least 1
//       22  256 key expression, NUL-padded
//      278    1 unique (read as a word together with byte 277, which is 0)
//      279    1 not used
//      280    2 descending
//      282  256 FOR expression, NUL-padded; empty for none
//      538    4 pending: 0; 0xFFFFFFFF while the tree is being built; else the record
//               whose append is adding keys (ntx_internal.h)
//      542  key pending key: the key the pending append adds to this tag
//
// Page (1024 bytes):
//
//   OFFSET              SIZE              DESCRIPTION
//        0                 2              key count k
//        2   2*(max keys+1)               item offsets within the page, in key order
//   ...                 item size each    item slots: child page offset (4, 0 on a leaf),
//                                         record number (4), key (key size)
//
// Items 0..k-1 carry the keys; item k carries only the rightmost child.  The child of
// item i leads to the keys below key i.  A page is a leaf when item 0's child is 0.
// Items never move inside a page: an insertion writes the new item into a free slot
// and moves offsets; a removal parks the freed slot's offset after the last used one.
//
// The tree is a B-tree with keys in every page: each page but the root holds half to
// max keys keys; every leaf is at the same depth.  Keys compare bytewise over the key
// size.  Equal keys of a tag without the unique flag keep the order in which they were
// added (a new one goes after those equal to it); a tag built from the records has them
// in record order.
//
// Pages read from a file are checked before use (counts, item offsets inside the page,
// leaf and inner pages not mixed, key order within the page and against the keys that
// lead to it), so a damaged file yields -310 and never a read outside a page; a walk
// deeper than kNtxMaxDepth counts as a cycle.
#pragma once

#include <cstdint>

#include "xbase/data/list.h"
#include "xbase/data/engine_file.h"

struct CODE4;
struct DataFile;
struct IndexOps;
struct CompiledExpr;
struct MemoryPool;

inline constexpr int32_t kNtxPageSize = 1024;
inline constexpr int32_t kNtxHeaderReserve = 1024;
inline constexpr int32_t kNtxMaxKeySize = 338;
inline constexpr int32_t kNtxMaxDepth = 32;
inline constexpr int64_t kNtxLockOffset = 1000000000;
inline constexpr int64_t kNtxLockLength = 1000000000;

struct IndexPage {
  ListLink link;
  int64_t offset;          // file offset of the page; 0 when the buffer holds none
  int32_t position;        // current key (leaf) or child followed (inner page)
  int32_t changed;
  uint8_t image[kNtxPageSize];
};

struct IndexTag;

// One group file (or one lone tag opened by name).
struct IndexFile {
  ListLink link;           // in the data file's index list
  char name[11];           // base name without directory and extension, upper case
  char fileName[260];      // the group file's name (for messages); the tag's for a lone tag
  EngineFile groupFile;    // closed again once the group file has been read
  DataFile* data;
  CODE4* context;
  EngineList tags;         // IndexTag; tags.selected is the selected tag
  MemoryPool* pagePool;    // page buffers of every tag of the group
  int32_t locked;
};

// One open NTX tag.
struct IndexTag {
  ListLink link;           // in the group's tag list
  char name[11];
  int32_t fileLocked;      // this process holds the tag file's whole-file lock
  EngineFile file;
  IndexFile* index;
  CODE4* context;
  // Header fields.
  uint16_t signature;
  uint16_t version;
  int64_t root;            // -1 until read
  uint16_t itemSize;
  uint16_t keySize;
  uint16_t decimals;
  uint16_t maxKeys;
  uint16_t half;
  uint16_t unique;
  uint16_t descending;
  char keySource[257];
  char forSource[257];
  uint16_t versionSeen;
  CompiledExpr* keyExpr;
  CompiledExpr* forExpr;
  int32_t uniqueCode;      // 0: equal keys accepted; else 25, 20 or -340
  char keyType;            // C, N, n or D (d is converted as D)
  // The current position: pages from the root down, valid while positioned is set.
  IndexPage* path[kNtxMaxDepth];
  int32_t depth;
  int32_t positioned;
  uint8_t* keyWork;        // key size bytes: the last key built
  uint8_t* keyWork2;       // key size bytes: a second key (rewrites, checks)
  uint8_t* keyCurrent;     // key size bytes: the key at the current position
  int32_t recnoCurrent;
  int32_t appendReady;     // the path is the rightmost one and its leaf has room (build)
  uint32_t pending;        // the pending word this process wrote and has not cleared
  int32_t identityKnown;   // device and inode below were read from the open file
  uint64_t device;
  uint64_t inode;
};

// ---- The data files' hooks (index_ops.cc) ----

// The table through which data files keep their tags current (index_seam.h).  It is
// installed before main wherever this code is linked, and again by i4open; a table
// already installed (a test's checking wrapper) is left in place.
void indexInstallOps();
const IndexOps* indexNtxOps();

// ---- Group files and tags (tag_open.cc) ----

// Opens a group file for data (null name: the data file's name with extension CGP;
// a name ending in NTX opens that one tag without a group).  The group file is only
// read, so it is opened read-only.  Every listed tag must lie in the group file's
// directory (-910 otherwise).  Null on failure.
IndexFile* i4open(DataFile* data, const char* name);
// Opens one tag file into index (null: a new IndexFile of its own, added to the data
// file's index list).  A file the data file already has open as a tag (the same
// device and inode, whatever the spelling) is not opened twice: that tag is returned.
// A tag left incomplete by a killed build is refused (-310) when opened read-only.
// Null on failure.
IndexTag* t4open(DataFile* data, IndexFile* index, const char* name);
// Closes every tag of the group and frees it; removes it from the data file's list.
int i4close(IndexFile* index);
// Re-reads the header start; when another process changed the tree, drops the cached
// path (and finds the current key again when keepPosition is set).
int t4do_version_check(IndexTag* tag, int keepPosition, int adopt);
// A page buffer set up as a fresh page at offset, or null after -920 "b4alloc()".
IndexPage* b4alloc(IndexTag* tag, int64_t offset);
// Gives a page buffer back.
void b4free(IndexTag* tag, IndexPage* page);

// Locking: all tags of a group, or of every group of a data file, or none (all or
// nothing, retried as lockTries says).  0, 50 or an error.
int indexLock(IndexFile* index);
int indexLockAll(DataFile* data);
int indexUnlock(IndexFile* index);
void indexUnlockAll(DataFile* data);

// The tag named name (base name, any case) among the data file's open tags, or null.
IndexTag* tagFind(DataFile* data, const char* name);
// Selects tag (null: natural order) for dataTop, dataBottom and dataSkip.
void tagSelect(DataFile* data, IndexTag* tag);
IndexTag* tagSelected(DataFile* data);

// ---- Changes in progress (tag_pending.cc) ----
//
// A change that cannot be made in one write leaves a mark in the tag's header while
// it runs, so that a process killed half-way leaves a tag the next writer mends
// instead of one that lies.  An append marks each tag with the record number and key
// before adding the key and clears the mark once the record is in the data file; a
// build or rebuild marks the tag incomplete until its last page is written.

// Marks tag: record recno's append adds key next.  0 or an error.
int tagMarkAppend(IndexTag* tag, const uint8_t* key, int32_t recno);
// Marks tag incomplete (a rebuild follows).  0 or an error.
int tagMarkIncomplete(IndexTag* tag);
// Clears this process's mark.  0 or an error.
int tagClearMark(IndexTag* tag);
// Mends what a killed writer left (call with the tag locked): an incomplete tag is
// rebuilt from the records; the key of an append whose record never reached the data
// file is taken out again.  0 or an error.
int tagMend(IndexTag* tag);

// ---- Keys (tag_key.cc) ----

// Builds the current record's key into tag->keyWork.  0, or -1 / a negative code.
int tagBuildKey(IndexTag* tag, uint8_t* out);
// Converts an expression result of the given type into a key of keySize bytes.
// 0 or -910 "Invalid key type in index file".
int tagConvertKey(IndexTag* tag, const char* result, int32_t resultLength, uint8_t* out);
// Converts a user's text (a seek value) into key bytes by the tag's key type: C texts
// are blank-padded, N and n numbers are converted as computed numbers would be, D
// texts are CCYYMMDD.  0, or -1 when the text does not fit the type.
int tagKeyFromText(IndexTag* tag, const char* text, uint8_t* out);
// 1 when the current record belongs in the tag (no FOR expression, or it is true),
// 0 when not, negative on failure.
int tagForTrue(IndexTag* tag);

// ---- The tree (btree.cc) ----

// Positions on the first key >= key (ascending order; len bytes compared, the rest
// of the key ignored).  0 found and positioned; 3 past the last key; negative error.
int tagSeek(IndexTag* tag, const uint8_t* key, int32_t len);
// First / last key in ascending order.  0, 3 for an empty tag, or an error.
int tagFirst(IndexTag* tag);
int tagLast(IndexTag* tag);
// Moves one key on (ascending order).  0, 3 past the last / 4 before the first, error.
int tagNext(IndexTag* tag);
int tagPrevious(IndexTag* tag);
// The key and record at the position (valid while positioned).
const uint8_t* tagCurrentKey(IndexTag* tag);
int32_t tagCurrentRecno(IndexTag* tag);
// Positions on the entry (key, recno).  0 found; 1 not present; negative error.
int tagFindEntry(IndexTag* tag, const uint8_t* key, int32_t recno);
// Adds a key.  0, 25 or 20 (a unique tag left it out), or an error (-340 reported).
int tagAddKey(IndexTag* tag, const uint8_t* key, int32_t recno);
// Removes the entry (key, recno).  0, 1 when it is not in the tag, or an error.
int tagRemoveKey(IndexTag* tag, const uint8_t* key, int32_t recno);
// Removes the key at the current position.
int t4remove_current(IndexTag* tag);
// Writes the version (raised by one) and root into the file header.
int tagWriteVersion(IndexTag* tag);

// ---- Building (tag_build.cc) ----

struct TagCreateInfo {
  const char* name;        // tag file name; extension NTX added when missing
  const char* expression;  // key expression
  const char* filter;      // FOR expression or null
  int unique;
  int descending;
};
// Creates (or overwrites) a tag file for data, builds it from every record through
// the sort, and opens it.  An existing file is overwritten only when it is a tag whose
// key expression fits data; an existing group file only when it is one (every name a
// tag in its directory).  With groupName the tag's name is added to that group file
// (created in text layout when missing) once the tag is complete; the tag must lie
// in the group's directory.
// The new tag joins the group if it is open, else a group of its own.  Null on
// failure, the reason in the context.
IndexTag* tagCreate(DataFile* data, const TagCreateInfo* info, const char* groupName);
// Empties the tag and builds it again from the data file's records.  0 or an error.
int tagRebuild(IndexTag* tag);

// ---- Checking (tag_check.cc) ----

// Walks every page of the tag: structure, key order, fill, depth, and that the
// entries are exactly the records' keys.  0 when sound; else -1 with a description
// of the first fault in message (size bytes).
int tagCheck(IndexTag* tag, char* message, int32_t size);
