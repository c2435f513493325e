// dataOpen and its header checks, dataClose, closeAllData, engineRelease, dataAlias,
// dataHeaderWrite.
#include "xbase/data/data_file.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>

#include "xbase/data/data_info.h"
#include "xbase/data/data_internal.h"
#include "xbase/data/dbf_format.h"
#include "xbase/data/error.h"
#include "xbase/data/index_hooks.h"
#include "xbase/data/pool.h"
#include "xbase/data/record.h"
#include "xbase/data/record_buffer.h"
#include "xbase/file/conv.h"
#include "xbase/file/file_name.h"

namespace {

constexpr int kNameBufferSize = 258;  // 257 characters and a NUL

struct EngineFreeDeleter {
  void operator()(void* p) const { engineFree(p); }
};
using EngineBuffer = std::unique_ptr<unsigned char, EngineFreeDeleter>;

// Alias: the base name (a drive counts as a directory) up to its last '.', upper case,
// at most 10 characters.
void setAlias(DataFile* data, const char* name) {
  const std::string_view base = fileBaseName(name, /*drive=*/true);
  size_t n = std::min(base.rfind('.'), base.size());
  if (n > 10) n = 10;
  for (size_t i = 0; i < n; ++i) {
    char ch = base[i];
    data->alias[i] = (ch >= 'a' && ch <= 'z') ? static_cast<char>(ch - 32) : ch;
  }
  data->alias[n] = '\0';
}

// Length and decimals of a descriptor by its (upper-case) type.
void descriptorSize(int type, const unsigned char* slot, int32_t* length, int32_t* decimals) {
  unsigned char lo = slot[dbf::kLengthOffset];
  unsigned char hi = slot[dbf::kDecimalsOffset];
  switch (type) {
    case 'N':
    case 'F':
      *length = lo;
      *decimals = hi;
      break;
    case 'L':
    case 'D':
    case 'M':
    case 'G':
      *length = lo;
      *decimals = 0;
      break;
    default:
      *length = lo + 256 * hi;
      *decimals = 0;
  }
}

int rejectHeader(DataFile* data, const char* name) {
  return errorReport(data->context, errorData, name);
}

// Reads and checks the header and descriptors, and builds the field table.  Every
// number read from the file is checked against the others before it is used:
//   - the header length must exceed 32 and the descriptor area must be in the file;
//   - the descriptors must be whole slots (or end at a 0x0D);
//   - there must be at least one field, unless the header ends right after the
//     fixed part (header length 33 or 34), and no field may be of length 0;
//   - the record length must be 1 + the sum of the field lengths.
int readHeader(DataFile* data, const char* name) {
  CODE4* c = data->context;
  unsigned char head[dbf::kHeaderSize];
  if (fileReadAll(&data->file, 0, head, sizeof head) != 0) return c->errorCode;
  uint32_t headerLength = dbf::get16(head + dbf::kHeaderLengthOffset);
  if (headerLength <= static_cast<uint32_t>(dbf::kHeaderSize)) return rejectHeader(data, name);

  uint32_t area = headerLength - dbf::kHeaderSize;
  EngineBuffer desc(static_cast<unsigned char*>(engineAlloc(c, area)));
  if (!desc) return errorReport(c, errorMemory);
  if (fileRead(&data->file, dbf::kHeaderSize, desc.get(), area) != area) {
    if (c->errorCode < 0) return c->errorCode;
    return errorReport(c, errorData);  // the header runs past the end of the file
  }

  uint32_t p = 0;
  while (p < area && desc.get()[p] != dbf::kTerminator) p += dbf::kDescriptorSize;
  uint32_t nField = p / dbf::kDescriptorSize;
  if (nField > area / dbf::kDescriptorSize) return rejectHeader(data, name);
  // A file without fields (shapes without attributes) is a terminator right after
  // the fixed header, and perhaps one byte more: records are the deletion flag alone.
  if (nField == 0 && area > 2) return rejectHeader(data, name);

  data->fields = static_cast<FieldInfo*>(engineAlloc(c, sizeof(FieldInfo) * (nField ? nField : 1)));
  if (!data->fields) return errorReport(c, errorMemory);
  data->fieldCount = static_cast<int32_t>(nField);

  int64_t offset = 1;
  int32_t nMemo = 0;
  for (uint32_t i = 0; i < nField; ++i) {
    const unsigned char* slot = desc.get() + i * dbf::kDescriptorSize;
    FieldInfo* f = &data->fields[i];
    int n = 0;
    while (n < dbf::kNameMax && slot[n] != 0) {
      f->name[n] = static_cast<char>(slot[n]);
      ++n;
    }
    f->name[n] = '\0';
    int type = slot[dbf::kTypeOffset];
    if (type >= 'a' && type <= 'z') type -= 32;
    f->type = type;
    descriptorSize(type, slot, &f->length, &f->decimals);
    if (f->length == 0) return rejectHeader(data, name);
    f->offset = static_cast<int32_t>(offset);
    f->owner = data;
    offset += f->length;
    if (type == 'M' || type == 'G') ++nMemo;
  }
  if (offset != dbf::get16(head + dbf::kRecordLengthOffset)) return rejectHeader(data, name);
  data->recordLength = static_cast<int32_t>(offset);

  data->header.version = head[dbf::kVersionOffset];
  std::memcpy(data->header.date, head + dbf::kDateOffset, 3);
  data->header.recordCount = -1;
  data->header.headerLength = static_cast<uint16_t>(headerLength);
  data->headerFlags = head[dbf::kFlagByteOffset];
  data->languageDriver = head[dbf::kLanguageDriverOffset];

  if (nMemo > 0) {
    data->memoFields =
        static_cast<MemoFieldState*>(engineAlloc(c, sizeof(MemoFieldState) * nMemo));
    if (!data->memoFields) return errorReport(c, errorMemory);
    data->memoFieldCount = nMemo;
    int32_t k = 0;
    for (int32_t i = 0; i < data->fieldCount; ++i) {
      FieldInfo* f = &data->fields[i];
      if (f->type != 'M' && f->type != 'G') continue;
      MemoFieldState* m = &data->memoFields[k++];
      m->notLoaded = 1;
      m->text = memoEmptyText;
      m->field = f;
      f->memo = m;
    }
  }

  size_t size = static_cast<size_t>(data->recordLength) + 1;
  data->record = static_cast<char*>(engineAlloc(c, size));
  data->oldRecord = static_cast<char*>(engineAlloc(c, size));
  if (!data->record || !data->oldRecord) return errorReport(c, errorMemory);
  std::memset(data->record, ' ', data->recordLength);
  std::memset(data->oldRecord, ' ', data->recordLength);
  data->recordNumber = -1;
  data->oldRecordNumber = -1;
  return 0;
}

// Opens the memo file: the data file's name with the extension forced to DBT.  Its
// first 4 bytes (the next free block) must be there.
int openMemo(DataFile* data, const char* dataName) {
  CODE4* c = data->context;
  char memoName[kNameBufferSize];
  copyBounded(memoName, dataName, sizeof memoName);
  if (fileSetExtension(memoName, sizeof memoName, "DBT", 1) != 0)
    return errorReport(c, errorOpen, "File Name:", dataName);
  // Beside the data file, in its spelling.
  const std::string spelling = dataBesideSpelling(data, "DBT");
  int rc = fileOpen(&data->memoFile, c, memoName, 1, spelling.empty() ? nullptr : spelling.c_str(),
                    nullptr, data->caseTwin);
  if (rc != 0) return rc;
  unsigned char next[4];
  if (fileReadAll(&data->memoFile, dbf::kMemoNextFreeOffset, next, sizeof next) != 0)
    return c->errorCode;
  return 0;
}

// Result of a step of dataClose: a failure replaces the result and clears the code so
// that the next step runs.
void closeStep(CODE4* c, int32_t* result) {
  if (c->errorCode < 0) {
    *result = c->errorCode;
    c->errorCode = 0;
  }
}

}  // namespace

DataFile* dataOpen(CODE4* c, const char* name) {
  if (!c || !name || c->errorCode < 0) return nullptr;
  if (!c->dataPool) {
    c->dataPool = poolCreate(c, c->dataPoolFirst, sizeof(DataFile), c->dataPoolGrowth, 0);
    if (!c->dataPool) {
      errorReport(c, errorMemory);
      return nullptr;
    }
  }
  DataFile* data = static_cast<DataFile*>(poolAlloc(c->dataPool, nullptr));
  if (!data) {
    errorReport(c, errorMemory);
    return nullptr;
  }
  data->context = c;
  data->lockSlot = 0;
  data->locks = &data->lockSlot;
  data->lockCapacity = 1;
  fileInit(&data->file);
  fileInit(&data->memoFile);
  data->recordNumber = -1;
  data->oldRecordNumber = -1;
  data->header.recordCount = -1;

  char fileName[kNameBufferSize];
  if (std::strlen(name) >= sizeof fileName ||
      (copyBounded(fileName, name, sizeof fileName),
       fileSetExtension(fileName, sizeof fileName, "DBF", 0) != 0)) {
    errorReport(c, errorOpen, "File Name:", fileEngineName(name).c_str());
    dataClose(data);
    return nullptr;
  }
  std::string path;
  if (fileOpen(&data->file, c, fileName, 1, fileSpelling(name, "DBF", false).c_str(), &path) != 0) {
    dataClose(data);
    return nullptr;
  }
  // Without room for the path the engine's names alone are looked up.
  data->systemPath = static_cast<char*>(engineAlloc(c, path.size() + 1));
  if (data->systemPath) std::memcpy(data->systemPath, path.c_str(), path.size() + 1);
  data->caseTwin = data->systemPath != nullptr && fileHasCaseTwin(path);
  listAddLast(&c->dataFiles, data);
  setAlias(data, fileName);

  if (readHeader(data, fileName) != 0 || c->errorCode < 0) {
    dataClose(data);
    return nullptr;
  }
  if (c->autoOpen && indexHookOpen(data) != 0) {
    dataClose(data);
    return nullptr;
  }
  if ((data->header.version & dbf::kMemoBit) && openMemo(data, fileName) != 0) {
    dataClose(data);
    return nullptr;
  }
  recordBufferAttach(data);  // block buffering, when the context asks for it
  return data;
}

int32_t dataClose(DataFile* data) {
  if (!data) return -1;
  CODE4* c = data->context;
  int32_t result = c->errorCode;
  c->errorCode = 0;
  if (result == errorUnique) data->recordChanged = 0;

  bool open = data->file.handle >= 0;
  // Records gathered by write-behind go first, even after a failure.
  if (open) {
    recordBufferFlushPending(data);
    closeStep(c, &result);
  }
  if (open && data->record) {
    if (data->recordChanged) {
      dataFlushRecord(data, 0);
      closeStep(c, &result);
    }
    if (data->fileChanged) {
      dataHeaderWrite(data, 1, 0);
      closeStep(c, &result);
    }
    dataUnlock(data);
    closeStep(c, &result);
  }
  indexHookClose(data);
  closeStep(c, &result);
  if (open) {
    listRemove(&c->dataFiles, data);
    fileClose(&data->file);
    closeStep(c, &result);
  }
  if (data->memoFile.handle >= 0) {
    fileClose(&data->memoFile);
    closeStep(c, &result);
  }
  recordBufferRelease(data);
  memoFreeAll(data);
  engineFree(data->memoFields);
  engineFree(data->fields);
  engineFree(data->record);
  engineFree(data->oldRecord);
  if (data->locks != &data->lockSlot) engineFree(data->locks);
  engineFree(data->systemPath);
  poolFree(c->dataPool, data);
  c->errorCode = result;
  return result;
}

int closeAllData(CODE4* c) {
  if (!c) return -1;
  int result = 0;
  DataFile* data = static_cast<DataFile*>(listFirst(&c->dataFiles));
  while (data) {
    DataFile* next = static_cast<DataFile*>(listNext(&c->dataFiles, data));
    if (dataClose(data) < 0) result = -1;
    data = next;
  }
  return c->errorCode < 0 ? -1 : result;
}

int engineRelease(CODE4* c) {
  if (!c) return -1;
  closeAllData(c);
  MemoryPool** pools[] = {&c->dataPool, &c->indexPool, &c->tagPool, &c->pagePool};
  for (MemoryPool** pool : pools) {
    poolRelease(*pool);
    *pool = nullptr;
  }
  WorkBuffer* buffers[] = {&c->fieldBuffer, &c->exprBuffer, &c->keyBuffer};
  for (WorkBuffer* b : buffers) {
    engineFree(b->data);
    b->data = nullptr;
    b->size = 0;
  }
  return c->errorCode;
}

const char* dataAlias(DataFile* data) { return data ? data->alias : nullptr; }
