// Tags over memo fields: a build and a check key every record by its own memo, and
// the current record's memo text, assigned and not yet written, is there afterwards.
#include <string>
#include <vector>

#include "xbase/data/memo.h"
#include "xbase/index/index_test_util.h"
#include "xbase/index/ntx.h"
#include "xbase/index/ntx_internal.h"

namespace {

class MemoKeyTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    data = create("notes", {{"NAME", 'C', 4, 0}, {"NOTES", 'M', 0, 0}});
    ASSERT_NE(data, nullptr);
    ASSERT_EQ(append(data, {"NAME=a", "NOTES=pear"}), 0);
    ASSERT_EQ(append(data, {"NAME=b"}), 0);
    ASSERT_EQ(append(data, {"NAME=c", "NOTES=apple"}), 0);
    ASSERT_EQ(append(data, {"NAME=d", "NOTES=fig"}), 0);
  }
  DataFile* data = nullptr;
};

TEST_F(MemoKeyTest, EveryRecordIsKeyedByItsOwnMemo) {
  ASSERT_EQ(dataGo(data, 1), 0);
  FieldInfo* notes = dataFieldByName(data, "NOTES");
  ASSERT_EQ(memoAssign(notes, "plum", 4), 0);

  TagCreateInfo info{"N", "SUBSTR(NOTES,1,5)", nullptr, 0, 0};
  IndexTag* tag = tagCreate(data, &info, nullptr);
  ASSERT_NE(tag, nullptr);
  EXPECT_EQ(tagRecnos(tag), (std::vector<int32_t>{2, 3, 4, 1}));  // -, apple, fig, pear
  char message[300];
  EXPECT_EQ(tagCheck(tag, message, sizeof message), 0) << message;
  EXPECT_EQ(std::string(memoText(notes), static_cast<size_t>(memoLength(notes))), "plum");

  // Written, the new memo moves the record in the tag.
  ASSERT_EQ(dataFlushRecord(data, 0), 0);
  EXPECT_EQ(tagRecnos(tag), (std::vector<int32_t>{2, 3, 4, 1}));  // -, apple, fig, plum
  EXPECT_EQ(tagCheck(tag, message, sizeof message), 0) << message;
}

}  // namespace
