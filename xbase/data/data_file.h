// Open data files: DataFile, its fields (FieldInfo) and memo fields
// (MemoFieldState), and the life of a DataFile: open, close, release.
//
// The byte layout of the files is in dbf_format.h.  Field, memo and record
// operations are declared in field.h, memo.h and record.h; data.h includes all.
//
// Error convention (the whole engine): an operation that fails records a negative
// code in the context (errorReport) and returns -1, the code or null.  While the
// context holds a negative code every operation here returns at once (-1, null or
// nothing) without recording anything new; dataClose and engineRelease are the
// exceptions and run in any state.
//
// Not thread-safe: one context and its data files belong to one thread.
#pragma once

#include <cstdint>

#include "xbase/data/code4.h"
#include "xbase/data/list.h"
#include "xbase/data/engine_file.h"

struct DataFile;
struct MemoFieldState;
struct RecordBuffer;

// One field of an open data file.  Built by dataOpen, owned by the DataFile.
struct FieldInfo {
  char name[11];          // as stored, at most 10 characters, NUL-terminated
  int32_t length;         // bytes in the record
  int32_t decimals;       // 0 except for N and F
  int32_t type;           // upper-case type letter; F stays F here
  int32_t offset;         // first byte in the record buffer (the first field is at 1)
  DataFile* owner;
  MemoFieldState* memo;   // entry in the memo field table for M and G, else null
};

// The text side of one memo field (M or G).  Owned by the DataFile.
struct MemoFieldState {
  int32_t changed;        // assigned; written with the record
  int32_t notLoaded;      // the text must be read from the memo file before use
  char* text;             // NUL-terminated; points at a shared "" while capacity is 0
  int32_t length;         // bytes of text
  int32_t capacity;       // bytes allocated for text (0: the shared empty text)
  FieldInfo* field;
};

// Copy of header bytes 0 to 9: the only bytes the engine writes back.
struct HeaderImage {
  uint8_t version;
  uint8_t date[3];        // year - 1900, month, day
  int32_t recordCount;    // -1 while not known
  uint16_t headerLength;
};

// One open data file.  Taken from the context's data file pool by dataOpen, listed in
// the context's list of open data files, given back by dataClose.
struct DataFile {
  ListLink link;                  // must stay first: the list's element link
  HeaderImage header;
  char* record;                   // record length + 1 bytes; the extra byte is 0
  char* oldRecord;                // stored copy of the locked current record
  int32_t recordLength;
  int32_t recordChanged;
  int32_t recordNumber;           // -1 none, 0 new record, count + 1 at end of file
  int32_t oldRecordNumber;        // record held in oldRecord; -1 none
  EngineFile file;
  char alias[11];
  uint8_t oldBufferValid;
  CODE4* context;
  uint8_t headerFlags;            // header byte 28 as read
  uint8_t languageDriver;         // header byte 29 as read: the code page (code_page.h)
  FieldInfo* fields;
  int32_t fieldCount;
  MemoFieldState* memoFields;
  int32_t memoFieldCount;
  int32_t lockSlot;               // inline room for the first record lock
  int32_t* locks;                 // record numbers locked; starts at &lockSlot
  int32_t lockCapacity;
  int32_t lockCount;
  int32_t fileLocked;
  int32_t appendLocked;
  int32_t fileChanged;            // records written since the header was updated
  EngineList indexes;             // open index files; kept current by index_hooks
  int32_t atBeginning;
  int32_t atEnd;
  EngineFile memoFile;            // handle -1 when the data file has no memo file
  int32_t lastMeasuredCount;
  RecordBuffer* buffer;           // block buffering (record_buffer.h); null when off
  // The system's path the data file was found at: the files beside it (memo, code
  // page) are looked up in its spelling, so that a file's own memo is found beside
  // another whose name differs only in case.  Null when it could not be had (the
  // engine's names alone are looked up then).
  char* systemPath;
  // The data file has a case twin beside it (orders.dbf and ORDERS.DBF): the files
  // beside it are then taken only in its exact spelling, as one that matches only
  // ignoring case may as well be the twin's.
  bool caseTwin;
};

// Opens an existing data file.  The name gets the extension "DBF" when it has none
// and is upper-cased; the file is opened read-only when context->openReadOnly is 1
// and exclusively when openExclusive is set.  The header is checked against itself
// and against the file before anything is used (-200 "File is not a Data File" with
// the name); a memo file goes with it when the version byte has bit 7 set.
// Returns null on every failure, the reason in the context's error code (-60, -70,
// -200, -920 or a memo file error); nothing is written to the file.
DataFile* dataOpen(CODE4* context, const char* name);

// Writes back a changed record, updates the header date when records were written,
// releases the locks, closes the files and frees the DataFile.  Runs even while the
// context holds an error.  Returns the code of the last failing step, or the code
// that was pending before the close (left in the context as well), else 0.
int32_t dataClose(DataFile* data);

// dataClose on every open data file of the context.  0, or -1 if a close failed or
// the error code is negative.
int closeAllData(CODE4* context);

// Closes every data file, releases the context's pools and work buffers.  Returns
// the context's error code; -1 for a null context.
int engineRelease(CODE4* context);

// File name without directory and extension, upper case, at most 10 characters.
const char* dataAlias(DataFile* data);

// Rewrites header bytes 0 to 3 (date, set to today) and/or 4 to 9 (record count and
// header length) from the header image.  Clears fileChanged after a write.
int dataHeaderWrite(DataFile* data, int updateDate, int updateCount);
