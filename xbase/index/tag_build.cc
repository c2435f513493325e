// Creating a tag file and building a tag from the data file's records through the sort.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "xbase/data/code4.h"
#include "xbase/data/data_internal.h"
#include "xbase/data/error.h"
#include "xbase/data/pool.h"
#include "xbase/data/record.h"
#include "xbase/file/file_internal.h"
#include "xbase/file/os.h"
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
  std::string savedRecord(data->record, static_cast<size_t>(data->recordLength));
  int32_t savedNumber = data->recordNumber;
  SortSession sort;
  int rc = sortInit(&sort, c, tag->keySize, 0);
  if (rc != 0) return rc;
  // Records are read in runs of whole records straight from the file (a sequential
  // reader would commit the data file first, which a build does not need).
  int32_t perRead = 65536 / data->recordLength + 1;
  std::vector<char> buffer(static_cast<size_t>(perRead) * static_cast<size_t>(data->recordLength));
  for (int32_t first = 1; first <= count && rc == 0; first += perRead) {
    int32_t take = count - first + 1 < perRead ? count - first + 1 : perRead;
    rc = fileReadAll(&data->file, dataRecordOffset(data, first), buffer.data(),
                     static_cast<uint32_t>(take) * static_cast<uint32_t>(data->recordLength));
    for (int32_t i = 0; i < take && rc == 0; ++i) {
      std::memcpy(data->record, buffer.data() + static_cast<size_t>(i) * data->recordLength,
                  static_cast<size_t>(data->recordLength));
      data->recordNumber = first + i;
      int keep = tagForTrue(tag);
      if (keep < 0) rc = -1;
      if (keep == 1) {
        rc = tagBuildKey(tag, tag->keyWork);
        if (rc == 0) rc = sortPut(&sort, first + i, tag->keyWork, nullptr);
      }
    }
  }
  std::memcpy(data->record, savedRecord.data(), savedRecord.size());
  data->recordNumber = savedNumber;
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
  // The empty root page that follows the header.
  uint8_t* page = image + kNtxHeaderReserve;
  std::memset(page, 0, kNtxPageSize);
  for (int32_t i = 0; i <= 2 * half; ++i)
    put16(page + 2 + 2 * i, static_cast<uint32_t>(firstSlot(2 * half) + (keySize + 8) * i));
}

std::string upper(std::string s) {
  for (char& ch : s) {
    ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    if (ch == '/') ch = '\\';
  }
  return s;
}

std::string directoryPart(const std::string& path) {
  size_t cut = path.find_last_of("\\/:");
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

// Adds the tag's base name to the group file, creating it in text layout when
// missing.  A name already listed is left as it is.
int addToGroup(CODE4* c, const std::string& group, const std::string& tagName) {
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
  bool counted = !bytes.empty() && static_cast<uint8_t>(bytes[0]) < 'A';
  if (counted) {
    const uint8_t* b = reinterpret_cast<const uint8_t*>(bytes.data());
    size_t at = 2;
    for (size_t i = 0; i < b[0] && at + 4 <= bytes.size(); ++i) {
      size_t l = get32(b + at);
      at += 4;
      if (l > bytes.size() - at) break;
      names.push_back(bytes.substr(at, l));
      at += l;
    }
  } else {
    std::string cur;
    for (char ch : bytes + " ") {
      if (ch == '\t' || ch == '\n' || ch == '\r' || ch == 0x1A || ch == ' ') {
        if (!cur.empty()) names.push_back(cur);
        cur.clear();
      } else {
        cur += ch;
      }
    }
  }
  for (const std::string& n : names) {
    std::string listed = upper(n);
    if (listed == upper(base) || listed + ".NTX" == upper(base)) {
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
  } else {
    std::string add = (bytes.empty() || bytes.back() == '\n' ? "" : "\r\n") + base + "\r\n";
    rc = fileWrite(&file, length, add.data(), static_cast<uint32_t>(add.size()));
  }
  fileClose(&file);
  return rc;
}

IndexFile* openGroupNamed(DataFile* data, const std::string& group) {
  for (void* i = listFirst(&data->indexes); i; i = listNext(&data->indexes, i)) {
    IndexFile* index = static_cast<IndexFile*>(i);
    std::string name = upper(index->fileName);
    std::string wanted = upper(group);
    if (name == wanted || name == wanted + ".CGP") return index;
  }
  return nullptr;
}

// Removes an open tag of that file name from its group before the file is replaced.
void dropOpenTag(DataFile* data, const char* fileName) {
  std::string wanted = upper(fileName);
  for (void* i = listFirst(&data->indexes); i; i = listNext(&data->indexes, i)) {
    IndexFile* index = static_cast<IndexFile*>(i);
    for (void* t = listFirst(&index->tags); t; t = listNext(&index->tags, t)) {
      IndexTag* tag = static_cast<IndexTag*>(t);
      if (upper(tag->file.name) != wanted) continue;
      if (tagSelected(data) == tag) tagSelect(data, nullptr);
      if (index->tags.count == 1) {
        i4close(index);
      } else {
        if (tag->fileLocked) fileUnlock(&tag->file, kNtxLockOffset, kNtxLockLength);
        listRemove(&index->tags, tag);
        fileClose(&tag->file);
        exprFree(tag->keyExpr);
        if (tag->forExpr) exprFree(tag->forExpr);
        for (IndexPage* page : tag->path)
          if (page) b4free(tag, page);
        engineFree(tag->keyWork);
        poolFree(data->context->tagPool, tag);
      }
      return;
    }
  }
}

// A new tag file whose build could not start holds a sound but empty tree: removes
// it (best effort: the context keeps the error that stopped the build).
void removeUnbuiltTag(const char* fileName) {
  std::string path;
  if (osPathOf(fileName, &path) == 0) osFiles().remove(path.c_str());
}

}  // namespace

int tagRebuild(IndexTag* tag) {
  CODE4* c = tag->context;
  if (c->errorCode < 0) return -1;
  int rc = fileSetLength(&tag->file, kNtxHeaderReserve);
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
  if (rc != 0) return rc;
  return tagWriteVersion(tag);
}

IndexTag* tagCreate(DataFile* data, const TagCreateInfo* info, const char* groupName) {
  CODE4* c = data->context;
  if (c->errorCode < 0) return nullptr;
  char fileName[260];
  if (!info->name || std::strlen(info->name) > 257) {
    errorReport(c, errorParameter, "Tag file name is too long");
    return nullptr;
  }
  std::strcpy(fileName, info->name);
  fileSetExtension(fileName, sizeof fileName, "NTX", 0);
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
  dropOpenTag(data, fileName);
  EngineFile file;
  fileInit(&file);
  int32_t savedExists = c->createFailsIfExists;
  c->createFailsIfExists = 0;
  int rc = fileCreate(&file, c, fileName, 1);
  c->createFailsIfExists = savedExists;
  if (rc != 0) {
    if (rc > 0) errorReport(c, errorCreate, "File Name:", fileName);
    return nullptr;
  }
  std::vector<uint8_t> image(static_cast<size_t>(kNtxHeaderReserve + kNtxPageSize), 0);
  writeHeaderImage(image.data(), keySize, decimals, half, info->expression, info->filter,
                   info->unique, info->descending);
  rc = fileWrite(&file, 0, image.data(), static_cast<uint32_t>(image.size()));
  if (rc != 0) file.removeOnClose = 1;
  fileClose(&file);
  if (rc != 0) return nullptr;
  IndexFile* group = nullptr;
  if (groupName) {
    if (addToGroup(c, groupName, fileName) != 0) return nullptr;
    group = openGroupNamed(data, groupName);
  }
  // A group named but not open yet is opened here, holding the new tag.
  bool newGroup = false;
  if (groupName && !group) {
    char name[260];
    std::snprintf(name, sizeof name, "%s", groupName);
    fileSetExtension(name, sizeof name, "CGP", 0);
    group = indexFileNew(data, name);
    if (!group) return nullptr;
    newGroup = true;
  }
  IndexTag* tag = t4open(data, group, fileName);
  if (!tag) {
    if (newGroup) i4close(group);
    removeUnbuiltTag(fileName);
    return nullptr;
  }
  if (newGroup) listAddLast(&data->indexes, group);
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
  return tag;
}
