// The points where data-file operations keep index tags current.  The record code
// calls these and nothing else of the index machinery.  Each passes the operation to
// the table of index operations the index code installs (index_seam.h); without one,
// or for a data file with no index file open, each has nothing to do.
#pragma once

#include <cstdint>

struct DataFile;

// dataOpen with autoOpen set: open the data file's index group file.  0 or an error
// code (recorded).  Without index code nothing is opened.
int indexHookOpen(DataFile* data);
// dataClose: close every index file of the data file.
void indexHookClose(DataFile* data);

// Lock / unlock every index file before a change (dataAppend, dataZap); once locked,
// what a killed writer left in a tag is mended.  0, 50 or an error code.
int indexHookLock(DataFile* data);
void indexHookUnlock(DataFile* data);

// dataAppend: add the record buffer's keys to every tag as record `recno`, each tag
// marked with the record and key first; on a failure the keys already added are
// removed again.  0, resultUniqueKey or an error.
int indexHookAppend(DataFile* data, int32_t recno);
// dataAppend, after the record's write: clears the marks once the record is in the
// file (written set), else takes the keys out again first.  0 or an error.
int indexHookAppendEnd(DataFile* data, int32_t recno, bool written);
// dataZap, before the data file changes: every tag is marked incomplete until the
// rebuild.  0 or an error.
int indexHookZapStart(DataFile* data);
// dataWriteRecord: replace the keys of `recno` that changed between the stored copy
// (oldRecord, read by the caller) and the record buffer, after locking the tags.
// 0, 50 (a tag is locked by another process: nothing changed), resultUniqueKey (a
// unique tag refuses the new key: nothing changed) or an error.  A tag whose keys
// change is marked incomplete until indexHookRewriteEnd.
int indexHookRewrite(DataFile* data, int32_t recno);
// dataWriteRecord, once the record is written: clears the marks.  After a failed
// write they stay, and the next lock rebuilds those tags.  0 or an error.
int indexHookRewriteEnd(DataFile* data);
// dataZap: rebuild every tag from the records.  0 or an error.
int indexHookRebuild(DataFile* data);
// dataFlush: write out every tag.  0 or an error.
int indexHookFlush(DataFile* data);

// True when the data file has open index files (the rewrite then needs the stored
// copy of the record).
bool indexHookAny(DataFile* data);
// True when a tag is selected: top, bottom and skip then follow it.
bool indexHookSelected(DataFile* data);
// Positioning along the selected tag; called only when indexHookSelected is true.
int indexHookTop(DataFile* data);
int indexHookBottom(DataFile* data);
int indexHookSkip(DataFile* data, int32_t n);
