// The seam between data files and the index machinery.
//
// The data layer keeps its tags current through a table of functions (IndexOps) that
// the index code installs; with no table installed a data file never has a tag open
// and every hook does nothing (index_hooks.h).  In the other direction the index code
// sees an open data file only through the functions below: its context, its list of
// open index files, its files, and its record buffer (with data_info.h: its context,
// its files and its record length).
#pragma once

#include <cstdint>
#include <vector>

#include "xbase/data/data_info.h"

struct EngineList;
struct MemoFieldState;

// The index operations the data layer calls; every entry is set.  Each is described
// at its hook in index_hooks.h; only open is called for a data file without open
// index files.
struct IndexOps {
  int (*open)(DataFile* data);
  void (*close)(DataFile* data);
  int (*lock)(DataFile* data);
  void (*unlock)(DataFile* data);
  int (*append)(DataFile* data, int32_t recno);
  int (*appendEnd)(DataFile* data, int32_t recno, bool written);
  int (*zapStart)(DataFile* data);
  int (*rewrite)(DataFile* data, int32_t recno);
  int (*rewriteEnd)(DataFile* data);
  int (*rebuild)(DataFile* data);
  int (*flush)(DataFile* data);
  bool (*selected)(DataFile* data);
  int (*top)(DataFile* data);
  int (*bottom)(DataFile* data);
  int (*skip)(DataFile* data, int32_t n);
};

// Installs the table for the whole process (null: none) and returns the previous one.
// The table must outlive every data file opened while it is installed.
const IndexOps* dataSetIndexOps(const IndexOps* ops);
// The installed table, or null.
const IndexOps* dataIndexOps();

// What the index code reads and sets of an open data file beyond data_info.h.
EngineList* dataIndexes(DataFile* data);       // the open index files
// The record buffer (record length bytes and a 0) and the stored copy of the locked
// current record that a rewrite compares it with.
char* dataRecordBuffer(DataFile* data);
char* dataStoredRecord(DataFile* data);
// Puts image (record length bytes) in place of the record buffer, so that fields and
// expressions read it; returns the buffer it replaces, which the caller puts back.
char* dataSwapRecordBuffer(DataFile* data, char* image);
// Sets the current record number (while a record image is evaluated as record n).
void dataSetRecordNumber(DataFile* data, int32_t n);
// The end-of-file flag, and setting the beginning-of-file flag, for moves along a tag.
int32_t dataAtEnd(const DataFile* data);
void dataSetAtBeginning(DataFile* data, int32_t flag);
// Reads records first .. first + n - 1 into out (n record lengths): 0 or an error
// code (recorded).
int dataReadRecords(DataFile* data, int32_t first, int32_t n, char* out);

// Memo texts while records other than the current one are put in the record buffer
// and evaluated (a tag build or check, the stored copy's key): made before the first
// of them, it sets the current record's memo texts aside (loaded, or assigned and not
// yet written) and has the memos read from the record in the buffer; after each
// further record put in, nextRecord() has them read again from that record's own
// block numbers; destroyed after the current record is back in the buffer, it
// returns the texts set aside.
class MemosOfOtherRecords {
 public:
  explicit MemosOfOtherRecords(DataFile* data);
  ~MemosOfOtherRecords();
  MemosOfOtherRecords(const MemosOfOtherRecords&) = delete;
  MemosOfOtherRecords& operator=(const MemosOfOtherRecords&) = delete;
  void nextRecord();

 private:
  DataFile* data_;
  std::vector<MemoFieldState> kept_;
};
