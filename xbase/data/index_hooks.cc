// The index hooks: the record operations keep every open tag current through these,
// and top, bottom and skip follow the selected tag.
#include "xbase/data/index_hooks.h"

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "xbase/data/data_file.h"
#include "xbase/data/error.h"
#include "xbase/data/record.h"
#include "xbase/file/file_internal.h"
#include "xbase/file/os.h"
#include "xbase/index/ntx.h"

namespace {

template <typename Fn>
int forEachTag(DataFile* data, Fn fn) {
  for (void* i = listFirst(&data->indexes); i; i = listNext(&data->indexes, i)) {
    IndexFile* index = static_cast<IndexFile*>(i);
    for (void* t = listFirst(&index->tags); t; t = listNext(&index->tags, t)) {
      int rc = fn(static_cast<IndexTag*>(t));
      if (rc != 0) return rc;
    }
  }
  return 0;
}

// The key and FOR result of a record image (the record buffer or the stored copy).
int keyOf(IndexTag* tag, DataFile* data, char* image, uint8_t* key, int* belongs) {
  char* saved = data->record;
  data->record = image;
  int rc = 0;
  *belongs = tagForTrue(tag);
  if (*belongs < 0) rc = -1;
  if (rc == 0 && *belongs) rc = tagBuildKey(tag, key);
  data->record = saved;
  return rc;
}

}  // namespace

int indexHookOpen(DataFile* data) {
  CODE4* c = data->context;
  // A data file without a group file simply has no index.
  char name[260];
  if (std::strlen(data->file.name) >= sizeof name) return 0;
  std::strcpy(name, data->file.name);
  if (fileSetExtension(name, sizeof name, "CGP", 1) != 0) return 0;
  // Only a missing group file means no index: one that exists but cannot be opened
  // (no read permission, say) fails the open instead of leaving its tags stale.
  std::string path;
  bool found = false;
  if (osPathOf(name, &path) != 0 || osFiles().exists(path.c_str(), &found) != 0 || !found)
    return 0;
  return i4open(data, nullptr) ? 0 : (c->errorCode < 0 ? c->errorCode : -1);
}

void indexHookClose(DataFile* data) {
  while (IndexFile* index = static_cast<IndexFile*>(listLast(&data->indexes))) i4close(index);
}

// Mends every tag after a lock: a writer killed half-way left its mark.
int mendAll(DataFile* data) {
  return forEachTag(data, [&](IndexTag* tag) { return tagMend(tag); });
}

int indexHookLock(DataFile* data) {
  if (data->indexes.count == 0) return 0;
  int rc = indexLockAll(data);
  return rc == 0 ? mendAll(data) : rc;
}

void indexHookUnlock(DataFile* data) { indexUnlockAll(data); }

int indexHookAppend(DataFile* data, int32_t recno) {
  CODE4* c = data->context;
  std::vector<std::pair<IndexTag*, std::string>> added;
  int rc = forEachTag(data, [&](IndexTag* tag) {
    int belongs = 0;
    int r = keyOf(tag, data, data->record, tag->keyWork, &belongs);
    if (r != 0 || !belongs) return r;
    // The mark goes first: killed after the key and before the record, the process
    // leaves a key the next writer finds and takes out.
    r = tagMarkAppend(tag, tag->keyWork, recno);
    if (r == 0) r = tagAddKey(tag, tag->keyWork, recno);
    if (r == resultUniqueSkip) return 0;
    if (r == 0) added.emplace_back(tag, std::string(reinterpret_cast<char*>(tag->keyWork), tag->keySize));
    return r;
  });
  if (rc == 0) return 0;
  // Take the keys out of the tags that accepted them; the failure's code stays.
  int32_t kept = c->errorCode;
  c->errorCode = 0;
  for (auto it = added.rbegin(); it != added.rend(); ++it)
    tagRemoveKey(it->first, reinterpret_cast<const uint8_t*>(it->second.data()), recno);
  forEachTag(data, [&](IndexTag* tag) {
    tagClearMark(tag);
    return 0;
  });
  c->errorCode = kept;
  return rc;
}

int indexHookAppendEnd(DataFile* data, int32_t recno, bool written) {
  CODE4* c = data->context;
  // After a failed write the context holds its error: the keys are taken out with
  // the code kept aside, and the failure's code stays.
  int32_t kept = c->errorCode < 0 ? c->errorCode : 0;
  if (kept) c->errorCode = 0;
  int rc = forEachTag(data, [&](IndexTag* tag) {
    if (tag->pending != static_cast<uint32_t>(recno)) return 0;
    if (!written) {
      int belongs = 0;
      int r = keyOf(tag, data, data->record, tag->keyWork, &belongs);
      if (r == 0 && belongs) r = tagRemoveKey(tag, tag->keyWork, recno);
      if (r < 0) return r;
    }
    return tagClearMark(tag);
  });
  if (kept) c->errorCode = kept;
  return kept ? kept : rc;
}

int indexHookZapStart(DataFile* data) {
  return forEachTag(data, [&](IndexTag* tag) { return tagMarkIncomplete(tag); });
}

int indexHookRewrite(DataFile* data, int32_t recno) {
  int rc = indexLockAll(data);
  if (rc == 0) rc = mendAll(data);
  if (rc != 0) return rc;
  // A unique tag that refuses an equal key (20, -340) refuses the whole change before
  // any tag is touched.
  rc = forEachTag(data, [&](IndexTag* tag) {
    if (tag->uniqueCode != resultUniqueKey && tag->uniqueCode != errorUnique) return 0;
    int wasIn = 0, isIn = 0;
    int r = keyOf(tag, data, data->oldRecord, tag->keyWork2, &wasIn);
    if (r == 0) r = keyOf(tag, data, data->record, tag->keyWork, &isIn);
    if (r != 0 || !isIn) return r;
    if (wasIn && std::memcmp(tag->keyWork, tag->keyWork2, tag->keySize) == 0) return 0;
    r = tagSeek(tag, tag->keyWork, tag->keySize);
    if (r != 0) return r < 0 ? r : 0;
    if (std::memcmp(tagCurrentKey(tag), tag->keyWork, tag->keySize) != 0) return 0;
    if (tag->uniqueCode == resultUniqueKey) return static_cast<int>(resultUniqueKey);
    return static_cast<int>(errorReport(data->context, errorUnique, tag->index->fileName));
  });
  if (rc != 0) return rc;
  return forEachTag(data, [&](IndexTag* tag) {
    int wasIn = 0, isIn = 0;
    int r = keyOf(tag, data, data->oldRecord, tag->keyWork2, &wasIn);
    if (r == 0) r = keyOf(tag, data, data->record, tag->keyWork, &isIn);
    if (r != 0) return r;
    if (wasIn == isIn && (!isIn || std::memcmp(tag->keyWork, tag->keyWork2, tag->keySize) == 0))
      return 0;
    // Incomplete until the record is written (indexHookRewriteEnd): a process killed
    // in between leaves a tag the next writer rebuilds.
    r = tagMarkIncomplete(tag);
    if (r != 0) return r;
    if (wasIn) {
      r = tagRemoveKey(tag, tag->keyWork2, recno);
      if (r < 0) return r;
    }
    if (isIn) {
      // A unique tag that already holds the new key leaves this record out (25).
      r = tagAddKey(tag, tag->keyWork, recno);
      if (r < 0 || r == resultUniqueKey) return r;
    }
    return 0;
  });
}

int indexHookRewriteEnd(DataFile* data) {
  return forEachTag(data, [&](IndexTag* tag) { return tagClearMark(tag); });
}

int indexHookRebuild(DataFile* data) {
  return forEachTag(data, [&](IndexTag* tag) { return tagRebuild(tag); });
}

int indexHookFlush(DataFile* data) {
  return forEachTag(data, [&](IndexTag* tag) {
    int rc = fileCommitKeepError(&tag->file);
    return rc < 0 ? rc : 0;
  });
}

bool indexHookAny(DataFile* data) { return data->indexes.count > 0; }
bool indexHookSelected(DataFile* data) { return tagSelected(data) != nullptr; }

namespace {

// Steps of the tag's own order: ascending, or read backwards for a descending tag.
int stepForward(IndexTag* tag) {
  int rc = tag->descending ? tagPrevious(tag) : tagNext(tag);
  return rc == resultAtBeginning ? resultAtEnd : rc;
}
int stepBackward(IndexTag* tag) {
  int rc = tag->descending ? tagNext(tag) : tagPrevious(tag);
  return rc == resultAtEnd ? resultAtBeginning : rc;
}
int goFirst(IndexTag* tag) { return tag->descending ? tagLast(tag) : tagFirst(tag); }
int goLast(IndexTag* tag) { return tag->descending ? tagFirst(tag) : tagLast(tag); }

int emptyTag(DataFile* data) {
  int rc = dataGoEof(data);
  data->atBeginning = 1;
  return rc;
}

}  // namespace

int indexHookTop(DataFile* data) {
  IndexTag* tag = tagSelected(data);
  int rc = dataFlushRecord(data, 0);
  if (rc == 0) rc = t4do_version_check(tag, 0, 1);
  if (rc == 0) rc = goFirst(tag);
  if (rc == resultAtEnd) return emptyTag(data);
  if (rc != 0) return rc;
  return dataGo(data, tagCurrentRecno(tag));
}

int indexHookBottom(DataFile* data) {
  IndexTag* tag = tagSelected(data);
  int rc = dataFlushRecord(data, 0);
  if (rc == 0) rc = t4do_version_check(tag, 0, 1);
  if (rc == 0) rc = goLast(tag);
  if (rc == resultAtEnd) return emptyTag(data);
  if (rc != 0) return rc;
  return dataGo(data, tagCurrentRecno(tag));
}

int indexHookSkip(DataFile* data, int32_t n) {
  CODE4* c = data->context;
  IndexTag* tag = tagSelected(data);
  if (data->recordNumber <= 0) {
    if (c->errSkipInvalid == 1)
      errorReport(c, errorInfo, "Skip must be made from valid record number");
    return -1;
  }
  int rc = dataFlushRecord(data, 0);
  if (rc == 0) rc = t4do_version_check(tag, 0, 1);
  if (rc != 0) return rc;
  data->atBeginning = 0;
  int32_t steps = n < 0 ? -n : n;
  if (data->atEnd) {
    if (n >= 0) return dataGoEof(data);
    rc = goLast(tag);
    if (rc == resultAtEnd) return emptyTag(data);
    --steps;
  } else if (!(tag->positioned && tagCurrentRecno(tag) == data->recordNumber)) {
    // Find the current record's entry; a record the tag leaves out counts as lying
    // just before the key that follows its own.
    int belongs = tagForTrue(tag);
    if (belongs < 0 || tagBuildKey(tag, tag->keyWork) != 0) return -1;
    rc = belongs ? tagFindEntry(tag, tag->keyWork, data->recordNumber) : 1;
    if (rc == 1) {
      rc = tagSeek(tag, tag->keyWork, tag->keySize);
      if (rc < 0) return rc;
      bool past = rc == resultAtEnd;
      if (tag->descending) {
        // In descending order the next entry is the one before the seek position.
        if (n > 0) {
          rc = past ? tagLast(tag) : tagPrevious(tag);
          if (rc != 0) return rc == resultAtBeginning || rc == resultAtEnd ? dataGoEof(data) : rc;
          --steps;
        } else if (n < 0) {
          if (past) steps = 1;  // nothing before it: the first step stops at the top
          else --steps;
        }
      } else if (n > 0) {
        if (past) return dataGoEof(data);
        --steps;
      } else if (past) {
        rc = tagLast(tag);
        if (rc != 0) return rc == resultAtEnd ? emptyTag(data) : rc;
        --steps;
      }
    } else if (rc != 0) {
      return rc;
    }
  }
  for (int32_t i = 0; i < steps; ++i) {
    rc = n > 0 ? stepForward(tag) : stepBackward(tag);
    if (rc == resultAtEnd) return dataGoEof(data);
    if (rc == resultAtBeginning) {
      rc = goFirst(tag);
      if (rc != 0) return rc < 0 ? rc : emptyTag(data);
      rc = dataGo(data, tagCurrentRecno(tag));
      if (rc != 0) return rc;
      data->atBeginning = 1;
      return resultAtBeginning;
    }
    if (rc != 0) return rc;
  }
  if (!tag->positioned) return dataGoEof(data);
  return dataGo(data, tagCurrentRecno(tag));
}
