// Direct-path loads: the pages an INSERT with the APPEND hint adds to a plain
// table leave the system's cache once committed, past the bytes a connection
// keeps; without the hint, or into a table with an index, every page stays.
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ocilite/handles.h"
#include "ocilite/sqltext.h"
#include "ocilite/testing/oci_client.h"

namespace ocilite_test {
namespace {

constexpr ub4 kRows = 1000;
constexpr int kBlocks = 10;
constexpr int64_t kKept = 256 << 10;

struct FileState {
  int64_t size = 0;
  size_t pages = 0;   // pages at or past `from`
  size_t cached = 0;  // of those, the ones in the system's cache
};

// Nearly every one of `pages` pages is cached.  The system may take the odd page
// from the cache at any time (a machine that pages out memory it finds idle), so a
// kept load is told from a released one by the share of its pages still there.
bool mostlyCached(size_t cached, size_t pages) { return cached * 10 >= pages * 9; }

FileState fileState(const std::string &path, int64_t from) {
  FileState out;
  int fd = open(path.c_str(), O_RDONLY);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) {
    ADD_FAILURE() << path;
    if (fd >= 0) close(fd);
    return out;
  }
  out.size = st.st_size;
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  const size_t length = static_cast<size_t>(st.st_size);
  void *map = mmap(nullptr, length, PROT_READ, MAP_SHARED, fd, 0);
  std::vector<unsigned char> resident((length + page - 1) / page);
  if (map == MAP_FAILED || mincore(map, length, resident.data()) != 0) {
    ADD_FAILURE() << "mincore";
  } else {
    for (size_t k = static_cast<size_t>(from) / page; k < resident.size(); ++k) {
      ++out.pages;
      out.cached += resident[k] & 1;
    }
  }
  if (map != MAP_FAILED) munmap(map, length);
  close(fd);
  return out;
}

class DirectPathTest : public OciTest {
 protected:
  void SetUp() override {
    struct statfs fs;
    if (statfs(db.dir().c_str(), &fs) == 0 && fs.f_type == TMPFS_MAGIC)
      GTEST_SKIP() << "a file in memory has no cache to leave";
    OciTest::SetUp();
    saved_ = ocilite::directPathCachedBytes;
    ocilite::directPathCachedBytes = kKept;
    c.ok("CREATE TABLE t (id NUMBER(8), txt VARCHAR2(200))");
    for (ub4 k = 0; k < kRows; ++k) std::snprintf(text_[k], sizeof text_[k], "%0150u", k);
  }
  void TearDown() override { ocilite::directPathCachedBytes = saved_; }

  // Inserts kBlocks blocks of kRows rows by `sql`, each block committed, and
  // returns the file's size before them.
  int64_t load(const char *sql) {
    const int64_t before = fileState(db.path(), 0).size;
    OCIStmt *ins = c.prepare(sql);
    OCIBind *b = nullptr;
    EXPECT_EQ(OCIBindByName(ins, &b, c.err, ot(":id"), -1, ids_, sizeof ids_[0], SQLT_STR, nullptr, nullptr, nullptr, 0,
                            nullptr, OCI_DEFAULT),
              OCI_SUCCESS);
    EXPECT_EQ(OCIBindByName(ins, &b, c.err, ot(":txt"), -1, text_, sizeof text_[0], SQLT_STR, nullptr, nullptr, nullptr,
                            0, nullptr, OCI_DEFAULT),
              OCI_SUCCESS);
    for (int block = 0; block < kBlocks; ++block) {
      for (ub4 k = 0; k < kRows; ++k) std::snprintf(ids_[k], sizeof ids_[k], "%u", block * kRows + k + 1);
      EXPECT_EQ(c.execute(ins, kRows), OCI_SUCCESS) << c.errors();
      c.ok("COMMIT");
    }
    return before;
  }

  // The rows are all there, whichever way they went in.
  void expectRows(const std::string &table = "t") {
    EXPECT_EQ(
        c.value(("SELECT COUNT(*) || ' ' || SUM(id) || ' ' || MIN(length(txt)) FROM " + table).c_str()),
        std::to_string(kBlocks * kRows) + " " + std::to_string(kBlocks * kRows * (kBlocks * kRows + 1) / 2) + " 150");
  }

  char ids_[kRows][12];
  char text_[kRows][160];
  int64_t saved_ = 0;
};

TEST_F(DirectPathTest, PagesAddedPastTheKeptBytesLeaveTheCache) {
  const int64_t before = load("INSERT /*+ APPEND */ INTO t (id, txt) VALUES (:id, :txt)");
  const FileState past = fileState(db.path(), before + kKept);
  ASSERT_GT(past.pages, 200u);  // the load went well past the bytes kept
  // Each commit leaves at most the last page it wrote to be written again
  // (and cached again) by the next one.
  EXPECT_LE(past.cached, static_cast<size_t>(kBlocks));
  const FileState kept = fileState(db.path(), before);
  EXPECT_TRUE(mostlyCached(kept.cached - past.cached, kept.pages - past.pages))
      << kept.cached - past.cached << " of " << kept.pages - past.pages;
  expectRows();
}

TEST_F(DirectPathTest, OtherWritesKeepTheirPages) {
  // Without the hint, and with it into a table that has an index (whose pages
  // the load reads again wherever they lie).
  int64_t before = load("INSERT INTO t (id, txt) VALUES (:id, :txt)");
  FileState state = fileState(db.path(), before);
  ASSERT_GT(state.pages, 300u);
  EXPECT_TRUE(mostlyCached(state.cached, state.pages)) << state.cached << " of " << state.pages;
  expectRows();

  c.ok("CREATE TABLE u (id NUMBER(8), txt VARCHAR2(200))");
  db.admin("CREATE INDEX u_id ON u (id)");
  before = load("INSERT /*+ APPEND */ INTO u (id, txt) VALUES (:id, :txt)");
  state = fileState(db.path(), before);
  ASSERT_GT(state.pages, 300u);
  EXPECT_TRUE(mostlyCached(state.cached, state.pages)) << state.cached << " of " << state.pages;
  expectRows("u");
}

TEST(DirectPathHintTest, OnlyAnAppendHintRightAfterInsertMakesALoadDirect) {
  using ocilite::parseSql;
  EXPECT_TRUE(parseSql("INSERT /*+ APPEND */ INTO t VALUES (1)").directPath);
  EXPECT_TRUE(parseSql("insert /*+ parallel(t 4) append_values */ into t values (:a)").directPath);
  EXPECT_FALSE(parseSql("INSERT /* APPEND */ INTO t VALUES (1)").directPath);  // a comment, no hint
  EXPECT_FALSE(parseSql("INSERT /*+ NOAPPEND */ INTO t VALUES (1)").directPath);
  EXPECT_FALSE(parseSql("INSERT INTO t /*+ APPEND */ VALUES (1)").directPath);
}

}  // namespace
}  // namespace ocilite_test
