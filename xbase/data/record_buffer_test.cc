// Block buffering: write-behind of appended records and memos for a file held
// exclusively, read-ahead for a file opened read-only.  The files written must be
// byte for byte those of unbuffered appends, a crash or a failed write at any of the
// gathered writes must leave a file whose count covers only whole, correct records,
// and a failed write must be reported, never passed over.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "xbase/data/fault_test_util.h"
#include "xbase/file/os_fault.h"

namespace {

using faults::FaultTest;

std::string fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

class RecordBufferTest : public FaultTest {
 protected:
  // An empty file to append to: RUN (or `name`) from an empty base.
  void emptyFile(const std::string& name) {
    namespace fs = std::filesystem;
    for (const char* ext : {".DBF", ".DBT"})
      fs::copy_file(std::string("BASE") + ext, name + ext, fs::copy_options::overwrite_existing);
  }

  // Opens name exclusively for appending, block-buffered when asked.
  static DataFile* openForAppend(CODE4* c, const char* name, bool buffered) {
    engineInit(c);
    c->errQuiet = 1;
    c->openExclusive = 1;
    if (buffered) c->bufferingMode = 1;
    return dataOpen(c, name);
  }

  // Appends records first..last (fault_test_util's records); the first failing
  // result, else 0.
  static int appendRecords(DataFile* d, int32_t first, int32_t last) {
    for (int32_t k = first; k <= last; ++k) {
      int rc = dataAppendStart(d, 0);
      if (rc != 0) return rc;
      dataBlank(d);
      faults::fillRecord(d, k);
      rc = dataAppend(d);
      if (rc != 0) return rc;
    }
    return 0;
  }

  // The NAME keys of the records in file order, read with the real system calls.
  static std::vector<int32_t> keys(const char* name) {
    OsFiles* previous = osInstall(nullptr);
    CODE4 c;
    engineInit(&c);
    c.errQuiet = 1;
    std::vector<int32_t> found;
    if (DataFile* d = dataOpen(&c, name)) {
      for (int rc = dataTop(d); rc == 0 && !dataEof(d); rc = dataSkip(d, 1))
        found.push_back(atoi(fieldPtr(dataFieldByName(d, "NAME")) + 1));
      dataClose(d);
    }
    engineRelease(&c);
    osInstall(previous);
    return found;
  }

  // Records whose memos (faults::memoFor) fill several gathered blocks, so that
  // blocks are written while the next ones gather.
  static constexpr int32_t kMany = 400;

  static std::vector<int32_t> upTo(int32_t n) {
    std::vector<int32_t> v;
    for (int32_t k = 1; k <= n; ++k) v.push_back(k);
    return v;
  }
};

// The same appends, with a read of an earlier record and its memo in the middle (the
// gathered records must reach the file first), buffered and not: identical files, and
// the buffered run makes a small fraction of the writes.
TEST_F(RecordBufferTest, GatheredAppendsWriteTheSameBytesWithFewWrites) {
  makeBase(0);
  emptyFile("PLAIN");
  emptyFile("GATHER");
  int writes[2] = {0, 0};
  for (bool buffered : {false, true}) {
    const char* name = buffered ? "GATHER" : "PLAIN";
    CODE4 c;
    DataFile* d = openForAppend(&c, name, buffered);
    ASSERT_NE(d, nullptr) << c.errorCode;
    EXPECT_EQ(d->buffer != nullptr, buffered);
    {
      OsFaultScope counting;
      ASSERT_EQ(appendRecords(d, 1, 250), 0) << name;
      ASSERT_EQ(dataGo(d, 7), 0) << name;
      EXPECT_EQ(std::string(memoText(dataFieldByName(d, "NOTES"))), faults::memoFor(7)) << name;
      EXPECT_EQ(dataRecordCount(d), 250);
      ASSERT_EQ(appendRecords(d, 251, 400), 0) << name;
      EXPECT_EQ(dataWriteGathered(d), 0);
      ASSERT_EQ(dataClose(d), 0) << name;
      writes[buffered] = counting->calls(OsCall::write);
    }
    engineRelease(&c);
    EXPECT_EQ(keys(name), upTo(400)) << name;
    EXPECT_EQ(checkFile(name, 400), "") << name;
  }
  EXPECT_EQ(fileBytes("GATHER.DBF"), fileBytes("PLAIN.DBF"));
  EXPECT_EQ(fileBytes("GATHER.DBT"), fileBytes("PLAIN.DBT"));
  EXPECT_GT(writes[0], 1000);  // a memo, the memo header, the record, the header each
  EXPECT_LT(writes[1] * 5, writes[0]) << writes[1] << " buffered, " << writes[0] << " plain";
}

// A process killed before any one of the gathered writes (the write and everything
// after it never happen): whatever the file then holds is whole records 1..count in
// order, each with its memo.  The order memos, records, header is what makes this so.
TEST_F(RecordBufferTest, CrashAtAnyGatheredWriteLeavesWholeCountedRecords) {
  makeBase(0);
  int crashes = 0;
  for (int n = 1; n < 200; ++n) {
    emptyFile("RUN");
    CODE4 c;
    DataFile* d = openForAppend(&c, "RUN", true);
    ASSERT_NE(d, nullptr);
    bool crashed = false;
    {
      OsFaultScope scope;
      scope->crashAtWrite(n);
      appendRecords(d, 1, kMany);
      dataClose(d);
      crashed = scope->crashed();
    }
    engineRelease(&c);
    int32_t count = -1;
    ASSERT_EQ(checkFile("RUN", kMany, &count), "") << "crash at write " << n;
    ASSERT_EQ(keys("RUN"), upTo(count)) << "crash at write " << n;
    if (!crashed) {
      EXPECT_EQ(count, kMany);
      break;
    }
    ++crashes;
  }
  EXPECT_GT(crashes, 5);
}

// A gathered write that fails (once, or the disk stays full) is reported with the
// engine's code and the file's name by the append, by dataWriteGathered or by the
// close, also when the writer met it while the next block was gathering; the records
// before it that reached the file stay counted and whole.
TEST_F(RecordBufferTest, FailedGatheredWriteIsReportedAndKeepsTheFileSound) {
  makeBase(0);
  int runs = 0, keptBefore = 0;
  for (bool persistent : {false, true}) {
    for (int n = 1; n < 200; ++n) {
      std::string where = "write #" + std::to_string(n) + (persistent ? " on" : " once");
      emptyFile("RUN");
      CODE4 c;
      DataFile* d = openForAppend(&c, "RUN", true);
      ASSERT_NE(d, nullptr);
      c.errQuiet = 0;
      bool fired = false;
      int appended = 0, gathered = 0, closed = 0;
      int32_t code = 0;
      testing::internal::CaptureStdout();
      {
        OsFaultScope scope;
        scope->failNth(OsCall::write, n, ENOSPC, persistent);
        appended = appendRecords(d, 1, kMany);
        gathered = dataWriteGathered(d);
        code = c.errorCode;
        closed = dataClose(d);
        fired = scope->fired();
      }
      std::string printed = testing::internal::GetCapturedStdout();
      engineRelease(&c);
      ++runs;
      if (fired) {
        EXPECT_TRUE(appended < 0 || gathered < 0) << where;
        EXPECT_LT(closed, 0) << where;  // the close passes the failure on
        EXPECT_EQ(code, errorWrite) << where;
        EXPECT_TRUE(faults::reportedError(printed, code)) << where;
        EXPECT_NE(printed.find("RUN.DB"), std::string::npos) << where << printed;
      } else {
        EXPECT_EQ(appended, 0) << where;
        EXPECT_EQ(gathered, 0) << where;
        EXPECT_EQ(closed, 0) << where;
      }
      int32_t count = -1;
      ASSERT_EQ(checkFile("RUN", kMany, &count), "") << where;
      ASSERT_EQ(keys("RUN"), upTo(count)) << where;
      if (!fired) {
        EXPECT_EQ(count, kMany);
        break;
      }
      if (count > 0) ++keptBefore;
    }
  }
  EXPECT_GT(runs, 10);
  EXPECT_GT(keptBefore, 2);  // failures after whole blocks had gone to the file
}

// After a gathered write failed once, and several blocks were on their way behind
// it, a caller that clears the error appends on: the records from the first one the
// file lacks go to the file after the kept ones, every block of them written.
TEST_F(RecordBufferTest, AppendsAfterAFailedGatheredWriteReachTheFile) {
  makeBase(0);
  int resumed = 0;
  for (int n = 2; n < 200; n += 3) {
    const std::string where = "write #" + std::to_string(n);
    emptyFile("RUN");
    CODE4 c;
    DataFile* d = openForAppend(&c, "RUN", true);
    ASSERT_NE(d, nullptr);
    bool fired = false;
    {
      OsFaultScope scope;
      scope->failNth(OsCall::write, n, ENOSPC, false);
      if (appendRecords(d, 1, kMany) != 0 || dataWriteGathered(d) != 0) {
        c.errorCode = 0;
        const int32_t kept = dataRecordCount(d);
        ASSERT_GE(kept, 0) << where;
        EXPECT_EQ(appendRecords(d, kept + 1, kMany), 0) << where;
        EXPECT_EQ(dataWriteGathered(d), 0) << where;
        if (kept > 0) ++resumed;
      }
      fired = scope->fired();
    }
    EXPECT_EQ(dataClose(d), 0) << where;
    engineRelease(&c);
    ASSERT_EQ(checkFile("RUN", kMany), "") << where;
    EXPECT_EQ(keys("RUN"), upTo(kMany)) << where;
    if (!fired) break;  // past the run's last write
  }
  EXPECT_GT(resumed, 2);
}

// Read-ahead: a sequential pass reads records and memos in blocks, and a record or
// memo another writer appends after the blocks were read is still found.
TEST_F(RecordBufferTest, ReadAheadReadsBlocksAndFindsRecordsAppendedMeanwhile) {
  makeBase(300);
  emptyFile("RUN");  // RUN holds the 300 records of the base
  CODE4 r;
  engineInit(&r);
  r.errQuiet = 1;
  r.openReadOnly = 1;
  r.bufferingMode = 1;
  DataFile* reader = dataOpen(&r, "RUN");
  ASSERT_NE(reader, nullptr);
  ASSERT_NE(reader->buffer, nullptr);
  std::vector<int32_t> seen;
  std::vector<int32_t> memosRight;
  auto take = [&] {
    int32_t k = atoi(fieldPtr(dataFieldByName(reader, "NAME")) + 1);
    seen.push_back(k);
    const char* memo = memoText(dataFieldByName(reader, "NOTES"));
    if (memo && memo == faults::memoFor(k)) memosRight.push_back(k);
  };
  int reads = 0;
  {
    OsFaultScope counting;
    for (int rc = dataTop(reader); rc == 0 && !dataEof(reader) && seen.size() < 10;
         rc = dataSkip(reader, 1))
      take();
    reads = counting->calls(OsCall::read);
  }
  EXPECT_LE(reads, 4);  // two for the records, one or two for the memos

  CODE4 w;
  engineInit(&w);
  w.errQuiet = 1;
  DataFile* writer = dataOpen(&w, "RUN");  // shared, as another program would
  ASSERT_NE(writer, nullptr);
  ASSERT_EQ(appendRecords(writer, 301, 305), 0);
  ASSERT_EQ(dataClose(writer), 0);
  engineRelease(&w);

  // The reader stands on record 11, read from its block before the appends.
  int rc = 0;
  {
    OsFaultScope counting;
    for (; rc == 0 && !dataEof(reader); rc = dataSkip(reader, 1)) take();
    reads = counting->calls(OsCall::read);
  }
  EXPECT_EQ(rc, resultAtEnd);
  EXPECT_EQ(seen, upTo(305));
  EXPECT_EQ(memosRight, upTo(305));
  // 1.7 MB of memos in 64 KiB blocks; one read per 512-byte memo block would be
  // thousands.
  EXPECT_LT(reads, 60);
  dataClose(reader);
  engineRelease(&r);
}

// An OsFiles that records every hand-over of written bytes to the device.
class RecordingWriteback : public OsFaultFiles {
 public:
  struct Run {
    int fd;
    int64_t offset;
    int64_t length;
  };
  std::vector<Run> runs;
  int startWriteback(int fd, int64_t offset, int64_t length) override {
    runs.push_back({fd, offset, length});
    return OsFaultFiles::startWriteback(fd, offset, length);
  }
};

// A long gathered append hands what it writes to the device in runs of 8 MiB while
// it goes on, each run right after the one before, for the records and the memos
// alike, so that only the last few megabytes are left for the sync at the end.  The
// hand-over is a hint: when the system refuses it, the files come out the same.
TEST_F(RecordBufferTest, LongAppendsHandTheirWritesToTheDeviceAsTheyGo) {
  constexpr int64_t kRun = 8 << 20;
  constexpr int32_t kWithMemo = 800;    // 11.8 MB of memos
  constexpr int32_t kRecords = 300000;  // 9.3 MB of records
  makeBase(0);
  for (bool refused : {false, true}) {
    const std::string name = refused ? "REFUSED" : "HANDED";
    emptyFile(name);
    RecordingWriteback files;
    if (refused) files.failNth(OsCall::writeback, 1, EIO, /*persistent=*/true);
    OsFiles* previous = osInstall(&files);
    CODE4 c;
    DataFile* d = openForAppend(&c, name.c_str(), true);
    ASSERT_NE(d, nullptr) << c.errorCode;
    const int dbf = d->file.handle;
    const int dbt = d->memoFile.handle;
    int rc = appendRecords(d, 1, kWithMemo);
    for (int32_t k = kWithMemo + 1; rc == 0 && k <= kRecords; ++k) {
      rc = dataAppendStart(d, 0);
      if (rc != 0) break;
      dataBlank(d);
      const std::string key = "R" + std::to_string(k);
      fieldAssignText(dataFieldByName(d, "NAME"), key.data(), static_cast<int32_t>(key.size()));
      rc = dataAppend(d);
    }
    EXPECT_EQ(rc, 0) << name;
    EXPECT_EQ(dataClose(d), 0) << name;
    engineRelease(&c);
    osInstall(previous);
    for (int fd : {dbf, dbt}) {
      const std::string path = name + (fd == dbf ? ".DBF" : ".DBT");
      SCOPED_TRACE(path);
      const auto size = static_cast<int64_t>(std::filesystem::file_size(path));
      std::vector<RecordingWriteback::Run> mine;
      for (const auto& run : files.runs)
        if (run.fd == fd) mine.push_back(run);
      ASSERT_FALSE(mine.empty());
      for (size_t i = 0; i < mine.size(); ++i) {
        EXPECT_GE(mine[i].length, kRun) << i;
        EXPECT_LE(mine[i].offset + mine[i].length, size) << i;
        if (i == 0) continue;
        // The next block of records starts on the end mark after the last one.
        const int64_t end = mine[i - 1].offset + mine[i - 1].length;
        EXPECT_TRUE(mine[i].offset == end || mine[i].offset == end - 1) << i;
      }
      // Unhanded: at most a run short of 8 MiB and the last gathered block (1 MiB).
      EXPECT_GT(mine.back().offset + mine.back().length, size - kRun - (1 << 20));
    }
  }
  EXPECT_EQ(fileBytes("REFUSED.DBF"), fileBytes("HANDED.DBF"));
  EXPECT_EQ(fileBytes("REFUSED.DBT"), fileBytes("HANDED.DBT"));
  EXPECT_EQ(keys("HANDED").size(), static_cast<size_t>(kRecords));
}

}  // namespace
