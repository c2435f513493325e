// Helpers shared by the data-file sources; not part of the engine's interface.
#pragma once

#include <cstdint>

#include "xbase/data/data_file.h"

// File offset of record n (from 1).
inline int64_t dataRecordOffset(const DataFile* data, int32_t n) {
  return static_cast<int64_t>(data->header.headerLength) +
         static_cast<int64_t>(n - 1) * data->recordLength;
}

// Opened exclusively: every record counts as locked and no lock is taken.
inline bool dataExclusive(const DataFile* data) { return data->file.noLocking != 0; }

// True while the context holds a negative error code.
inline bool dataInError(const DataFile* data) { return data->context->errorCode < 0; }

// Writes the record buffer as record n: locks it, updates the tags, writes changed
// memos, then the record's bytes (no end-of-file byte).
int dataWriteRecord(DataFile* data, int32_t n);

// The header's first dbf::kHeaderImageSize bytes as dataHeaderWrite writes them:
// version, date, the given record count, header length.
void dataHeaderImage(const DataFile* data, int32_t count, unsigned char* image);

// Releases the record locks held (in reverse order of taking).
int dataUnlockRecords(DataFile* data);

// The text of every memo with no buffer of its own.
extern char memoEmptyText[1];

// Marks every memo text as not loaded and not changed (after a move).
void memoForgetAll(DataFile* data);
// Frees every memo text buffer (dataClose).
void memoFreeAll(DataFile* data);
// Loads every memo's text from the record image `record` (dataAppendStart copying the
// current memos) and marks each changed.  0 or a negative code.
int memoLoadAllFrom(DataFile* data, const char* record);
// dataZap, once no record is left: cuts the memo file back to its header block and
// sets the next-free number to 1, so that refilling an emptied file does not grow
// the memo file run after run.  0 (also without a memo file) or a negative code.
int memoEmpty(DataFile* data);
// dataAppend: writes each non-empty memo text at the next free block and stores the
// block number in its field; empty ones leave the field blank.  0 or a negative code.
int memoAppendAll(DataFile* data);
