// Memo texts: loading from the memo file, assignment, writing in place or at the next
// free block.  Every block number and length read from the files is checked against
// the memo file's length before a byte is read, and a read never runs past the end
// of the file: a memo with no 0x1A there is an error, not a hang.
#include "xbase/data/memo.h"

#include <climits>
#include <cstring>

#include "xbase/data/data_internal.h"
#include "xbase/data/dbf_format.h"
#include "xbase/data/error.h"
#include "xbase/data/field.h"
#include "xbase/data/pool.h"
#include "xbase/data/record.h"
#include "xbase/data/record_buffer.h"
#include "xbase/file/conv.h"

char memoEmptyText[1] = "";

namespace {

constexpr int64_t kBlock = dbf::kMemoBlockSize;

CODE4* contextOf(const MemoFieldState* m) { return m->field->owner->context; }

void setEmpty(MemoFieldState* m) {
  m->length = 0;
  if (m->capacity > 0) m->text[0] = '\0';
}

// Makes room for n bytes and a NUL, keeping the first `keep` bytes.
int reserve(MemoFieldState* m, int64_t n, int32_t keep) {
  if (n + 1 <= m->capacity) return 0;
  CODE4* c = contextOf(m);
  if (n >= INT32_MAX) return errorReport(c, errorMemory);
  int64_t capacity = n + 1 < 64 ? 64 : n + 1;
  if (capacity < 2 * static_cast<int64_t>(m->capacity) && 2 * static_cast<int64_t>(m->capacity) < INT32_MAX)
    capacity = 2 * static_cast<int64_t>(m->capacity);
  char* text = static_cast<char*>(engineAlloc(c, static_cast<size_t>(capacity)));
  if (!text) return errorReport(c, errorMemory);
  if (keep > 0) std::memcpy(text, m->text, keep);
  if (m->capacity > 0) engineFree(m->text);
  m->text = text;
  m->capacity = static_cast<int32_t>(capacity);
  return 0;
}

// The block number held by a memo field's bytes in a record image: 0 for blanks (no
// memo), -1 for anything but digits between blanks. Bytes that hold no digits (a binary
// block number written by another program) are no memo reference the engine can read,
// and taking them as "no memo" would silently lose the text.
int64_t blockNumber(const FieldInfo* f, const char* record) {
  const char* p = record + f->offset;
  int32_t i = 0, end = f->length;
  while (i < end && p[i] == ' ') ++i;
  while (end > i && (p[end - 1] == ' ' || p[end - 1] == '\0')) --end;
  if (i == end) return 0;
  // Digits only.  Up to 18 of them are read here; a longer number is read as any
  // long text is (it names no block of a memo file anyway).
  const bool wide = end - i > 18;
  int64_t n = 0;
  for (int32_t k = i; k < end; ++k) {
    if (p[k] < '0' || p[k] > '9') return -1;
    if (!wide) n = n * 10 + (p[k] - '0');
  }
  if (!wide) return n;
  long text = textToLong(p, f->length);
  return text < 0 ? -1 : text;
}

int memoError(DataFile* data, const char* what) {
  return errorReport(data->context, errorInfo, what,
                     data->memoFile.name ? data->memoFile.name : data->file.name);
}

// Reads the memo starting at `block` into m (when m is not null) and returns in *blocks
// the number of whole blocks up to and including the one holding its 0x1A.
int readMemo(DataFile* data, int64_t block, MemoFieldState* m, int64_t* blocks) {
  CODE4* c = data->context;
  if (data->memoFile.handle < 0) return memoError(data, "Memo field without a memo file");
  if (block < 0) return memoError(data, "Memo block number is not valid");
  if (int rc = recordBufferFlushPending(data)) return rc;  // the memo may still be gathered
  const char* held = nullptr;
  int32_t heldLength = 0;
  if (m && recordBufferMemo(data, block, &held, &heldLength)) {
    int rc = reserve(m, heldLength, 0);
    if (rc != 0) return rc;
    std::memcpy(m->text, held, heldLength);
    m->text[heldLength] = '\0';
    m->length = heldLength;
    *blocks = heldLength / kBlock + 1;
    return 0;
  }
  if (c->errorCode < 0) return c->errorCode;
  int64_t fileLen = fileLength(&data->memoFile);
  if (fileLen < 0) return static_cast<int>(fileLen);
  int64_t start = block * kBlock;
  if (block == 0 || start >= fileLen)
    return memoError(data, "Memo block number past the end of the memo file");

  char chunk[dbf::kMemoBlockSize];
  int64_t length = 0;
  for (int64_t pos = start; pos < fileLen; pos += kBlock) {
    uint32_t want = static_cast<uint32_t>(fileLen - pos < kBlock ? fileLen - pos : kBlock);
    uint32_t got = fileRead(&data->memoFile, pos, chunk, want);
    if (c->errorCode < 0) return c->errorCode;
    if (got != want) return memoError(data, "Memo file changed while being read");
    const void* end = std::memchr(chunk, dbf::kEndOfFile, got);
    uint32_t take = end ? static_cast<uint32_t>(static_cast<const char*>(end) - chunk) : got;
    if (m) {
      int rc = reserve(m, length + take, static_cast<int32_t>(length));
      if (rc != 0) return rc;
      std::memcpy(m->text + length, chunk, take);
      m->text[length + take] = '\0';
    }
    length += take;
    if (end) {
      if (m) m->length = static_cast<int32_t>(length);
      *blocks = (pos - start) / kBlock + 1;
      return 0;
    }
  }
  if (m) setEmpty(m);
  return memoError(data, "Memo has no end marker");
}

// Loads m's text from the memo named by the field in `record`.
int loadFrom(MemoFieldState* m, const char* record) {
  DataFile* data = m->field->owner;
  int64_t block = blockNumber(m->field, record);
  m->notLoaded = 0;
  if (block == 0) {
    setEmpty(m);
    return 0;
  }
  int64_t blocks = 0;
  int rc = readMemo(data, block, m, &blocks);
  if (rc != 0) {
    m->notLoaded = 1;
    setEmpty(m);
  }
  return rc;
}

// Locks the current record and reads its stored copy into the old record buffer,
// unless that copy is already there.
int readLockedCopy(DataFile* data) {
  int32_t n = data->recordNumber;
  int rc = dataLockRecord(data, n);
  if (rc != 0) return rc;
  if (data->oldBufferValid && data->oldRecordNumber == n) return 0;
  rc = fileReadAll(&data->file, dataRecordOffset(data, n), data->oldRecord,
                   static_cast<uint32_t>(data->recordLength));
  if (rc != 0) return rc;
  data->oldRecordNumber = n;
  data->oldBufferValid = 1;
  return 0;
}

int ensureLoaded(MemoFieldState* m) {
  if (!m->notLoaded) return 0;
  DataFile* data = m->field->owner;
  if (data->recordNumber < 0) {
    m->notLoaded = 0;
    setEmpty(m);
    return 0;
  }
  if (data->context->lockOnRead && data->recordNumber > 0) {
    int rc = readLockedCopy(data);
    if (rc != 0) return rc;
  }
  return loadFrom(m, data->record);
}

// The block where the next new memo goes: the first block past the end of the file.
// The next-free number in the header is not trusted over the length (it is only
// written, after each new memo): one pointing into existing data would make a new
// memo overwrite another, and one far past the end (a damaged header) would write at
// hundreds of gigabytes, into a sparse hole.  Every block from the end of the file on
// is free.
int nextFreeBlock(DataFile* data, int64_t* next) {
  int64_t fileLen = fileLength(&data->memoFile);
  if (fileLen < 0) return static_cast<int>(fileLen);
  int64_t n = (fileLen + kBlock - 1) / kBlock;
  if (n < 1) n = 1;
  *next = n;
  return 0;
}

// Bytes a memo of `length` takes with its end mark: the text and the pair 0x1A 0x1A.
// The engine stops at the first 0x1A, but other dbf readers stop only at the pair,
// and read on into the next memo when a run ends with a single one.
int64_t markedSize(int32_t length) { return static_cast<int64_t>(length) + 2; }

// Writes text + 0x1A 0x1A at block.  room is the run's size in bytes (its whole
// blocks), at least markedSize(length); a new run (pad) is written out to that size,
// zero-filled.
int writeRun(DataFile* data, int64_t block, const char* text, int32_t length, int64_t room,
             bool pad) {
  int64_t size = markedSize(length);
  if (pad) size = room;
  if (size > UINT32_MAX) return errorReport(data->context, errorMemory);
  char* buffer = static_cast<char*>(engineAlloc(data->context, static_cast<size_t>(size)));
  if (!buffer) return errorReport(data->context, errorMemory);
  std::memcpy(buffer, text, length);
  buffer[length] = static_cast<char>(dbf::kEndOfFile);
  buffer[length + 1] = static_cast<char>(dbf::kEndOfFile);
  int rc = fileWrite(&data->memoFile, block * kBlock, buffer, static_cast<uint32_t>(size));
  engineFree(buffer);
  return rc;
}

// Stores a text in the memo file: in place over the old memo at oldBlock when it and
// its end mark fit the old run, else at the next free block.  *block receives the block
// used (0 for an empty text, which is not written).
int storeText(DataFile* data, const char* text, int32_t length, int64_t oldBlock,
              int64_t* block) {
  *block = 0;
  if (length == 0) return 0;
  if (data->memoFile.handle < 0) return memoError(data, "Memo field without a memo file");
  if (oldBlock > 0) {
    int64_t blocks = 0;
    CODE4* c = data->context;
    int32_t saved = c->errQuiet;
    c->errQuiet = 1;  // a damaged old memo is simply not reused
    int rc = readMemo(data, oldBlock, nullptr, &blocks);
    c->errQuiet = saved;
    if (rc == 0 && markedSize(length) <= blocks * kBlock) {
      *block = oldBlock;
      return writeRun(data, oldBlock, text, length, blocks * kBlock, false);
    }
    if (rc != 0) engineErrorSet(c, 0);
  }
  // The file's end is measured and written past under the memo file's end lock, so
  // that two writers sharing the file never place their memos at the same block (a
  // file held exclusively or read-only takes no lock).  50: held by another, nothing
  // written.
  int rc = fileLock(&data->memoFile, dbf::kMemoEndLock, 1);
  if (rc != 0) return rc;
  int64_t next = 0;
  rc = nextFreeBlock(data, &next);
  int64_t used = (markedSize(length) + kBlock - 1) / kBlock;
  if (rc == 0 && next + used > UINT32_MAX) rc = memoError(data, "Memo file is full");
  if (rc == 0) rc = writeRun(data, next, text, length, used * kBlock, true);
  if (rc == 0) {
    unsigned char head[4];
    dbf::put32(head, static_cast<uint32_t>(next + used));
    rc = fileWrite(&data->memoFile, dbf::kMemoNextFreeOffset, head, sizeof head);
  }
  const int unlocked = fileUnlock(&data->memoFile, dbf::kMemoEndLock, 1);
  if (rc != 0) return rc;
  if (unlocked != 0) return unlocked;
  *block = next;
  return 0;
}

// Writes block number `block` (0: no memo) into a memo field of the current record,
// digits right-aligned after blanks.  A number with more digits than the field is
// wide fails: cut, or written as asterisks, it would name no memo, and the text just
// stored would be lost behind a record that reads as written.
int storeBlock(FieldInfo* f, int64_t block) {
  char* p = f->owner->record + f->offset;
  if (block == 0) {
    std::memset(p, ' ', f->length);
    return 0;
  }
  char digits[20];
  int32_t n = 0;
  for (int64_t v = block; v > 0; v /= 10) digits[n++] = static_cast<char>('0' + v % 10);
  if (n > f->length) return memoError(f->owner, "Memo block number does not fit its memo field");
  std::memset(p, ' ', f->length - n);
  for (int32_t i = 0; i < n; ++i) p[f->length - 1 - i] = digits[i];
  f->owner->recordChanged = 1;
  return 0;
}

}  // namespace

void memoForgetAll(DataFile* data) {
  for (int32_t i = 0; i < data->memoFieldCount; ++i) {
    MemoFieldState* m = &data->memoFields[i];
    m->notLoaded = 1;
    m->changed = 0;
    setEmpty(m);
  }
}

void memoFreeAll(DataFile* data) {
  for (int32_t i = 0; i < data->memoFieldCount; ++i) {
    MemoFieldState* m = &data->memoFields[i];
    if (m->capacity > 0) engineFree(m->text);
    m->text = memoEmptyText;
    m->capacity = 0;
    m->length = 0;
  }
}

int memoLoadAllFrom(DataFile* data, const char* record) {
  for (int32_t i = 0; i < data->memoFieldCount; ++i) {
    MemoFieldState* m = &data->memoFields[i];
    int rc = loadFrom(m, record);
    if (rc != 0) return rc;
    m->changed = 1;
  }
  return 0;
}

int memoEmpty(DataFile* data) {
  if (data->memoFile.handle < 0) return 0;
  if (dataInError(data)) return -1;
  int64_t fileLen = fileLength(&data->memoFile);
  if (fileLen < 0) return static_cast<int>(fileLen);
  // Only the blocks past the header go; the header block stays as found, but for the
  // next-free number.  The cut comes first: a crash between the two steps leaves a
  // number past the end, which nextFreeBlock does not follow.
  if (fileLen > kBlock) {
    int rc = fileSetLength(&data->memoFile, kBlock);
    if (rc != 0) return rc;
  }
  unsigned char head[4];
  dbf::put32(head, 1);
  return fileWrite(&data->memoFile, dbf::kMemoNextFreeOffset, head, sizeof head);
}

int memoAppendAll(DataFile* data) {
  for (int32_t i = 0; i < data->memoFieldCount; ++i) {
    MemoFieldState* m = &data->memoFields[i];
    m->changed = 0;
    int32_t length = m->notLoaded ? 0 : m->length;
    int64_t block = 0;
    int rc = recordBufferGathersMemos(data) ? recordBufferStoreMemo(data, m->text, length, &block)
                                            : storeText(data, m->text, length, 0, &block);
    if (rc == 0) rc = storeBlock(m->field, block);
    if (rc != 0) return rc;
  }
  return 0;
}

const char* memoText(FieldInfo* field) {
  if (field->owner->context->errorCode < 0) return nullptr;
  MemoFieldState* m = field->memo;
  if (!m) return fieldString(field);
  if (ensureLoaded(m) != 0) return nullptr;
  return m->text;
}

int32_t memoLength(FieldInfo* field) {
  if (field->owner->context->errorCode < 0) return -1;
  MemoFieldState* m = field->memo;
  if (!m) return field->length;
  if (ensureLoaded(m) != 0) return -1;
  return m->length;
}

int memoAssign(FieldInfo* field, const char* text, int32_t length) {
  DataFile* data = field->owner;
  if (data->context->errorCode < 0) return -1;
  MemoFieldState* m = field->memo;
  if (!m) {
    fieldAssignText(field, text, length);
    return 0;
  }
  if (length < 0) length = 0;
  int rc = reserve(m, length, 0);
  if (rc != 0) return rc;
  if (length > 0) std::memcpy(m->text, text, length);
  m->length = length;
  if (m->capacity > 0) m->text[length] = '\0';
  m->changed = 1;
  m->notLoaded = 0;
  data->recordChanged = 1;
  return 0;
}

int32_t memoCopyOut(FieldInfo* field, char* buffer, int32_t size) {
  if (size <= 0) return 0;
  int32_t length = memoLength(field);
  const char* text = memoText(field);
  if (length < 0 || !text) {
    buffer[0] = '\0';
    return 0;
  }
  int32_t n = length < size - 1 ? length : size - 1;
  std::memcpy(buffer, text, n);
  buffer[n] = '\0';
  return n;
}

void memoReset(FieldInfo* field) {
  if (!field->memo) return;
  field->memo->notLoaded = 1;
  field->memo->changed = 0;
  setEmpty(field->memo);
}

int memoWrite(FieldInfo* field) {
  MemoFieldState* m = field->memo;
  if (!m || !m->changed) return 0;
  DataFile* data = field->owner;
  if (data->context->errorCode < 0) return -1;
  int64_t oldBlock = 0;
  if (data->recordNumber > 0) {
    int rc = readLockedCopy(data);
    if (rc != 0) return rc;
    oldBlock = blockNumber(field, data->oldRecord);
  }
  int64_t block = 0;
  int rc = storeText(data, m->text, m->length, oldBlock, &block);
  if (rc != 0) return rc;
  if (block != oldBlock || blockNumber(field, data->record) != block) rc = storeBlock(field, block);
  if (rc != 0) return rc;
  m->changed = 0;
  return 0;
}
