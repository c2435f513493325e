// Opening and closing group files and tags, page buffers, the version check, locks.
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "xbase/data/code4.h"
#include "xbase/data/index_seam.h"
#include "xbase/data/list.h"
#include "xbase/data/error.h"
#include "xbase/data/pool.h"
#include "xbase/file/file.h"
#include "xbase/file/file_name.h"
#include "xbase/index/expr.h"
#include "xbase/index/ntx_internal.h"

using namespace ntx;

namespace {

// A tag's name: the base name (a drive counts as a directory) up to its first '.',
// upper case, at most 10 characters.
void baseName(const char* path, char out[11]) {
  const std::string_view base = fileBaseName(path, /*drive=*/true);
  size_t n = 0;
  while (n < base.size() && base[n] != '.' && n < 10) {
    out[n] = static_cast<char>(std::toupper(static_cast<unsigned char>(base[n])));
    ++n;
  }
  out[n] = '\0';
}

// Directory part of a name, up to and with its last '\', '/' or ':'.
std::string directoryOf(const char* path) {
  const std::string_view whole(path);
  return std::string(whole.substr(0, whole.size() - fileBaseName(whole, /*drive=*/true).size()));
}

bool ensurePools(CODE4* c) {
  if (!c->indexPool)
    c->indexPool = poolCreate(c, c->indexPoolFirst, sizeof(IndexFile), c->indexPoolGrowth, 0);
  if (!c->tagPool)
    c->tagPool = poolCreate(c, c->tagPoolFirst, sizeof(IndexTag), c->tagPoolGrowth, 0);
  if (!c->pagePool)
    c->pagePool = poolCreate(c, c->pagePoolFirst, sizeof(IndexPage), c->pagePoolGrowth, 0);
  return c->indexPool && c->tagPool && c->pagePool;
}

}  // namespace

IndexFile* ntx::indexFileNew(DataFile* data, const char* fileName) {
  CODE4* c = dataContext(data);
  if (!ensurePools(c)) {
    errorReport(c, errorMemory, "t4open()");
    return nullptr;
  }
  IndexFile* index = static_cast<IndexFile*>(poolAlloc(c->indexPool, c));
  if (!index) {
    errorReport(c, errorMemory, "t4open()");
    return nullptr;
  }
  index->data = data;
  index->context = c;
  index->pagePool = c->pagePool;
  fileInit(&index->groupFile);
  std::strncpy(index->fileName, fileName, sizeof index->fileName - 1);
  baseName(fileName, index->name);
  return index;
}

namespace {

void freeTag(IndexTag* tag) {
  CODE4* c = tag->context;
  fileClose(&tag->file);
  if (tag->keyExpr) exprFree(tag->keyExpr);
  if (tag->forExpr) exprFree(tag->forExpr);
  for (IndexPage*& page : tag->path) {
    if (page) b4free(tag, page);
    page = nullptr;
  }
  engineFree(tag->keyWork);
  poolFree(c->tagPool, tag);
}

void trimSource(const uint8_t* bytes, char* out) {
  std::memcpy(out, bytes, 255);
  out[255] = '\0';
  int32_t n = static_cast<int32_t>(std::strlen(out));
  while (n > 0 && (out[n - 1] == ' ' || out[n - 1] == '\0')) out[--n] = '\0';
}

// The header checks and fields.  0 or -310 reported with the file name.
int readHeader(IndexTag* tag, uint8_t* header, uint32_t* pending) {
  uint32_t got = fileRead(&tag->file, 0, header, kPendingKey);
  if (tag->context->errorCode < 0) return -1;
  tag->signature = get16(header + kSignature);
  tag->version = get16(header + kVersion);
  tag->itemSize = get16(header + kItemSize);
  tag->keySize = get16(header + kKeySize);
  tag->decimals = get16(header + kDecimals);
  tag->maxKeys = get16(header + kMaxKeys);
  tag->half = get16(header + kHalf);
  *pending = got >= static_cast<uint32_t>(kPendingKey) ? get32(header + kPending) : 0;
  bool sound = got >= static_cast<uint32_t>(kHeaderBytes) &&
               (tag->signature == 6 || tag->signature == 262) && tag->keySize >= 1 &&
               tag->keySize <= kNtxMaxKeySize && tag->half >= 1 &&
               tag->maxKeys == 2 * tag->half && tag->itemSize == tag->keySize + 8 &&
               layoutFits(tag->maxKeys, tag->itemSize);
  if (!sound) return errorReport(tag->context, errorIndex, tag->file.name);
  tag->root = get32(header + kRoot);
  tag->versionSeen = tag->version;
  tag->unique = get16(header + kUnique);
  tag->descending = get16(header + kDescending);
  return 0;
}

// The data file's open tag on the same file as tag (device and inode), or null.
IndexTag* sameFileOpen(DataFile* data, IndexTag* tag) {
  for (void* i = listFirst(dataIndexes(data)); i; i = listNext(dataIndexes(data), i)) {
    IndexFile* index = static_cast<IndexFile*>(i);
    for (void* t = listFirst(&index->tags); t; t = listNext(&index->tags, t)) {
      IndexTag* other = static_cast<IndexTag*>(t);
      if (other != tag && other->identityKnown && other->device == tag->device &&
          other->inode == tag->inode)
        return other;
    }
  }
  // A group being read is not in the data file's list yet.
  IndexFile* index = tag->index;
  if (!listContains(dataIndexes(data), index))
    for (void* t = listFirst(&index->tags); t; t = listNext(&index->tags, t)) {
      IndexTag* other = static_cast<IndexTag*>(t);
      if (other->identityKnown && other->device == tag->device && other->inode == tag->inode)
        return other;
    }
  return nullptr;
}

bool validKeyType(char type) {
  return type == 'C' || type == 'N' || type == 'n' || type == 'D' || type == 'd';
}

}  // namespace

IndexPage* b4alloc(IndexTag* tag, int64_t offset) {
  IndexPage* page = static_cast<IndexPage*>(poolAlloc(tag->index->pagePool, nullptr));
  if (!page) {
    errorReport(tag->context, errorMemory, "b4alloc()");
    return nullptr;
  }
  pageInitFresh(tag, page);
  page->offset = offset;
  return page;
}

void b4free(IndexTag* tag, IndexPage* page) { poolFree(tag->index->pagePool, page); }

IndexTag* t4open(DataFile* data, IndexFile* index, const char* name) {
  indexInstallOps();
  CODE4* c = dataContext(data);
  if (c->errorCode < 0) return nullptr;
  char fileName[260];
  if (std::strlen(name) > 257 ||
      (std::strcpy(fileName, name), fileSetExtension(fileName, sizeof fileName, "NTX", 0) != 0)) {
    errorReport(c, errorOpen, "File Name:", fileEngineName(name).c_str());
    return nullptr;
  }
  bool ownIndex = index == nullptr;
  if (ownIndex) {
    index = indexFileNew(data, fileName);
    if (!index) return nullptr;
  }
  IndexTag* tag = static_cast<IndexTag*>(poolAlloc(c->tagPool, c));
  auto fail = [&]() -> IndexTag* {
    if (tag) freeTag(tag);
    if (ownIndex) poolFree(c->indexPool, index);
    return nullptr;
  };
  if (!tag) {
    errorReport(c, errorMemory, "t4open()");
    return fail();
  }
  tag->context = c;
  tag->index = index;
  fileInit(&tag->file);
  // Looked up as its user spelled it: beside a twin differing only in case, the file
  // named is opened, never the twin.
  const std::string spelling = fileSpelling(name, "NTX", false);
  if (fileOpen(&tag->file, c, fileName, 1, spelling.c_str()) != 0) return fail();
  if (fileIdentity(&tag->file, &tag->device, &tag->inode)) {
    tag->identityKnown = 1;
    if (IndexTag* open = sameFileOpen(data, tag)) {
      // One file, one tag: a second handle would wait on this process's own lock.
      freeTag(tag);
      if (ownIndex) poolFree(c->indexPool, index);
      return open;
    }
  }
  uint8_t header[kPendingKey];
  uint32_t pending = 0;
  if (readHeader(tag, header, &pending) != 0) return fail();
  if (pending == kIncomplete && tag->file.readOnly) {
    errorReport(c, errorIndex, "Tag is incomplete (its build was cut short); build it again",
                fileName);
    return fail();
  }
  baseName(fileName, tag->name);
  tag->keyWork = static_cast<uint8_t*>(engineAllocReport(c, 3u * tag->keySize));
  if (!tag->keyWork) return fail();
  tag->keyWork2 = tag->keyWork + tag->keySize;
  tag->keyCurrent = tag->keyWork2 + tag->keySize;

  trimSource(header + kKeyExpr, tag->keySource);
  tag->keyExpr = exprCompile(data, tag->keySource);
  if (!tag->keyExpr) return fail();
  tag->keyExpr->keyLength = tag->keySize;
  tag->keyExpr->keyDecimals = tag->decimals;
  char* result = nullptr;
  if (exprEvaluate(tag->keyExpr, &result) < 0) {
    if (c->errorCode >= 0) errorReport(c, errorInfo, "t4open()", "Error in Key Evaluation");
    return fail();
  }
  tag->keyType = exprType(tag->keyExpr);
  if (!validKeyType(tag->keyType)) {
    errorReport(c, errorInfo, "Invalid key type in index file");
    return fail();
  }
  trimSource(header + kForExpr, tag->forSource);
  if (tag->forSource[0]) {
    tag->forExpr = exprCompile(data, tag->forSource);
    if (!tag->forExpr) return fail();
    if (exprType(tag->forExpr) != 'L') {
      errorReport(c, errorIndex, "Filter should be Logical", index->fileName);
      return fail();
    }
  }
  tag->uniqueCode = tag->unique ? c->uniqueKeyCode : 0;
  tag->pending = pending;
  listAddLast(&index->tags, tag);
  if (ownIndex) listAddLast(dataIndexes(data), index);
  return tag;
}

IndexFile* i4open(DataFile* data, const char* name) {
  indexInstallOps();
  CODE4* c = dataContext(data);
  if (c->errorCode < 0) return nullptr;
  char groupName[260];
  const char* source = name ? name : dataDbfFile(data)->name;
  if (std::strlen(source) >= sizeof groupName) {
    errorReport(c, errorOpen, "File Name:", fileEngineName(source).c_str());
    return nullptr;
  }
  std::strcpy(groupName, source);
  if (fileSetExtension(groupName, sizeof groupName, "CGP", name ? 0 : 1) != 0) {
    errorReport(c, errorOpen, "File Name:", fileEngineName(source).c_str());
    return nullptr;
  }
  size_t len = std::strlen(groupName);
  if (len > 4 && std::strcmp(groupName + len - 4, ".NTX") == 0) {
    IndexTag* tag = t4open(data, nullptr, name);
    return tag ? tag->index : nullptr;
  }
  IndexFile* index = indexFileNew(data, groupName);
  if (!index) return nullptr;
  // The group file is only read: a read-only group serves a writer as well.
  int32_t savedReadOnly = c->openReadOnly;
  c->openReadOnly = 1;
  // A group named is looked up as its user spelled it; the group beside the data file
  // in the data file's spelling, as its memo file is (beside a case twin, in that exact
  // spelling only).
  const std::string spelling =
      name ? fileSpelling(name, "CGP", false) : dataBesideSpelling(data, "CGP");
  int opened =
      fileOpen(&index->groupFile, c, groupName, 1, spelling.empty() ? nullptr : spelling.c_str(),
               nullptr, !name && dataHasCaseTwin(data));
  c->openReadOnly = savedReadOnly;
  if (opened != 0) {
    if (c->errOpenFile) errorReport(c, errorOpen, "Set CODE4.autoOpen to 'off'");
    poolFree(c->indexPool, index);
    return nullptr;
  }
  auto fail = [&](const char* text, const char* text2 = nullptr) -> IndexFile* {
    if (text && c->errOpenFile && c->errorCode >= 0) errorReport(c, errorInfo, text, text2);
    fileClose(&index->groupFile);
    i4close(index);
    return nullptr;
  };
  int64_t length = fileLength(&index->groupFile);
  if (length < 1 || length > (1 << 20)) return fail("Error reading group file in i4open()");
  std::string bytes(static_cast<size_t>(length), '\0');
  if (fileRead(&index->groupFile, 0, bytes.data(), static_cast<uint32_t>(length)) !=
      static_cast<uint32_t>(length))
    return fail("Error reading group file in i4open()");
  if (fileClose(&index->groupFile) != 0) return fail("Error closing group file in i4open()");
  // The tags it lists are looked up in its directory as spelled.
  std::string dir =
      spelling.empty() ? directoryOf(groupName) : directoryOf(fileEngineName(spelling).c_str());
  std::vector<std::string> names;
  bool counted = false;
  if (!groupParse(bytes, &names, &counted)) return fail("Error reading group file in i4open()");
  for (const std::string& listed : names) {
    std::string plain = groupPlainName(listed);
    if (plain.empty())
      return fail("Tag file must be in the group file's directory", listed.c_str());
    std::string full = dir + plain;
    if (full.size() >= static_cast<size_t>(kGroupNameLimit))
      return fail("Error reading group file in i4open()");
    if (!t4open(data, index, full.c_str())) return fail(nullptr);
  }
  listAddLast(dataIndexes(data), index);
  return index;
}

int i4close(IndexFile* index) {
  if (!index) return -1;
  CODE4* c = index->context;
  indexUnlock(index);
  if (index->groupFile.handle >= 0) fileClose(&index->groupFile);
  while (IndexTag* tag = static_cast<IndexTag*>(listPopLast(&index->tags))) freeTag(tag);
  if (listContains(dataIndexes(index->data), index)) listRemove(dataIndexes(index->data), index);
  poolFree(c->indexPool, index);
  return c->errorCode < 0 ? -1 : 0;
}

int t4do_version_check(IndexTag* tag, int keepPosition, int adopt) {
  if (tag->file.noLocking || tag->file.readOnly) return 0;
  uint8_t head[12];
  if (fileReadAll(&tag->file, 0, head, sizeof head) != 0) return -1;
  uint16_t version = get16(head + kVersion);
  if (version == tag->versionSeen) return 0;
  if (adopt) tag->versionSeen = version;
  tag->version = version;
  tag->root = get32(head + kRoot);
  bool had = tag->positioned != 0;
  tag->positioned = 0;
  tag->appendReady = 0;
  tag->depth = 0;
  if (keepPosition && had) {
    int rc = tagFindEntry(tag, tag->keyCurrent, tag->recnoCurrent);
    if (rc == 1) {
      rc = tagSeek(tag, tag->keyCurrent, tag->keySize);
      if (rc == resultAtEnd) rc = 0;
    }
    // The pages are already dropped; a tree that cannot be read again (damaged by
    // its writer) is the caller's error, not a reason to end the process.
    if (rc < 0) return rc;
  }
  return 0;
}

namespace {

// One locking pass over tags: every tag's whole-file lock, or none.  Retried as the
// saved lockTries says.
template <typename ForEachTag>
int lockTags(CODE4* c, ForEachTag forEach) {
  int32_t saved = c->lockTries;
  int32_t tries = saved;
  c->lockTries = 1;
  int result = 0;
  for (;;) {
    result = 0;
    forEach([&](IndexTag* tag) {
      if (result != 0 || tag->fileLocked) return;
      int rc = fileLock(&tag->file, kNtxLockOffset, kNtxLockLength);
      if (rc == 0)
        tag->fileLocked = 2;  // taken in this pass
      else
        result = rc;
    });
    if (result == 0) break;
    forEach([&](IndexTag* tag) {
      if (tag->fileLocked == 2) {
        fileUnlock(&tag->file, kNtxLockOffset, kNtxLockLength);
        tag->fileLocked = 0;
      }
    });
    if (result != resultLocked || tries == 0) break;
    if (tries > 0) --tries;
    waitNextSecond();
  }
  c->lockTries = saved;
  if (result != 0) return result;
  forEach([&](IndexTag* tag) {
    if (tag->fileLocked == 2) {
      tag->fileLocked = 1;
      if (fileLength(&tag->file) > 0 && t4do_version_check(tag, 0, 1) != 0 && result == 0)
        result = -1;
    }
  });
  return result;
}

}  // namespace

int indexLock(IndexFile* index) {
  if (index->context->errorCode < 0) return -1;
  int rc = lockTags(index->context, [&](auto fn) {
    for (void* t = listFirst(&index->tags); t; t = listNext(&index->tags, t))
      fn(static_cast<IndexTag*>(t));
  });
  if (rc == 0) index->locked = 1;
  return rc;
}

int indexLockAll(DataFile* data) {
  if (dataContext(data)->errorCode < 0) return -1;
  int rc = lockTags(dataContext(data), [&](auto fn) {
    for (void* i = listFirst(dataIndexes(data)); i; i = listNext(dataIndexes(data), i)) {
      IndexFile* index = static_cast<IndexFile*>(i);
      for (void* t = listFirst(&index->tags); t; t = listNext(&index->tags, t))
        fn(static_cast<IndexTag*>(t));
    }
  });
  if (rc == 0)
    for (void* i = listFirst(dataIndexes(data)); i; i = listNext(dataIndexes(data), i))
      static_cast<IndexFile*>(i)->locked = 1;
  return rc;
}

int indexUnlock(IndexFile* index) {
  int result = 0;
  for (void* t = listFirst(&index->tags); t; t = listNext(&index->tags, t)) {
    IndexTag* tag = static_cast<IndexTag*>(t);
    if (!tag->fileLocked) continue;
    tag->fileLocked = 0;
    int rc = fileUnlock(&tag->file, kNtxLockOffset, kNtxLockLength);
    if (rc < 0) result = rc;
  }
  index->locked = 0;
  return result;
}

void indexUnlockAll(DataFile* data) {
  for (void* i = listFirst(dataIndexes(data)); i; i = listNext(dataIndexes(data), i))
    indexUnlock(static_cast<IndexFile*>(i));
}

IndexTag* tagFind(DataFile* data, const char* name) {
  char wanted[11];
  baseName(name, wanted);
  for (void* i = listFirst(dataIndexes(data)); i; i = listNext(dataIndexes(data), i)) {
    IndexFile* index = static_cast<IndexFile*>(i);
    for (void* t = listFirst(&index->tags); t; t = listNext(&index->tags, t))
      if (std::strcmp(static_cast<IndexTag*>(t)->name, wanted) == 0)
        return static_cast<IndexTag*>(t);
  }
  return nullptr;
}

void tagSelect(DataFile* data, IndexTag* tag) {
  for (void* i = listFirst(dataIndexes(data)); i; i = listNext(dataIndexes(data), i))
    static_cast<IndexFile*>(i)->tags.selected = nullptr;
  dataIndexes(data)->selected = nullptr;
  if (!tag) return;
  tag->index->tags.selected = &tag->link;
  dataIndexes(data)->selected = &tag->index->link;
}

IndexTag* tagSelected(DataFile* data) {
  if (!dataIndexes(data)->selected) return nullptr;
  IndexFile* index = reinterpret_cast<IndexFile*>(dataIndexes(data)->selected);
  return reinterpret_cast<IndexTag*>(index->tags.selected);
}
