// Memo fields: texts written by append at the next free block, rewritten in place
// when they fit, read back across block boundaries; copy out, reset; damaged memo
// files; and the memo files read by an independent reader (python3-dbfread).
#include "xbase/data/memo.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

#include "xbase/data/data_create.h"
#include "xbase/data/dbf_image_test_util.h"
#include "xbase/file/os_fault.h"

using namespace dbftest;

namespace {

class MemoTest : public ::testing::Test {
 protected:
  TempDir dir;
  Engine e;
  std::string path = dir.file("notes.dbf");
  std::string memoPath = dir.file("notes.dbt");

  // NAME C(5), NOTE M: a fresh file with an empty memo file.
  DataFile* create() {
    FieldDef defs[] = {{"NAME", 'C', 5, 0}, {"NOTE", 'M', 0, 0}};
    DataFile* d = dataCreate(&e.c, path.c_str(), defs, 2);
    EXPECT_NE(d, nullptr) << e.code();
    return d;
  }
  static FieldInfo* note(DataFile* d) { return dataField(d, 2); }

  bool append(DataFile* d, const std::string& name, const std::string& text) {
    if (dataAppendStart(d, 0) != 0) return false;
    dataBlank(d);
    fieldAssignText(dataField(d, 1), name.data(), static_cast<int32_t>(name.size()));
    if (memoAssign(note(d), text.data(), static_cast<int32_t>(text.size())) != 0) return false;
    return dataAppend(d) == 0;
  }
  std::string text(DataFile* d) {
    int32_t n = memoLength(note(d));
    const char* t = memoText(note(d));
    if (n < 0 || t == nullptr) return "<error>";
    return std::string(t, static_cast<size_t>(n));
  }
  // The memo text stored at block b of the memo file, up to its 0x1A.
  std::string stored(uint32_t block) {
    Bytes m = readFile(memoPath);
    size_t at = block * 512;
    std::string out;
    while (at < m.size() && m[at] != 0x1A) out += static_cast<char>(m[at++]);
    return at < m.size() ? out : "<no end>";
  }
  uint32_t nextFree() { return le32(readFile(memoPath), 0); }
  static std::string pattern(size_t n, char seed) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s += static_cast<char>('a' + (seed + i) % 26);
    return s;
  }
};

TEST_F(MemoTest, AppendWritesEachTextAtTheNextFreeBlock) {
  DataFile* d = create();
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(nextFree(), 1u);
  const std::string t511 = pattern(511, 1), t512 = pattern(512, 2), t1500 = pattern(1500, 3);
  const std::string t510 = pattern(510, 4);
  ASSERT_TRUE(append(d, "one", "hello"));     // block 1, one block
  ASSERT_TRUE(append(d, "two", t511));        // the second 0x1A spills: blocks 2 and 3
  ASSERT_TRUE(append(d, "three", t512));      // blocks 4 and 5
  ASSERT_TRUE(append(d, "four", ""));         // empty: nothing written, field blank
  ASSERT_TRUE(append(d, "five", t1500));      // blocks 6 to 8
  ASSERT_TRUE(append(d, "six", t510));        // 510 and the pair fill block 9 exactly
  EXPECT_EQ(nextFree(), 10u);
  EXPECT_EQ(readFile(memoPath).size(), 10u * 512);
  EXPECT_EQ(stored(1), "hello");
  EXPECT_EQ(stored(2), t511);
  EXPECT_EQ(stored(4), t512);
  EXPECT_EQ(stored(6), t1500);
  EXPECT_EQ(stored(9), t510);
  // Every memo ends with the pair 0x1A 0x1A, also where the pair crosses a block.
  Bytes m = readFile(memoPath);
  for (size_t end : {512u + 5, 2u * 512 + 511, 4u * 512 + 512, 6u * 512 + 1500, 9u * 512 + 510}) {
    EXPECT_EQ(m[end], 0x1A) << end;
    EXPECT_EQ(m[end + 1], 0x1A) << end;
  }

  // The fields hold the block numbers, right-aligned; blanks for no memo.
  const char* expected[] = {"         1", "         2", "         4", "          ", "         6",
                            "         9"};
  for (int n = 1; n <= 6; ++n) {
    ASSERT_EQ(dataGo(d, n), 0);
    EXPECT_EQ(fieldBytes(note(d)), expected[n - 1]) << n;
  }
  ASSERT_EQ(dataClose(d), 0);

  // Read back by a fresh opener, across the block boundaries.
  d = e.open(path);
  ASSERT_NE(d, nullptr);
  const std::string texts[] = {"hello", t511, t512, "", t1500, t510};
  for (int n = 1; n <= 6; ++n) {
    ASSERT_EQ(dataGo(d, n), 0);
    EXPECT_EQ(memoLength(note(d)), static_cast<int32_t>(texts[n - 1].size())) << n;
    EXPECT_EQ(text(d), texts[n - 1]) << n;
  }
  EXPECT_EQ(e.code(), 0);
}

TEST_F(MemoTest, RewriteGoesInPlaceWhenTheTextFitsTheOldRun) {
  DataFile* d = create();
  ASSERT_NE(d, nullptr);
  ASSERT_TRUE(append(d, "a", pattern(512, 0)));  // blocks 1-2: a run of 1024 bytes
  ASSERT_TRUE(append(d, "b", "tail"));           // block 3
  ASSERT_EQ(nextFree(), 4u);

  // 1022 bytes and the pair 0x1A 0x1A fit the two blocks: same place, next free
  // unchanged.
  ASSERT_EQ(dataGo(d, 1), 0);
  const std::string fits = pattern(1022, 5);
  ASSERT_EQ(memoAssign(note(d), fits.data(), 1022), 0);
  ASSERT_EQ(dataFlush(d), 0);
  EXPECT_EQ(nextFree(), 4u);
  EXPECT_EQ(stored(1), fits);
  EXPECT_EQ(stored(3), "tail");
  EXPECT_EQ(fieldBytes(note(d)), "         1");

  // 1023 bytes do not (the second 0x1A would fall outside): they go to block 4, as
  // three blocks.
  ASSERT_EQ(dataGo(d, 1), 0);
  const std::string grown = pattern(1023, 7);
  ASSERT_EQ(memoAssign(note(d), grown.data(), 1023), 0);
  ASSERT_EQ(dataGo(d, 2), 0);  // the move writes the record back
  EXPECT_EQ(nextFree(), 7u);
  EXPECT_EQ(stored(4), grown);
  EXPECT_EQ(stored(3), "tail");
  ASSERT_EQ(dataGo(d, 1), 0);
  EXPECT_EQ(fieldBytes(note(d)), "         4");
  EXPECT_EQ(text(d), grown);

  // A shorter text goes in place again; an empty one blanks the field.
  ASSERT_EQ(memoAssign(note(d), "short", 5), 0);
  ASSERT_EQ(dataGo(d, 1), 0);
  EXPECT_EQ(text(d), "short");
  EXPECT_EQ(nextFree(), 7u);
  ASSERT_EQ(memoAssign(note(d), "", 0), 0);
  ASSERT_EQ(dataGo(d, 1), 0);
  EXPECT_EQ(fieldBytes(note(d)), "          ");
  EXPECT_EQ(text(d), "");
  EXPECT_EQ(e.code(), 0);
}

// Runs `between` once, inside the first write to descriptor `fd` after it is set: another
// writer's whole update slips in between this writer's placing of a memo and its write.
class InterleavingFiles : public OsFaultFiles {
 public:
  int pwrite(int f, const void* data, size_t n, int64_t offset, size_t* done) override {
    if (f == fd && between) {
      std::function<void()> run = std::move(between);
      between = nullptr;
      run();
    }
    return OsFaultFiles::pwrite(f, data, n, offset, done);
  }
  int fd = -1;
  std::function<void()> between;
};

TEST_F(MemoTest, TwoWritersSharingTheFileNeverPlaceMemosAtTheSameBlock) {
  DataFile* d = create();
  ASSERT_NE(d, nullptr);
  ASSERT_TRUE(append(d, "one", "a"));
  ASSERT_TRUE(append(d, "two", "b"));
  ASSERT_EQ(dataClose(d), 0);

  InterleavingFiles files;
  OsFiles* previous = osInstall(&files);
  Engine other;  // a second writer, trying its locks once
  other.c.lockTries = 1;
  d = e.open(path);
  DataFile* o = other.open(path);
  ASSERT_NE(d, nullptr);
  ASSERT_NE(o, nullptr);
  // Each grows its own record's memo past its block, so each needs a new run at the end.
  const std::string mine = pattern(700, 1), theirs = pattern(900, 2);
  ASSERT_EQ(dataGo(o, 2), 0);
  ASSERT_EQ(memoAssign(note(o), theirs.data(), 900), 0);
  ASSERT_EQ(dataGo(d, 1), 0);
  ASSERT_EQ(memoAssign(note(d), mine.data(), 700), 0);
  int theirFirst = -999;
  files.fd = d->memoFile.handle;
  files.between = [&] { theirFirst = dataFlushRecord(o, 1); };
  EXPECT_EQ(dataFlushRecord(d, 1), 0);
  EXPECT_EQ(theirFirst, 50);  // the end of the memo file was being written past
  EXPECT_EQ(dataFlushRecord(o, 1), 0);
  EXPECT_EQ(dataClose(o), 0);
  EXPECT_EQ(dataClose(d), 0);
  osInstall(previous);

  d = e.open(path);
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(dataGo(d, 1), 0);
  EXPECT_EQ(text(d), mine);
  ASSERT_EQ(dataGo(d, 2), 0);
  EXPECT_EQ(text(d), theirs);
  EXPECT_EQ(nextFree(), 7u);  // blocks 1 and 2, then two runs of two blocks
}

TEST_F(MemoTest, CopyOutResetAndNonMemoFields) {
  DataFile* d = create();
  ASSERT_NE(d, nullptr);
  // No current record: the memo is empty.
  EXPECT_EQ(text(d), "");
  ASSERT_TRUE(append(d, "x", "stored text"));
  ASSERT_EQ(dataGo(d, 1), 0);

  char out[5];
  EXPECT_EQ(memoCopyOut(note(d), out, sizeof out), 4);
  EXPECT_STREQ(out, "stor");
  EXPECT_EQ(memoCopyOut(note(d), out, 0), 0);

  // An assigned text is forgotten by a reset; the stored one comes back.
  ASSERT_EQ(memoAssign(note(d), "changed", 7), 0);
  EXPECT_EQ(text(d), "changed");
  memoReset(note(d));
  EXPECT_EQ(text(d), "stored text");

  // A non-memo field: its length, its bytes, and assignment as fieldAssignText.
  FieldInfo* name = dataField(d, 1);
  EXPECT_EQ(memoLength(name), 5);
  EXPECT_STREQ(memoText(name), "x    ");
  ASSERT_EQ(memoAssign(name, "ABCDEFG", 7), 0);
  EXPECT_EQ(fieldBytes(name), "ABCDE");
  EXPECT_EQ(e.code(), 0);
}

TEST_F(MemoTest, WithLockOnReadTheMemoWaitsForTheRecordLock) {
  DataFile* d = create();
  ASSERT_NE(d, nullptr);
  ASSERT_TRUE(append(d, "x", "guarded"));
  ASSERT_EQ(dataClose(d), 0);

  Engine other;  // another opener (its own open file description) holds record 1
  DataFile* holder = other.open(path);
  ASSERT_NE(holder, nullptr);
  ASSERT_EQ(dataLockRecord(holder, 1), 0);

  d = e.open(path);
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(dataGo(d, 1), 0);
  e.c.lockOnRead = 1;
  e.c.lockTries = 1;
  EXPECT_EQ(memoText(note(d)), nullptr);
  EXPECT_EQ(e.code(), 0);  // a lock held elsewhere is a soft result
  ASSERT_EQ(dataUnlock(holder), 0);
  EXPECT_EQ(text(d), "guarded");
  EXPECT_EQ(dataRecordLocked(d, 1), 1);
  EXPECT_EQ(d->oldBufferValid, 1);
}

TEST_F(MemoTest, AppendStartCanCopyTheCurrentMemos) {
  DataFile* d = create();
  ASSERT_NE(d, nullptr);
  ASSERT_TRUE(append(d, "src", "copied along"));
  ASSERT_EQ(dataGo(d, 1), 0);
  ASSERT_EQ(dataAppendStart(d, 1), 0);
  ASSERT_EQ(dataAppend(d), 0);
  EXPECT_EQ(dataRecordCount(d), 2);
  ASSERT_EQ(dataGo(d, 2), 0);
  EXPECT_EQ(fieldBytes(note(d)), "         2");  // its own copy, not a shared block
  EXPECT_EQ(text(d), "copied along");
  EXPECT_EQ(stored(2), "copied along");
}

TEST_F(MemoTest, DamagedMemoFilesAreErrorsNeverReadsPastTheEnd) {
  DataFile* d = create();
  ASSERT_NE(d, nullptr);
  ASSERT_TRUE(append(d, "ok", "fine"));
  ASSERT_TRUE(append(d, "far", "x"));
  ASSERT_TRUE(append(d, "open", "y"));
  ASSERT_EQ(dataClose(d), 0);

  // Record 2 points past the end of the memo file; record 3's memo loses its 0x1A.
  Bytes b = readFile(path);
  int h = le16(b, 8), r = le16(b, 10);
  std::memcpy(&b[h + r + 6], "      9999", 10);
  writeFile(path, b);
  Bytes m = readFile(memoPath);
  m.resize(3 * 512 + 1);  // block 3 keeps only its "y"
  writeFile(memoPath, m);

  d = e.open(path);
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(dataGo(d, 1), 0);
  EXPECT_EQ(text(d), "fine");
  ASSERT_EQ(dataGo(d, 2), 0);
  EXPECT_EQ(memoText(note(d)), nullptr);
  EXPECT_EQ(e.code(), errorInfo);
  e.clear();
  ASSERT_EQ(dataGo(d, 3), 0);
  EXPECT_EQ(memoLength(note(d)), -1);
  EXPECT_EQ(e.code(), errorInfo);
  e.clear();

  // Writing a new text over the damaged memo does not reuse it: it goes to the end.
  ASSERT_EQ(dataGo(d, 3), 0);
  ASSERT_EQ(memoAssign(note(d), "new", 3), 0);
  ASSERT_EQ(dataFlush(d), 0);
  EXPECT_EQ(stored(4), "new");
  EXPECT_EQ(fieldBytes(note(d)), "         4");
  EXPECT_EQ(e.code(), 0);
}

TEST_F(MemoTest, ADamagedNextFreeNumberNeitherOverwritesNorWritesPastTheEnd) {
  DataFile* d = create();
  ASSERT_NE(d, nullptr);
  ASSERT_TRUE(append(d, "a", "first"));
  ASSERT_TRUE(append(d, "b", pattern(600, 1)));  // blocks 2 and 3
  ASSERT_EQ(dataClose(d), 0);

  // The header points back at block 1, then far beyond the end (about 512 GB); each
  // new memo goes to the first block past the end of the file.
  const uint32_t damaged[] = {1, 1000000000u, 0xFFFFFFFFu};
  for (int i = 0; i < 3; ++i) {
    Bytes m = readFile(memoPath);
    m[0] = static_cast<unsigned char>(damaged[i]);
    m[1] = static_cast<unsigned char>(damaged[i] >> 8);
    m[2] = static_cast<unsigned char>(damaged[i] >> 16);
    m[3] = static_cast<unsigned char>(damaged[i] >> 24);
    writeFile(memoPath, m);
    d = e.open(path);
    ASSERT_NE(d, nullptr);
    const std::string name = std::string(1, static_cast<char>('c' + i));
    ASSERT_TRUE(append(d, name, "new " + name)) << damaged[i] << " " << e.code();
    ASSERT_EQ(dataClose(d), 0);
    EXPECT_EQ(readFile(memoPath).size(), (5u + i) * 512) << damaged[i];
    EXPECT_EQ(stored(4 + i), "new " + name);
    EXPECT_EQ(nextFree(), 5u + i);
  }
  EXPECT_EQ(stored(1), "first");
  EXPECT_EQ(stored(2), pattern(600, 1));
}

TEST_F(MemoTest, ZapOfEveryRecordEmptiesTheMemoFileSoRefillsDoNotGrowIt) {
  DataFile* d = create();
  ASSERT_NE(d, nullptr);
  ASSERT_TRUE(append(d, "a", "first"));
  ASSERT_TRUE(append(d, "b", pattern(1200, 2)));
  ASSERT_TRUE(append(d, "c", "third"));
  ASSERT_EQ(dataClose(d), 0);
  Bytes m = readFile(memoPath);
  m[100] = 0x77;  // a byte of the header block that nothing interprets
  writeFile(memoPath, m);
  const size_t full = m.size();

  // Removing some records keeps every memo: the others still point into the file.
  d = e.open(path);
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(dataZap(d, 2, 2), 0);
  EXPECT_EQ(readFile(memoPath).size(), full);
  ASSERT_EQ(dataGo(d, 2), 0);
  EXPECT_EQ(text(d), "third");

  // Removing all of them leaves the header block alone, next free 1; refilling the
  // file three times ends at the same size each time.
  for (int round = 0; round < 3; ++round) {
    ASSERT_EQ(dataZap(d, 1, kZapThroughLast), 0) << round;
    Bytes emptied = readFile(memoPath);
    ASSERT_EQ(emptied.size(), 512u) << round;
    EXPECT_EQ(nextFree(), 1u);
    EXPECT_EQ(emptied[100], 0x77);
    ASSERT_TRUE(append(d, "a", "first"));
    ASSERT_TRUE(append(d, "b", pattern(1200, 2)));
    EXPECT_EQ(readFile(memoPath).size(), 5u * 512) << round;
    ASSERT_EQ(dataGo(d, 2), 0);
    EXPECT_EQ(text(d), pattern(1200, 2));
  }
  // An empty file zapped again empties a memo file grown by other means too.
  ASSERT_EQ(dataZap(d, 1, kZapThroughLast), 0);
  ASSERT_EQ(dataClose(d), 0);
  m = readFile(memoPath);
  m.resize(8 * 512, 'x');
  writeFile(memoPath, m);
  d = e.open(path);
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(dataZap(d, 1, kZapThroughLast), 0);
  EXPECT_EQ(readFile(memoPath).size(), 512u);
  EXPECT_EQ(e.code(), 0);
}

TEST_F(MemoTest, MemoFieldWithoutDigitsIsAnErrorNotAnEmptyMemo) {
  DataFile* d = create();
  ASSERT_NE(d, nullptr);
  ASSERT_TRUE(append(d, "a", "first"));
  ASSERT_TRUE(append(d, "b", "second"));
  ASSERT_TRUE(append(d, "c", ""));
  ASSERT_EQ(dataClose(d), 0);

  // Record 1 holds a binary block number (as other programs write it), record 2 a
  // number with text after it; record 3 stays a blank field, which is no memo.
  Bytes b = readFile(path);
  int h = le16(b, 8), r = le16(b, 10);
  std::memcpy(&b[h + 6], "\x01\0\0\0      ", 10);
  std::memcpy(&b[h + r + 6], "     2abc ", 10);
  writeFile(path, b);

  d = e.open(path);
  ASSERT_NE(d, nullptr);
  for (int32_t n : {1, 2}) {
    ASSERT_EQ(dataGo(d, n), 0);
    EXPECT_EQ(memoLength(note(d)), -1) << n;
    EXPECT_EQ(e.code(), errorInfo) << n;
    e.clear();
  }
  ASSERT_EQ(dataGo(d, 3), 0);
  EXPECT_EQ(text(d), "");
  EXPECT_EQ(e.code(), 0);
  ASSERT_EQ(dataClose(d), 0);
}

// A memo field narrower than the usual ten digits (here two, as a damaged or odd
// header may have it) takes block numbers up to what it can hold; the append whose
// memo would need a wider number is refused, and no record names a memo it cannot
// find.
TEST_F(MemoTest, ABlockNumberTooWideForItsFieldRefusesTheAppend) {
  for (const bool buffered : {false, true}) {
    SCOPED_TRACE(buffered ? "write-behind" : "one write at a time");
    std::remove(path.c_str());
    std::remove(memoPath.c_str());
    DataFile* d = create();
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(dataClose(d), 0);
    Bytes b = readFile(path);
    b[32 + 32 + 16] = 2;  // NOTE: two bytes wide
    b[10] = 1 + 5 + 2;    // the record length
    writeFile(path, b);

    e.c.openExclusive = 1;
    e.c.bufferingMode = buffered ? 1 : -1;
    d = e.open(path);
    ASSERT_NE(d, nullptr) << e.code();
    for (int i = 1; i <= 99; ++i) ASSERT_TRUE(append(d, "n", "memo " + std::to_string(i))) << i;
    EXPECT_FALSE(append(d, "n", "memo 100"));
    EXPECT_EQ(e.code(), errorInfo);
    e.clear();
    ASSERT_EQ(dataClose(d), 0);

    e.c.openExclusive = 0;
    e.c.bufferingMode = -1;
    d = e.open(path);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(dataRecordCount(d), 99);
    for (int n : {1, 9, 10, 99}) {
      ASSERT_EQ(dataGo(d, n), 0);
      EXPECT_EQ(text(d), "memo " + std::to_string(n));
    }
    ASSERT_EQ(dataClose(d), 0);
  }
}

TEST_F(MemoTest, ReadOnlyFilesRefuseMemoWritesAndStayUnchanged) {
  DataFile* d = create();
  ASSERT_NE(d, nullptr);
  ASSERT_TRUE(append(d, "a", "keep me"));
  ASSERT_EQ(dataClose(d), 0);
  Bytes before = readFile(memoPath), dataBefore = readFile(path);

  e.c.openReadOnly = 1;
  d = e.open(path);
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(dataGo(d, 1), 0);
  EXPECT_EQ(text(d), "keep me");
  ASSERT_EQ(memoAssign(note(d), "a much longer replacement text", 30), 0);
  EXPECT_EQ(dataFlush(d), errorParameter);
  e.clear();
  dataClose(d);
  EXPECT_EQ(readFile(memoPath), before);
  EXPECT_EQ(readFile(path), dataBefore);
}

TEST_F(MemoTest, FaultLoopOverMemoAppendsLosesNoEarlierMemo) {
  DataFile* d = create();
  ASSERT_NE(d, nullptr);
  ASSERT_TRUE(append(d, "base", "earlier memo"));
  ASSERT_EQ(dataClose(d), 0);
  const std::string big = pattern(2000, 4);
  bool fired = true;
  for (int n = 1; fired; ++n) {
    {
      Engine local;
      DataFile* w = local.open(path);
      ASSERT_NE(w, nullptr);
      OsFaultScope faults;
      faults->failNth(OsCall::write, n, ENOSPC);
      bool ok = dataAppendStart(w, 0) == 0;
      if (ok) {
        dataBlank(w);
        ok = memoAssign(note(w), big.data(), 2000) == 0 && dataAppend(w) == 0;
      }
      fired = faults->fired();
      EXPECT_EQ(ok, !fired) << "write " << n;
    }
    Engine check;
    DataFile* r = check.open(path);
    ASSERT_NE(r, nullptr) << "write " << n;
    ASSERT_EQ(dataGo(r, 1), 0);
    FieldInfo* f = note(r);
    EXPECT_EQ(std::string(memoText(f), memoLength(f)), "earlier memo") << "write " << n;
    int32_t count = dataRecordCount(r);
    if (count == 2) {
      ASSERT_EQ(dataGo(r, 2), 0);
      EXPECT_EQ(std::string(memoText(f), memoLength(f)), big) << "write " << n;
    }
    // Put the file back for the next round.
    dataClose(r);
    if (count == 2) {
      DataFile* z = check.open(path);
      ASSERT_EQ(dataZap(z, 2, 2), 0);
      dataClose(z);
    }
  }
}

TEST_F(MemoTest, AnIndependentReaderSeesTheEngineMemos) {
  DataFile* d = create();
  ASSERT_NE(d, nullptr);
  ASSERT_TRUE(append(d, "one", "first"));
  ASSERT_TRUE(append(d, "two", pattern(1300, 9)));
  ASSERT_TRUE(append(d, "three", ""));
  ASSERT_TRUE(append(d, "four", pattern(511, 2)));  // text and one 0x1A: a whole block
  ASSERT_TRUE(append(d, "five", "after"));
  ASSERT_EQ(dataGo(d, 1), 0);
  ASSERT_EQ(memoAssign(note(d), "rewritten", 9), 0);
  ASSERT_EQ(dataClose(d), 0);

  std::string command =
      "/usr/bin/python3 -c \"import dbfread,sys\n"
      "for r in dbfread.DBF(sys.argv[1], load=True): print(r['NAME'], len(r['NOTE'] or ''), "
      "(r['NOTE'] or '')[:9])\" " + path;
  FILE* p = popen(command.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string out;
  char buffer[256];
  while (size_t n = std::fread(buffer, 1, sizeof buffer, p)) out.append(buffer, n);
  EXPECT_EQ(pclose(p), 0);
  const std::string expected = "one 9 rewritten\ntwo 1300 " + pattern(9, 9) +
                               "\nthree 0 \nfour 511 " + pattern(9, 2) + "\nfive 5 after\n";
  EXPECT_EQ(out, expected);

  // python3-dbf ends a memo at the pair 0x1A 0x1A.
  command =
      "/usr/bin/python3 -c \"import dbf,sys\n"
      "t = dbf.Table(sys.argv[1]); t.open()\n"
      "for r in t: print(r.name.strip(), len(r.note), r.note[:9])\n"
      "t.close()\" " + path;
  p = popen(command.c_str(), "r");
  ASSERT_NE(p, nullptr);
  out.clear();
  while (size_t n = std::fread(buffer, 1, sizeof buffer, p)) out.append(buffer, n);
  EXPECT_EQ(pclose(p), 0);
  EXPECT_EQ(out, expected);
}

}  // namespace
