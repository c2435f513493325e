#include "xbase/data/seq.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "xbase/data/engine_file.h"
#include "xbase/file/file_test_util.h"
#include "xbase/file/os_fault.h"

namespace {

// Records the (offset, size) of every read and write that reaches the system.
class RecordingFiles : public OsFaultFiles {
 public:
  int pread(int fd, void* buffer, size_t n, int64_t offset, size_t* done) override {
    reads.emplace_back(offset, n);
    return OsFaultFiles::pread(fd, buffer, n, offset, done);
  }
  int pwrite(int fd, const void* data, size_t n, int64_t offset, size_t* done) override {
    writes.emplace_back(offset, n);
    return OsFaultFiles::pwrite(fd, data, n, offset, done);
  }
  std::vector<std::pair<int64_t, size_t>> reads;
  std::vector<std::pair<int64_t, size_t>> writes;
};

class SeqTest : public ScratchDirTest {
 protected:
  void SetUp() override {
    ScratchDirTest::SetUp();
    previous_ = osInstall(&files_);
  }
  void TearDown() override {
    osInstall(previous_);
    ScratchDirTest::TearDown();
  }
  RecordingFiles files_;
  OsFiles* previous_ = nullptr;
  static constexpr size_t kSize = 70000;
};

TEST_F(SeqTest, ReaderRefillsOnKilobyteBoundariesAfterAShortFirstFill) {
  writeFile("R.BIN", pattern(kSize));
  EngineFile file;
  ASSERT_EQ(fileOpen(&file, &context_, "R.BIN", 1), 0);
  std::vector<char> buffer(16384);
  SeqReader reader;
  seqReadInit(&reader, &file, 1000, buffer.data(), 16384);
  std::string got;
  char piece[700];
  while (uint32_t n = seqRead(&reader, piece, sizeof piece)) got.append(piece, n);
  EXPECT_EQ(got, pattern(kSize).substr(1000));
  // The first refill is cut short so that it ends on the 16384 boundary
  // (16384 - 1000 % 1024 = 15384 bytes); every later one is a whole buffer.
  std::vector<std::pair<int64_t, size_t>> expected = {
      {1000, 15384}, {16384, 16384}, {32768, 16384}, {49152, 16384}, {65536, 16384},
      // End of file: the call that ends short and the one that finds nothing each look.
      {70000, 16384}, {70000, 16384}};
  EXPECT_EQ(files_.reads, expected);
  EXPECT_EQ(context_.errorCode, 0);
  EXPECT_EQ(fileClose(&file), 0);
}

TEST_F(SeqTest, BufferSizeIsCutToWholeKilobytesAndZeroMeansUnbuffered) {
  writeFile("R.BIN", pattern(kSize));
  EngineFile file;
  ASSERT_EQ(fileOpen(&file, &context_, "R.BIN", 1), 0);
  std::vector<char> buffer(65536);
  SeqReader reader;
  seqReadInit(&reader, &file, 0, buffer.data(), 16384 + 500);
  EXPECT_EQ(reader.fullSize, 16384u);
  char piece[100];
  EXPECT_EQ(seqRead(&reader, piece, 100), 100u);
  EXPECT_EQ(files_.reads.back(), std::make_pair(int64_t{0}, size_t{16384}));

  files_.reads.clear();
  seqReadInit(&reader, &file, 10, buffer.data(), 65536);
  EXPECT_EQ(reader.buffer, nullptr);
  EXPECT_EQ(seqRead(&reader, piece, 100), 100u);
  EXPECT_EQ(seqRead(&reader, piece, 100), 100u);
  EXPECT_EQ(std::string(piece, 100), pattern(kSize).substr(110, 100));
  std::vector<std::pair<int64_t, size_t>> direct = {{10, 100}, {110, 100}};
  EXPECT_EQ(files_.reads, direct);
  EXPECT_EQ(fileClose(&file), 0);
}

TEST_F(SeqTest, ReadAllReportsAShortRun) {
  writeFile("R.BIN", pattern(3000));
  EngineFile file;
  ASSERT_EQ(fileOpen(&file, &context_, "R.BIN", 1), 0);
  context_.errQuiet = 1;
  std::vector<char> buffer(4096);
  SeqReader reader;
  seqReadInit(&reader, &file, 0, buffer.data(), 4096);
  std::vector<char> out(3000);
  EXPECT_EQ(seqReadAll(&reader, out.data(), 2000), 0);
  EXPECT_EQ(seqReadAll(&reader, out.data(), 2000), -70);
  EXPECT_EQ(seqReadAll(&reader, out.data(), 1), -1);  // sticky
  context_.errorCode = 0;

  // A failing refill is -70 and delivers nothing.
  seqReadInit(&reader, &file, 0, buffer.data(), 4096);
  files_.failNth(OsCall::read, 1, EIO);
  EXPECT_EQ(seqRead(&reader, out.data(), 10), 0u);
  EXPECT_EQ(context_.errorCode, -70);
  context_.errorCode = 0;
  EXPECT_EQ(fileClose(&file), 0);
}

TEST_F(SeqTest, WriterWritesKilobyteAlignedChunksAndTheRestOnFlush) {
  writeFile("W.BIN", pattern(1000));
  EngineFile file;
  ASSERT_EQ(fileOpen(&file, &context_, "W.BIN", 1), 0);
  std::vector<char> buffer(16384);
  SeqWriter writer;
  seqWriteInit(&writer, &file, 1000, buffer.data(), 16384);
  std::string data = pattern(40000);
  for (size_t at = 0; at < data.size(); at += 999) {
    size_t n = std::min<size_t>(999, data.size() - at);
    ASSERT_EQ(seqWrite(&writer, data.data() + at, static_cast<uint32_t>(n)), 0);
  }
  // Until the flush, the last partial chunk is only in memory.
  EXPECT_EQ(fileLength(&file), 16384 + 16384);
  ASSERT_EQ(seqWriteFlush(&writer), 0);
  // The first refill is cut short so that it ends on the 16384 boundary
  // (16384 - 1000 % 1024 = 15384 bytes); every later one is a whole buffer.
  std::vector<std::pair<int64_t, size_t>> expected = {
      {1000, 15384}, {16384, 16384}, {32768, 41000 - 32768}};
  EXPECT_EQ(files_.writes, expected);
  EXPECT_EQ(fileClose(&file), 0);
  EXPECT_EQ(readFile("W.BIN"), pattern(1000) + data);
}

TEST_F(SeqTest, WriterFailuresAreReportedAndSticky) {
  EngineFile file;
  ASSERT_EQ(fileCreate(&file, &context_, "W.BIN", 1), 0);
  context_.errQuiet = 1;
  std::vector<char> buffer(2048);
  SeqWriter writer;
  seqWriteInit(&writer, &file, 0, buffer.data(), 2048);
  std::string data = pattern(5000);
  files_.failNth(OsCall::write, 2, ENOSPC);
  EXPECT_EQ(seqWrite(&writer, data.data(), 5000), -1);
  EXPECT_EQ(context_.errorCode, -120);
  EXPECT_EQ(seqWrite(&writer, data.data(), 1), -1);
  EXPECT_EQ(seqWriteFlush(&writer), -1);
  context_.errorCode = 0;
  EXPECT_EQ(fileClose(&file), 0);
  EXPECT_EQ(readFile("W.BIN"), data.substr(0, 2048));
}

TEST_F(SeqTest, UnbufferedWriterGoesStraightToTheFile) {
  writeFile("RO.BIN", "abc");
  EngineFile file;
  context_.openReadOnly = 1;
  context_.errQuiet = 1;
  ASSERT_EQ(fileOpen(&file, &context_, "RO.BIN", 1), 0);
  SeqWriter writer;
  seqWriteInit(&writer, &file, 0, nullptr, 0);
  EXPECT_EQ(seqWrite(&writer, "xyz", 3), -930);
  EXPECT_EQ(writer.position, 3);
  context_.errorCode = 0;
  EXPECT_EQ(fileClose(&file), 0);
  EXPECT_EQ(readFile("RO.BIN"), "abc");
}

}  // namespace
