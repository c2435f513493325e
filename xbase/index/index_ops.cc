// The index machinery's side of the seam with data files: the table of operations
// through which the record code keeps every open tag current and through which top,
// bottom and skip follow the selected tag.  The table is installed when this code is
// linked, before main, so that a data file opened with autoOpen finds its group file.
#include <cassert>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "xbase/data/code4.h"
#include "xbase/data/error.h"
#include "xbase/data/index_seam.h"
#include "xbase/data/list.h"
#include "xbase/data/record.h"
#include "xbase/file/file.h"
#include "xbase/index/ntx.h"

namespace {

template <typename Fn>
int forEachTag(DataFile* data, Fn fn) {
  for (void* i = listFirst(dataIndexes(data)); i; i = listNext(dataIndexes(data), i)) {
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
  char* saved = dataSwapRecordBuffer(data, image);
  // The stored copy's memos are the ones its own block numbers name, not the texts
  // of the record being written.
  std::optional<MemosOfOtherRecords> memos;
  if (image != saved) memos.emplace(data);
  int rc = 0;
  *belongs = tagForTrue(tag);
  if (*belongs < 0) rc = -1;
  if (rc == 0 && *belongs) rc = tagBuildKey(tag, key);
  memos.reset();
  // Evaluating reads the image in place and never replaces the buffer, so the caller's
  // own buffer goes back exactly where it was.
  char* shown = dataSwapRecordBuffer(data, saved);
  assert(shown == image);
  (void)shown;
  return rc;
}

int openGroup(DataFile* data) {
  CODE4* c = dataContext(data);
  // A data file without a group file simply has no index.
  char name[260];
  if (std::strlen(dataDbfFile(data)->name) >= sizeof name) return 0;
  std::strcpy(name, dataDbfFile(data)->name);
  if (fileSetExtension(name, sizeof name, "CGP", 1) != 0) return 0;
  // Only a missing group file means no index: one that exists but cannot be opened
  // (no read permission, say) fails the open instead of leaving its tags stale.
  // Looked up as i4open opens it: in the data file's spelling.
  const std::string spelling = dataBesideSpelling(data, "CGP");
  bool found = false;
  if (fileExistsNamed(name, &found, spelling.empty() ? nullptr : spelling.c_str(),
                      dataHasCaseTwin(data)) != 0 ||
      !found)
    return 0;
  return i4open(data, nullptr) ? 0 : (c->errorCode < 0 ? c->errorCode : -1);
}

void closeAll(DataFile* data) {
  while (IndexFile* index = static_cast<IndexFile*>(listLast(dataIndexes(data)))) i4close(index);
}

// Mends every tag after a lock: a writer killed half-way left its mark.
int mendAll(DataFile* data) {
  return forEachTag(data, [&](IndexTag* tag) { return tagMend(tag); });
}

int lockAll(DataFile* data) {
  if (dataIndexes(data)->count == 0) return 0;
  int rc = indexLockAll(data);
  return rc == 0 ? mendAll(data) : rc;
}

void unlockAll(DataFile* data) { indexUnlockAll(data); }

int appendKeys(DataFile* data, int32_t recno) {
  CODE4* c = dataContext(data);
  std::vector<std::pair<IndexTag*, std::string>> added;
  int rc = forEachTag(data, [&](IndexTag* tag) {
    int belongs = 0;
    int r = keyOf(tag, data, dataRecordBuffer(data), tag->keyWork, &belongs);
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

int appendEnd(DataFile* data, int32_t recno, bool written) {
  CODE4* c = dataContext(data);
  // After a failed write the context holds its error: the keys are taken out with
  // the code kept aside, and the failure's code stays.
  int32_t kept = c->errorCode < 0 ? c->errorCode : 0;
  if (kept) c->errorCode = 0;
  int rc = forEachTag(data, [&](IndexTag* tag) {
    if (tag->pending != static_cast<uint32_t>(recno)) return 0;
    if (!written) {
      int belongs = 0;
      int r = keyOf(tag, data, dataRecordBuffer(data), tag->keyWork, &belongs);
      if (r == 0 && belongs) r = tagRemoveKey(tag, tag->keyWork, recno);
      if (r < 0) return r;
    }
    return tagClearMark(tag);
  });
  if (kept) c->errorCode = kept;
  return kept ? kept : rc;
}

int zapStart(DataFile* data) {
  return forEachTag(data, [&](IndexTag* tag) { return tagMarkIncomplete(tag); });
}

int rewriteKeys(DataFile* data, int32_t recno) {
  int rc = indexLockAll(data);
  if (rc == 0) rc = mendAll(data);
  if (rc != 0) return rc;
  // A unique tag that refuses an equal key (20, -340) refuses the whole change before
  // any tag is touched.
  rc = forEachTag(data, [&](IndexTag* tag) {
    if (tag->uniqueCode != resultUniqueKey && tag->uniqueCode != errorUnique) return 0;
    int wasIn = 0, isIn = 0;
    int r = keyOf(tag, data, dataStoredRecord(data), tag->keyWork2, &wasIn);
    if (r == 0) r = keyOf(tag, data, dataRecordBuffer(data), tag->keyWork, &isIn);
    if (r != 0 || !isIn) return r;
    if (wasIn && std::memcmp(tag->keyWork, tag->keyWork2, tag->keySize) == 0) return 0;
    r = tagSeek(tag, tag->keyWork, tag->keySize);
    if (r != 0) return r < 0 ? r : 0;
    if (std::memcmp(tagCurrentKey(tag), tag->keyWork, tag->keySize) != 0) return 0;
    if (tag->uniqueCode == resultUniqueKey) return static_cast<int>(resultUniqueKey);
    return static_cast<int>(errorReport(dataContext(data), errorUnique, tag->index->fileName));
  });
  if (rc != 0) return rc;
  return forEachTag(data, [&](IndexTag* tag) {
    int wasIn = 0, isIn = 0;
    int r = keyOf(tag, data, dataStoredRecord(data), tag->keyWork2, &wasIn);
    if (r == 0) r = keyOf(tag, data, dataRecordBuffer(data), tag->keyWork, &isIn);
    if (r != 0) return r;
    if (wasIn == isIn && (!isIn || std::memcmp(tag->keyWork, tag->keyWork2, tag->keySize) == 0))
      return 0;
    // Incomplete until the record is written (rewriteEnd): a process killed
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

int rewriteEnd(DataFile* data) {
  return forEachTag(data, [&](IndexTag* tag) { return tagClearMark(tag); });
}

int rebuildAll(DataFile* data) {
  return forEachTag(data, [&](IndexTag* tag) { return tagRebuild(tag); });
}

int flushAll(DataFile* data) {
  return forEachTag(data, [&](IndexTag* tag) {
    int rc = fileCommitKeepError(&tag->file);
    return rc < 0 ? rc : 0;
  });
}

bool tagIsSelected(DataFile* data) { return tagSelected(data) != nullptr; }

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
  dataSetAtBeginning(data, 1);
  return rc;
}

int topOfTag(DataFile* data) {
  IndexTag* tag = tagSelected(data);
  int rc = dataFlushRecord(data, 0);
  if (rc == 0) rc = t4do_version_check(tag, 0, 1);
  if (rc == 0) rc = goFirst(tag);
  if (rc == resultAtEnd) return emptyTag(data);
  if (rc != 0) return rc;
  return dataGo(data, tagCurrentRecno(tag));
}

int bottomOfTag(DataFile* data) {
  IndexTag* tag = tagSelected(data);
  int rc = dataFlushRecord(data, 0);
  if (rc == 0) rc = t4do_version_check(tag, 0, 1);
  if (rc == 0) rc = goLast(tag);
  if (rc == resultAtEnd) return emptyTag(data);
  if (rc != 0) return rc;
  return dataGo(data, tagCurrentRecno(tag));
}

int skipAlongTag(DataFile* data, int32_t n) {
  CODE4* c = dataContext(data);
  IndexTag* tag = tagSelected(data);
  if (dataRecordNumber(data) <= 0) {
    if (c->errSkipInvalid == 1)
      errorReport(c, errorInfo, "Skip must be made from valid record number");
    return -1;
  }
  int rc = dataFlushRecord(data, 0);
  if (rc == 0) rc = t4do_version_check(tag, 0, 1);
  if (rc != 0) return rc;
  dataSetAtBeginning(data, 0);
  int32_t steps = n < 0 ? -n : n;
  if (dataAtEnd(data)) {
    if (n >= 0) return dataGoEof(data);
    rc = goLast(tag);
    if (rc == resultAtEnd) return emptyTag(data);
    --steps;
  } else if (!(tag->positioned && tagCurrentRecno(tag) == dataRecordNumber(data))) {
    // Find the current record's entry; a record the tag leaves out counts as lying
    // just before the key that follows its own.
    int belongs = tagForTrue(tag);
    if (belongs < 0 || tagBuildKey(tag, tag->keyWork) != 0) return -1;
    rc = belongs ? tagFindEntry(tag, tag->keyWork, dataRecordNumber(data)) : 1;
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
      dataSetAtBeginning(data, 1);
      return resultAtBeginning;
    }
    if (rc != 0) return rc;
  }
  if (!tag->positioned) return dataGoEof(data);
  return dataGo(data, tagCurrentRecno(tag));
}

const IndexOps kNtxOps = {
    openGroup,  closeAll,     lockAll,      unlockAll,     appendKeys,
    appendEnd,  zapStart,     rewriteKeys,  rewriteEnd,    rebuildAll,
    flushAll,   tagIsSelected, topOfTag,    bottomOfTag,   skipAlongTag,
};

// Installed while the program starts: a data file opened with autoOpen must find its
// group file before any tag has been opened by name.
const bool kInstalled = (indexInstallOps(), true);

}  // namespace

void indexInstallOps() {
  // A table already installed stays (a test may have put a checking one around this).
  if (dataIndexOps() == nullptr) dataSetIndexOps(&kNtxOps);
}

const IndexOps* indexNtxOps() { return &kNtxOps; }
