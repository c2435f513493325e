// Creating a tag file and building a tag from the data file's records through the sort.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "xbase/data/code4.h"
#include "xbase/data/index_seam.h"
#include "xbase/data/error.h"
#include "xbase/data/pool.h"
#include "xbase/data/record.h"
#include "xbase/file/file.h"
#include "xbase/file/file_name.h"
#include "xbase/index/expr.h"
#include "xbase/index/ntx_internal.h"
#include "xbase/index/sort.h"

using namespace ntx;

namespace {

// Every record's key through the sort, in key order (equal keys by record number),
// then into the empty tree.  The record buffer and number are restored afterwards.
int buildFromRecords(IndexTag* tag) {
  DataFile* data = tag->index->data;
  CODE4* c = tag->context;
  int32_t count = dataRecordCount(data);
  if (count < 0) return -1;
  const int32_t length = dataRecordLength(data);
  char* record = dataRecordBuffer(data);
  std::string savedRecord(record, static_cast<size_t>(length));
  int32_t savedNumber = dataRecordNumber(data);
  SortSession sort;
  int rc = sortInit(&sort, c, tag->keySize, 0);
  if (rc != 0) return rc;
  // Records are read in runs of whole records straight from the file (a sequential
  // reader would commit the data file first, which a build does not need).
  int32_t perRead = 65536 / length + 1;
  std::vector<char> buffer(static_cast<size_t>(perRead) * static_cast<size_t>(length));
  auto memos = std::make_unique<MemosOfOtherRecords>(data);
  for (int32_t first = 1; first <= count && rc == 0; first += perRead) {
    int32_t take = count - first + 1 < perRead ? count - first + 1 : perRead;
    rc = dataReadRecords(data, first, take, buffer.data());
    for (int32_t i = 0; i < take && rc == 0; ++i) {
      std::memcpy(record, buffer.data() + static_cast<size_t>(i) * length, static_cast<size_t>(length));
      dataSetRecordNumber(data, first + i);
      memos->nextRecord();
      int keep = tagForTrue(tag);
      if (keep < 0) rc = -1;
      if (keep == 1) {
        rc = tagBuildKey(tag, tag->keyWork);
        if (rc == 0) rc = sortPut(&sort, first + i, tag->keyWork, nullptr);
      }
    }
  }
  std::memcpy(record, savedRecord.data(), savedRecord.size());
  dataSetRecordNumber(data, savedNumber);
  memos.reset();
  if (rc == 0) rc = sortGetInit(&sort);
  if (rc != 0) {
    sortFree(&sort);
    return rc < 0 ? rc : -1;
  }
  bool first = true;
  for (;;) {
    int32_t recno = 0;
    char* key = nullptr;
    int got = sortGet(&sort, &recno, &key, nullptr);
    if (got == 1) break;
    if (got < 0) return got;
    // A unique tag keeps the first record of each key value.
    if (tag->uniqueCode != 0 && !first && compareKeys(tag, tag->keyWork2, reinterpret_cast<uint8_t*>(key)) == 0)
      continue;
    first = false;
    std::memcpy(tag->keyWork2, key, tag->keySize);
    rc = appendInOrder(tag, reinterpret_cast<uint8_t*>(key), recno);
    if (rc != 0) {
      sortFree(&sort);
      return rc;
    }
  }
  return 0;
}

void writeHeaderImage(uint8_t* image, int32_t keySize, int32_t decimals, int32_t half,
                      const char* expr, const char* filter, int unique, int descending) {
  std::memset(image, 0, kNtxHeaderReserve);
  put16(image + kSignature, 6);
  put16(image + kVersion, 0);
  put32(image + kRoot, kNtxHeaderReserve);
  put32(image + kNextFree, 0);
  put16(image + kItemSize, static_cast<uint32_t>(keySize + 8));
  put16(image + kKeySize, static_cast<uint32_t>(keySize));
  put16(image + kDecimals, static_cast<uint32_t>(decimals));
  put16(image + kMaxKeys, static_cast<uint32_t>(2 * half));
  put16(image + kHalf, static_cast<uint32_t>(half));
  std::memcpy(image + kKeyExpr, expr, std::strlen(expr));
  if (filter) std::memcpy(image + kForExpr, filter, std::strlen(filter));
  image[278] = unique ? 1 : 0;
  put16(image + kDescending, descending ? 1 : 0);
  put32(image + kPending, kIncomplete);  // until the build is complete
  // The empty root page that follows the header.
  uint8_t* page = image + kNtxHeaderReserve;
  std::memset(page, 0, kNtxPageSize);
  for (int32_t i = 0; i <= 2 * half; ++i)
    put16(page + 2 + 2 * i, static_cast<uint32_t>(firstSlot(2 * half) + (keySize + 8) * i));
}

std::string upper(std::string_view name) {
  std::string s = fileEngineName(name);
  for (char& ch : s) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  return s;
}

std::string directoryPart(const std::string& path) {
  return path.substr(0, path.size() - fileBaseName(path, /*drive=*/true).size());
}

// Adds the tag's base name to the group file, creating it in text layout when
// missing.  A name already listed is left as it is: listed in any case, or, for a tag
// named in its own spelling beside a twin (`exactSpelling`), in exactly that spelling.
int addToGroup(CODE4* c, const std::string& group, const std::string& tagName, bool exactSpelling) {
  std::string base = tagName.substr(directoryPart(tagName).size());
  EngineFile file;
  fileInit(&file);
  int32_t savedErr = c->errOpenFile;
  c->errOpenFile = 0;
  int rc = fileOpen(&file, c, group.c_str(), 1);
  c->errOpenFile = savedErr;
  if (rc != 0) {
    engineErrorSet(c, 0);
    int32_t savedExists = c->createFailsIfExists;
    c->createFailsIfExists = 1;
    rc = fileCreate(&file, c, group.c_str(), 1);
    c->createFailsIfExists = savedExists;
    if (rc != 0) return rc < 0 ? rc : -1;
    std::string text = base + "\r\n";
    rc = fileWrite(&file, 0, text.data(), static_cast<uint32_t>(text.size()));
    fileClose(&file);
    return rc;
  }
  int64_t length = fileLength(&file);
  if (length < 0 || length > (1 << 20)) {
    fileClose(&file);
    return errorReport(c, errorInfo, "Error reading group file in i4open()");
  }
  std::string bytes(static_cast<size_t>(length), '\0');
  if (length > 0) fileRead(&file, 0, bytes.data(), static_cast<uint32_t>(length));
  std::vector<std::string> names;
  bool counted = false;
  if (!groupParse(bytes, &names, &counted)) {
    fileClose(&file);
    return errorReport(c, errorInfo, "Error reading group file in i4open()");
  }
  for (const std::string& n : names) {
    const std::string listed = fileSpelledName(groupPlainName(n), "NTX");
    if (exactSpelling ? listed == base : upper(listed) == upper(base)) {
      fileClose(&file);
      return 0;
    }
  }
  if (counted) {
    if (names.size() >= 64) {
      fileClose(&file);
      return errorReport(c, errorParameter, "Group file is full", group.c_str());
    }
    names.push_back(base);
    std::string out(2, '\0');
    out[0] = static_cast<char>(names.size());
    for (const std::string& n : names) {
      uint8_t len[4];
      put32(len, static_cast<uint32_t>(n.size()));
      out.append(reinterpret_cast<char*>(len), 4);
      out += n;
    }
    rc = fileWrite(&file, 0, out.data(), static_cast<uint32_t>(out.size()));
    if (rc == 0) rc = fileSetLength(&file, static_cast<int64_t>(out.size()));
  } else if (!bytes.empty() && static_cast<uint8_t>(bytes[0]) < 'A' &&
             static_cast<uint8_t>(base[0]) >= 'A') {
    // A text group that starts with a digit: the new name goes first, so that readers
    // that go by the first byte alone take the file for the text layout too.
    std::string out = base + "\r\n" + bytes;
    rc = fileWrite(&file, 0, out.data(), static_cast<uint32_t>(out.size()));
  } else {
    std::string add = (bytes.empty() || bytes.back() == '\n' ? "" : "\r\n") + base + "\r\n";
    rc = fileWrite(&file, length, add.data(), static_cast<uint32_t>(add.size()));
  }
  fileClose(&file);
  return rc;
}

// Opens an existing file quietly and read-only.  0 opened; 1 it does not exist (or
// cannot be opened: then the create that follows reports it); negative error.
int openExisting(CODE4* c, EngineFile* file, const char* name) {
  fileInit(file);
  int32_t savedErr = c->errOpenFile, savedReadOnly = c->openReadOnly;
  c->errOpenFile = 0;
  c->openReadOnly = 1;
  int rc = fileOpen(file, c, name, 1);
  c->errOpenFile = savedErr;
  c->openReadOnly = savedReadOnly;
  if (rc > 0) {
    engineErrorSet(c, 0);
    return 1;
  }
  return rc;
}

// True when file is the data file or its memo file.
bool isDataOrMemo(DataFile* data, const EngineFile* file) {
  uint64_t dev = 0, ino = 0, d2 = 0, i2 = 0;
  if (!fileIdentity(file, &dev, &ino)) return false;
  if (fileIdentity(dataDbfFile(data), &d2, &i2) && d2 == dev && i2 == ino) return true;
  const EngineFile* memo = dataMemoFile(data);
  return memo && fileIdentity(memo, &d2, &i2) && d2 == dev && i2 == ino;
}

// True when the open file holds a tag header whose key expression compiles against
// data.
bool holdsTagOf(DataFile* data, EngineFile* file) {
  CODE4* c = dataContext(data);
  uint8_t header[kHeaderBytes];
  if (fileRead(file, 0, header, kHeaderBytes) != static_cast<uint32_t>(kHeaderBytes)) return false;
  uint16_t signature = get16(header + kSignature), keySize = get16(header + kKeySize),
           half = get16(header + kHalf), maxKeys = get16(header + kMaxKeys),
           itemSize = get16(header + kItemSize);
  if ((signature != 6 && signature != 262) || keySize < 1 || keySize > kNtxMaxKeySize ||
      half < 1 || maxKeys != 2 * half || itemSize != keySize + 8 || !layoutFits(maxKeys, itemSize))
    return false;
  char expr[256];
  std::memcpy(expr, header + kKeyExpr, 255);
  expr[255] = '\0';
  int32_t savedErrors = c->exprErrors;
  c->exprErrors = 0;
  CompiledExpr* compiled = exprCompile(data, expr);
  c->exprErrors = savedErrors;
  if (!compiled) {
    engineErrorSet(c, 0);
    return false;
  }
  exprFree(compiled);
  return true;
}

// What an existing file of the tag's name may be: only a tag of this data file (or an
// empty file) is overwritten.  0, or -910 reported with the reason.
int targetFits(DataFile* data, const char* fileName, const std::string& spelled) {
  CODE4* c = dataContext(data);
  EngineFile file;
  int rc = openExisting(c, &file, spelled.c_str());
  if (rc != 0) return rc < 0 ? rc : 0;
  // An empty file (a build killed before its first write) holds nothing to lose.
  bool fits = !isDataOrMemo(data, &file) && (fileLength(&file) == 0 || holdsTagOf(data, &file));
  fileClose(&file);
  if (c->errorCode < 0) return -1;
  if (!fits) return errorReport(c, errorInfo, "Not overwritten: the file is not an index tag of this data file", fileName);
  return 0;
}

// What an existing group file must be: readable in one of the layouts, and every name
// it lists a tag of this data file in the group's directory (the tag being made may
// still be missing).  0, or -910 reported with the reason.
int groupFits(DataFile* data, const std::string& group, const std::string& tagName) {
  CODE4* c = dataContext(data);
  char name[260];
  std::snprintf(name, sizeof name, "%s", group.c_str());
  fileSetExtension(name, sizeof name, "CGP", 0);
  // The group and the tags it lists, as spelled (tagCreate).
  const std::string spelled = fileSpelledName(group, "CGP");
  EngineFile file;
  int rc = openExisting(c, &file, spelled.c_str());
  if (rc != 0) return rc < 0 ? rc : 0;
  const char* refusal = "Not changed: the file is not an index group file of this data file";
  bool fits = !isDataOrMemo(data, &file);
  int64_t length = fileLength(&file);
  std::string bytes;
  if (fits && (length < 0 || length > (1 << 20))) fits = false;
  if (fits && length > 0) {
    bytes.assign(static_cast<size_t>(length), '\0');
    fits = fileRead(&file, 0, bytes.data(), static_cast<uint32_t>(length)) ==
           static_cast<uint32_t>(length);
  }
  fileClose(&file);
  std::vector<std::string> names;
  bool counted = false;
  if (fits) fits = groupParse(bytes, &names, &counted);
  std::string dir = directoryPart(spelled);
  std::string base = upper(tagName.substr(directoryPart(tagName).size()));
  for (const std::string& n : names) {
    if (!fits) break;
    std::string plain = groupPlainName(n);
    if (plain.empty()) {
      fits = false;
      break;
    }
    std::string full = dir + plain;
    if (full.size() >= 260) {
      fits = false;
      break;
    }
    const std::string tagFile = fileSpelledName(full, "NTX");
    EngineFile member;
    rc = openExisting(c, &member, tagFile.c_str());
    if (rc < 0) return rc;
    if (rc == 1) {
      fits = upper(tagFile).substr(dir.size()) == base;
      continue;
    }
    fits = !isDataOrMemo(data, &member) && holdsTagOf(data, &member);
    fileClose(&member);
  }
  if (c->errorCode < 0) return -1;
  if (!fits) return errorReport(c, errorInfo, refusal, name);
  return 0;
}

IndexFile* openGroupNamed(DataFile* data, const std::string& group) {
  for (void* i = listFirst(dataIndexes(data)); i; i = listNext(dataIndexes(data), i)) {
    IndexFile* index = static_cast<IndexFile*>(i);
    std::string name = upper(index->fileName);
    std::string wanted = upper(group);
    if (name == wanted || name == wanted + ".CGP") return index;
  }
  return nullptr;
}

// Closes an open tag and takes it out of its group (the group goes with its last tag).
void dropTag(DataFile* data, IndexTag* tag) {
  IndexFile* index = tag->index;
  if (tagSelected(data) == tag) tagSelect(data, nullptr);
  if (index->tags.count == 1) {
    i4close(index);
    return;
  }
  if (tag->fileLocked) fileUnlock(&tag->file, kNtxLockOffset, kNtxLockLength);
  listRemove(&index->tags, tag);
  fileClose(&tag->file);
  exprFree(tag->keyExpr);
  if (tag->forExpr) exprFree(tag->forExpr);
  for (IndexPage* page : tag->path)
    if (page) b4free(tag, page);
  engineFree(tag->keyWork);
  poolFree(dataContext(data)->tagPool, tag);
}

// Removes an open tag of that file name from its group before the file is replaced.
void dropOpenTag(DataFile* data, const char* fileName) {
  std::string wanted = upper(fileName);
  for (void* i = listFirst(dataIndexes(data)); i; i = listNext(dataIndexes(data), i)) {
    IndexFile* index = static_cast<IndexFile*>(i);
    for (void* t = listFirst(&index->tags); t; t = listNext(&index->tags, t)) {
      IndexTag* tag = static_cast<IndexTag*>(t);
      if (upper(tag->file.name) != wanted) continue;
      dropTag(data, tag);
      return;
    }
  }
}

// The same for an open tag on the file just created under another spelling.
void dropOpenFile(DataFile* data, const EngineFile* file) {
  uint64_t device = 0, inode = 0;
  if (!fileIdentity(file, &device, &inode)) return;
  for (void* i = listFirst(dataIndexes(data)); i; i = listNext(dataIndexes(data), i)) {
    IndexFile* index = static_cast<IndexFile*>(i);
    for (void* t = listFirst(&index->tags); t; t = listNext(&index->tags, t)) {
      IndexTag* tag = static_cast<IndexTag*>(t);
      if (tag->identityKnown && tag->device == device && tag->inode == inode) {
        dropTag(data, tag);
        return;
      }
    }
  }
}

bool existsExactly(const std::string& name) {
  bool found = false;
  return fileExistsNamed(name.c_str(), &found, nullptr, /*exactName=*/true) == 0 && found;
}

// The file a build writes for the tag named `name` (engineName: its engine form).
std::string tagTarget(const char* name, const char* engineName) {
  std::string spelled = fileSpelledName(name, "NTX");
  return existsExactly(spelled) ? spelled : std::string(engineName);
}

// The name a group lists for the tag built into `target`: the engine's, as always,
// but the spelling written when a twin holds the engine's name, so that the group
// names the tag built.
std::string groupListing(const std::string& target, const char* engineName) {
  if (target != engineName && existsExactly(engineName)) return target;
  return engineName;
}

// A new tag file whose build could not start holds a sound but empty tree: removes
// it (best effort: the context keeps the error that stopped the build).
void removeUnbuiltTag(const char* fileName) {
  fileRemoveNamed(fileName);
}

}  // namespace

int tagRebuild(IndexTag* tag) {
  CODE4* c = tag->context;
  if (c->errorCode < 0) return -1;
  // Marked incomplete before the first page goes, cleared after the last one: a build
  // cut short leaves a tag that no one takes for whole.
  int rc = tagMarkIncomplete(tag);
  if (rc != 0) return rc;
  rc = fileSetLength(&tag->file, kNtxHeaderReserve);
  if (rc != 0) return rc;
  IndexPage* root = b4alloc(tag, kNtxHeaderReserve);
  if (!root) return -1;
  rc = pageWrite(tag, root);
  b4free(tag, root);
  if (rc != 0) return rc;
  tag->root = kNtxHeaderReserve;
  tag->appendReady = 0;
  tag->positioned = 0;
  tag->depth = 0;
  rc = buildFromRecords(tag);
  if (rc == 0) rc = tagWriteVersion(tag);
  if (rc == 0) rc = pendingWrite(tag, 0, nullptr);
  return rc;
}

IndexTag* tagCreate(DataFile* data, const TagCreateInfo* info, const char* groupName) {
  indexInstallOps();
  CODE4* c = dataContext(data);
  if (c->errorCode < 0) return nullptr;
  char fileName[260];
  if (!info->name || std::strlen(info->name) > 257) {
    errorReport(c, errorParameter, "Tag file name is too long");
    return nullptr;
  }
  std::strcpy(fileName, info->name);
  fileSetExtension(fileName, sizeof fileName, "NTX", 0);
  // The file written: the engine's name (upper case; what messages show), unless a file
  // of exactly the spelling given exists, which is then the one written, never a twin
  // that differs from it only in case.
  const std::string spelled = tagTarget(info->name, fileName);
  if (!info->expression || std::strlen(info->expression) > 255 ||
      (info->filter && std::strlen(info->filter) > 255)) {
    errorReport(c, errorParameter, "Expression is longer than 255 characters");
    return nullptr;
  }
  if (groupName && upper(directoryPart(fileName)) != upper(directoryPart(groupName))) {
    errorReport(c, errorParameter, "Tag file must be in the group file's directory", fileName);
    return nullptr;
  }
  // Work out the key's size from the expression's type.
  CompiledExpr* expr = exprCompile(data, info->expression);
  if (!expr) return nullptr;
  char type = exprType(expr);
  int32_t keySize = exprLength(expr);
  int32_t decimals = 0;
  if (type == 'n') {
    keySize = c->numericKeyLength;
    decimals = c->keyDecimals;
  } else if (type == 'N' && expr->stepCount == 1 && expr->steps[0].field) {
    decimals = expr->steps[0].field->decimals;
  } else if (type == 'D' || type == 'd') {
    keySize = 8;
  }
  exprFree(expr);
  if (type != 'C' && type != 'N' && type != 'n' && type != 'D' && type != 'd') {
    errorReport(c, errorInfo, "Invalid key type in index file");
    return nullptr;
  }
  int32_t itemSize = keySize + 8;
  int32_t most = (kNtxPageSize - 4 - itemSize) / (itemSize + 2);
  int32_t half = most / 2;
  if (keySize < 1 || keySize > kNtxMaxKeySize || half < 1) {
    errorReport(c, errorParameter, "Key is too long for an index page", info->expression);
    return nullptr;
  }
  if (info->filter && info->filter[0]) {
    CompiledExpr* f = exprCompile(data, info->filter);
    if (!f) return nullptr;
    char ftype = exprType(f);
    exprFree(f);
    if (ftype != 'L') {
      errorReport(c, errorIndex, "Filter should be Logical", fileName);
      return nullptr;
    }
  }
  if (targetFits(data, fileName, spelled) != 0) return nullptr;
  if (groupName && groupFits(data, groupName, fileName) != 0) return nullptr;
  dropOpenTag(data, fileName);
  EngineFile file;
  fileInit(&file);
  int32_t savedExists = c->createFailsIfExists;
  c->createFailsIfExists = 0;
  int rc = fileCreate(&file, c, spelled.c_str(), 1);
  c->createFailsIfExists = savedExists;
  if (rc != 0) {
    if (rc > 0) errorReport(c, errorCreate, "File Name:", fileName);
    return nullptr;
  }
  dropOpenFile(data, &file);
  std::vector<uint8_t> image(static_cast<size_t>(kNtxHeaderReserve + kNtxPageSize), 0);
  writeHeaderImage(image.data(), keySize, decimals, half, info->expression, info->filter,
                   info->unique, info->descending);
  rc = fileWrite(&file, 0, image.data(), static_cast<uint32_t>(image.size()));
  if (rc != 0) file.removeOnClose = 1;
  fileClose(&file);
  if (rc != 0) return nullptr;
  // Built as a tag of its own first; the group lists it only once it is complete.
  IndexTag* tag = t4open(data, nullptr, spelled.c_str());
  if (!tag) {
    removeUnbuiltTag(spelled.c_str());
    return nullptr;
  }
  rc = indexLock(tag->index);
  if (rc == 0) rc = tagRebuild(tag);
  if (rc != 0) {
    if (c->errorCode >= 0) errorReport(c, errorInfo, "Tag build failed", fileName);
    // The file holds a sound tree of only some of the keys: it goes, so that no later
    // open takes it for the whole tag.
    tag->file.removeOnClose = 1;
    dropOpenTag(data, fileName);
    return nullptr;
  }
  // A tag whose commit failed is not handed out as built.
  if (fileCommit(&tag->file) != 0) {
    tag->file.removeOnClose = 1;
    dropOpenTag(data, fileName);
    return nullptr;
  }
  if (!groupName) return tag;
  // The group file is created with the case it is given; its name, as every name the
  // engine keeps and shows, in the engine's form.
  const std::string listing = groupListing(spelled, fileName);
  if (addToGroup(c, fileEngineName(groupName), listing, listing != fileName) != 0) {
    // The tag itself is whole; it stays, unlisted.
    dropOpenTag(data, fileName);
    return nullptr;
  }
  IndexFile* group = openGroupNamed(data, groupName);
  // A group named but not open yet is opened here, holding the new tag.
  bool newGroup = false;
  if (!group) {
    char name[260];
    std::snprintf(name, sizeof name, "%s", groupName);
    fileSetExtension(name, sizeof name, "CGP", 0);
    group = indexFileNew(data, name);
    if (!group) {
      dropOpenTag(data, fileName);
      return nullptr;
    }
    newGroup = true;
  }
  // The tag moves from its own IndexFile into the group, keeping its lock.
  IndexFile* own = tag->index;
  if (own != group) {
    if (tagSelected(data) == tag) tagSelect(data, nullptr);
    listRemove(&own->tags, tag);
    if (own->tags.count == 0) {
      listRemove(dataIndexes(data), own);
      poolFree(c->indexPool, own);
    }
    tag->index = group;
    listAddLast(&group->tags, tag);
  }
  if (newGroup) listAddLast(dataIndexes(data), group);
  return tag;
}
