// Sequential reader and writer over the caller's buffer.
#include "xbase/data/seq.h"

#include <cstring>

#include "xbase/data/code4.h"
#include "xbase/data/engine_file.h"

namespace {
// Usable buffer size: the bits for 1024 to 32768 of the given size.
uint32_t usableSize(uint32_t bufferSize) { return bufferSize & 0xFC00u; }
}  // namespace

void seqReadInit(SeqReader* reader, EngineFile* file, int64_t startOffset, void* buffer,
                 uint32_t bufferSize) {
  std::memset(reader, 0, sizeof *reader);
  fileCommit(file);
  reader->file = file;
  reader->position = startOffset;
  uint32_t full = usableSize(bufferSize);
  if (buffer != nullptr && full != 0) {
    reader->buffer = static_cast<char*>(buffer);
    reader->fullSize = full;
    reader->nextFill = full - static_cast<uint32_t>(startOffset % 1024);
  }
}

uint32_t seqRead(SeqReader* reader, void* dest, uint32_t n) {
  EngineFile* file = reader->file;
  if (contextFailed(file->owner)) return 0;
  if (reader->buffer == nullptr) {
    uint32_t got = fileRead(file, reader->position, dest, n);
    reader->position += got;
    return got;
  }
  char* out = static_cast<char*>(dest);
  uint32_t delivered = 0;
  while (delivered < n) {
    if (reader->unread == 0) {
      uint32_t got = 0;
      FileResult result = rawRead(file, reader->position, reader->buffer, reader->nextFill, &got);
      if (result.failed) {
        fileReport(file->owner, result);
        return 0;
      }
      reader->filled = reader->unread = static_cast<uint32_t>(got);
      reader->position += static_cast<int64_t>(got);
      reader->nextFill = reader->fullSize;
      if (got == 0) break;  // end of file
    }
    uint32_t take = n - delivered;
    if (take > reader->unread) take = reader->unread;
    std::memcpy(out + delivered, reader->buffer + (reader->filled - reader->unread), take);
    reader->unread -= take;
    delivered += take;
  }
  return delivered;
}

int seqReadAll(SeqReader* reader, void* dest, uint32_t n) {
  uint32_t got = seqRead(reader, dest, n);
  CODE4* context = reader->file->owner;
  if (contextFailed(context)) return -1;
  if (got == n) return 0;
  return fileReport(context, fileFailed(FileOp::read, 0, reader->file->name));
}

void seqWriteInit(SeqWriter* writer, EngineFile* file, int64_t startOffset, void* buffer,
                  uint32_t bufferSize) {
  std::memset(writer, 0, sizeof *writer);
  fileCommit(file);
  writer->file = file;
  writer->position = startOffset;
  uint32_t full = usableSize(bufferSize);
  if (buffer != nullptr && full != 0) {
    writer->buffer = static_cast<char*>(buffer);
    writer->fullSize = full;
    writer->chunkSize = writer->space = full - static_cast<uint32_t>(startOffset % 1024);
  }
}

int seqWrite(SeqWriter* writer, const void* data, uint32_t n) {
  EngineFile* file = writer->file;
  if (contextFailed(file->owner)) return -1;
  if (writer->buffer == nullptr) {
    int rc = fileWrite(file, writer->position, data, n);
    writer->position += n;
    return rc;
  }
  const char* in = static_cast<const char*>(data);
  while (n > 0) {
    if (writer->space == 0 && seqWriteFlush(writer) < 0) return -1;
    uint32_t take = n < writer->space ? n : writer->space;
    std::memcpy(writer->buffer + (writer->chunkSize - writer->space), in, take);
    writer->space -= take;
    in += take;
    n -= take;
  }
  return 0;
}

int seqWriteFlush(SeqWriter* writer) {
  EngineFile* file = writer->file;
  if (contextFailed(file->owner)) return -1;
  if (writer->buffer == nullptr) return 0;
  uint32_t count = writer->chunkSize - writer->space;
  if (count > 0) {
    FileResult result = rawWrite(file, writer->position, writer->buffer, count);
    if (result.failed) return fileReport(file->owner, result);
  }
  writer->position += count;
  writer->chunkSize = writer->space = writer->fullSize;
  return 0;
}
