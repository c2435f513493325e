// Group files: what they may list and how they are opened.  A name starting with a
// digit survives the round trip through a new group; a listed tag outside the
// group's directory is refused; one tag listed under several spellings is opened
// once (a second handle would wait on its own lock); a group file that may not be
// written is still read, so its tags stay current.
#include <fcntl.h>

#include <filesystem>
#include <string>

#include "xbase/file/os.h"
#include "xbase/index/index_test_util.h"
#include "xbase/index/ntx.h"

namespace {

class GroupTest : public EngineTest {
 protected:
  // T.DBF with three records and the tag BYID.NTX listed in T.CGP; left closed.
  void SetUp() override {
    EngineTest::SetUp();
    if (HasFatalFailure()) return;
    c4.autoOpen = 0;
    c4.lockTries = 2;  // a lock that is never granted fails the test instead of hanging it
    DataFile* d = create("T.DBF", {{"NAME", 'C', 10, 0}, {"ID", 'N', 5, 0}});
    ASSERT_NE(d, nullptr);
    for (int i = 1; i <= 3; ++i) ASSERT_EQ(append(d, {"NAME=n" + std::to_string(i), "ID=" + std::to_string(10 - i)}), 0);
    TagCreateInfo byId{"BYID.NTX", "ID", nullptr, 0, 0};
    ASSERT_NE(tagCreate(d, &byId, "T.CGP"), nullptr) << c4.errorCode;
    ASSERT_EQ(dataClose(d), 0);
  }

  // Appends one record and checks every open tag.  Empty when sound.
  std::string appendAndCheck(DataFile* d, const std::string& name) {
    if (append(d, {"NAME=" + name, "ID=42"}) != 0) return "append: " + std::to_string(c4.errorCode);
    for (void* i = listFirst(&d->indexes); i; i = listNext(&d->indexes, i))
      for (void* t = listFirst(&static_cast<IndexFile*>(i)->tags); t;
           t = listNext(&static_cast<IndexFile*>(i)->tags, t)) {
        char message[256] = {};
        if (tagCheck(static_cast<IndexTag*>(t), message, sizeof message) != 0) return message;
      }
    return "";
  }
};

TEST_F(GroupTest, DigitNamesRoundTripAndForeignDirectoriesAreRefused) {
  DataFile* d = dataOpen(&c4, "T");
  ASSERT_NE(d, nullptr);
  TagCreateInfo year{"2024.NTX", "NAME", nullptr, 0, 0};
  ASSERT_NE(tagCreate(d, &year, "G1.CGP"), nullptr) << c4.errorCode;
  EXPECT_EQ(slurp("G1.CGP"), "2024.NTX\r\n");
  ASSERT_EQ(dataClose(d), 0);

  d = dataOpen(&c4, "T");
  ASSERT_NE(d, nullptr);
  IndexFile* g1 = i4open(d, "G1");
  ASSERT_NE(g1, nullptr) << c4.errorCode;
  ASSERT_NE(tagFind(d, "2024"), nullptr);
  EXPECT_EQ(appendAndCheck(d, "after"), "");
  // A name starting with a letter goes in front, so that the first byte says "text"
  // to every reader.
  TagCreateInfo byName{"BYNAME.NTX", "NAME", nullptr, 0, 0};
  ASSERT_NE(tagCreate(d, &byName, "G1.CGP"), nullptr) << c4.errorCode;
  EXPECT_EQ(slurp("G1.CGP"), "BYNAME.NTX\r\n2024.NTX\r\n");
  ASSERT_EQ(dataClose(d), 0);

  // Another data file's tag, and the groups that name it from here.
  std::filesystem::create_directory("OTHER");
  std::filesystem::copy_file("BYID.NTX", "OTHER/FAR.NTX");
  std::string far = slurp("OTHER/FAR.NTX");
  for (const char* listed : {"../OTHER/FAR.NTX", "..\\OTHER\\FAR.NTX", "OTHER/FAR.NTX",
                             "/tmp/FAR.NTX", "BYID.NTX\r\n../OTHER/FAR.NTX"}) {
    spit("G2.CGP", std::string(listed) + "\r\n");
    d = dataOpen(&c4, "T");
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(i4open(d, "G2"), nullptr) << listed;
    EXPECT_EQ(c4.errorCode, errorInfo) << listed;
    EXPECT_EQ(std::string(errorDetail(&c4)).rfind("Tag file must be in the group file's directory", 0), 0u) << listed;
    EXPECT_EQ(d->indexes.count, 0) << listed;
    engineErrorSet(&c4, 0);
    ASSERT_EQ(dataClose(d), 0);
  }
  EXPECT_EQ(slurp("OTHER/FAR.NTX"), far);
}

TEST_F(GroupTest, OneTagListedUnderSeveralSpellingsIsOpenedOnce) {
  spit("G3.CGP", "BYID.NTX\r\n./byid.ntx\r\nbyid\r\n");
  DataFile* d = dataOpen(&c4, "T");
  ASSERT_NE(d, nullptr);
  IndexFile* g3 = i4open(d, "G3");
  ASSERT_NE(g3, nullptr) << c4.errorCode;
  EXPECT_EQ(g3->tags.count, 1);
  // The same file asked for alone, under yet another spelling, is the open tag.
  IndexFile* alone = i4open(d, "./BYID.NTX");
  ASSERT_NE(alone, nullptr);
  EXPECT_EQ(alone, g3);
  EXPECT_EQ(appendAndCheck(d, "once"), "");
  EXPECT_EQ(dataZap(d, 1, 2), 0) << c4.errorCode;
  EXPECT_EQ(appendAndCheck(d, "again"), "");
  ASSERT_EQ(dataClose(d), 0);
}

// The POSIX calls, except that a group file may not be opened for writing.
class ReadOnlyGroups : public OsFiles {
 public:
  int open(const char* path, int flags, int mode, int* fd) override {
    std::string p = path;
    if ((flags & O_ACCMODE) != O_RDONLY && p.size() > 4 && p.substr(p.size() - 4) == ".CGP")
      return EACCES;
    return osPosix().open(path, flags, mode, fd);
  }
  int close(int fd) override { return osPosix().close(fd); }
  int pread(int fd, void* b, size_t n, int64_t o, size_t* done) override { return osPosix().pread(fd, b, n, o, done); }
  int pwrite(int fd, const void* b, size_t n, int64_t o, size_t* done) override { return osPosix().pwrite(fd, b, n, o, done); }
  int size(int fd, int64_t* length) override { return osPosix().size(fd, length); }
  int identity(int fd, uint64_t* dev, uint64_t* ino) override { return osPosix().identity(fd, dev, ino); }
  int truncate(int fd, int64_t length) override { return osPosix().truncate(fd, length); }
  int sync(int fd) override { return osPosix().sync(fd); }
  int shareLock(int fd, bool exclusive) override { return osPosix().shareLock(fd, exclusive); }
  int rangeLock(int fd, bool lock, int64_t o, int64_t l) override { return osPosix().rangeLock(fd, lock, o, l); }
  int remove(const char* path) override { return osPosix().remove(path); }
  int exists(const char* path, bool* found) override { return osPosix().exists(path, found); }
  int listDir(const char* dir, std::vector<std::string>* names) override { return osPosix().listDir(dir, names); }
  int64_t clockMillis() override { return osPosix().clockMillis(); }
  void sleepMillis(int32_t ms) override { osPosix().sleepMillis(ms); }
};

TEST_F(GroupTest, GroupFileThatMayNotBeWrittenIsStillRead) {
  ReadOnlyGroups files;
  OsFiles* previous = osInstall(&files);
  c4.autoOpen = 1;
  DataFile* d = dataOpen(&c4, "T");
  ASSERT_NE(d, nullptr) << c4.errorCode;
  EXPECT_EQ(d->indexes.count, 1);
  EXPECT_EQ(appendAndCheck(d, "kept"), "");
  ASSERT_EQ(dataClose(d), 0);
  osInstall(previous);
}

}  // namespace
