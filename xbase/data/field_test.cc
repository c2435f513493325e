// Fields: lookup by name, attributes, raw access and the typed accessors.
#include "xbase/data/field.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "xbase/data/dbf_image_test_util.h"

using namespace dbftest;

namespace {

class FieldTest : public ::testing::Test {
 protected:
  TempDir dir;
  Engine e;
  std::string path = dir.file("f.dbf");
  DataFile* d = nullptr;

  void SetUp() override {
    Image img;
    img.fields = {{"QTY", 'N', 8, 2}, {"RATE", 'F', 10, 3}, {"BORN", 'D', 8},
                  {"OK", 'L', 1, 7},  {"NAME", 'C', 5},     {"LONG", 'C', 300},
                  {"lower", 'C', 2},  {"CNT", 'N', 6}};
    std::string rec = " " + std::string("   12.50") + "     3.125" + "19990429" + "T" + "Ann  " +
                      std::string(299, 'L') + "Z" + "lo" + "    42";
    img.records = {rec};
    writeFile(path, img.bytes());
    d = e.open(path);
    ASSERT_NE(d, nullptr) << e.code();
    ASSERT_EQ(dataGo(d, 1), 0);
  }
  FieldInfo* f(const char* name) { return dataFieldByName(d, name); }
};

TEST_F(FieldTest, LookupUpperCasesTheNameAndTrimsOnlyTrailingBlanks) {
  EXPECT_EQ(dataFieldCount(d), 8);
  EXPECT_EQ(dataFieldNumber(d, "qty  "), 1);
  EXPECT_EQ(dataFieldNumber(d, "Born"), 3);
  EXPECT_EQ(e.code(), 0);
  EXPECT_EQ(dataFieldNumber(d, "  qty"), -1);
  EXPECT_EQ(e.code(), errorFieldName);
  e.clear();
  // A stored name with lower-case letters is found ignoring case.
  EXPECT_EQ(dataFieldNumber(d, "lower"), 7);
  EXPECT_EQ(dataFieldNumber(d, "LOWER"), 7);
  EXPECT_EQ(e.code(), 0);
  e.c.errFieldLookup = 0;
  EXPECT_EQ(dataFieldByName(d, "NOPE"), nullptr);
  EXPECT_EQ(e.code(), 0);
  EXPECT_EQ(dataFieldNumber(nullptr, "QTY"), 0);
  EXPECT_EQ(dataField(d, 0), nullptr);
  EXPECT_EQ(dataField(d, 9), nullptr);
  EXPECT_STREQ(fieldName(dataField(d, 7)), "lower");
}

// Exact stored name first; else the one name equal ignoring case; two such names
// find nothing, and dataFieldClash names them.
TEST(FieldLookup, ExactNameFirstThenTheOneNameEqualIgnoringCase) {
  TempDir dir;
  Engine e;
  Image img;
  img.fields = {{"name", 'C', 1}, {"Name", 'C', 1}, {"CODE", 'C', 1}, {"code", 'C', 1},
                {"aTlas_x", 'C', 1}};
  img.records = {" abcde"};
  std::string path = dir.file("case.dbf");
  writeFile(path, img.bytes());
  DataFile* d = e.open(path);
  ASSERT_NE(d, nullptr) << e.code();
  e.c.errFieldLookup = 0;
  EXPECT_EQ(dataFieldNumber(d, "code"), 3);      // upper-cased, then equal as stored
  EXPECT_EQ(dataFieldNumber(d, "atlas_x"), 5);   // the one equal ignoring case
  int32_t first = -1, second = -1;
  dataFieldClash(d, "ATLAS_X", &first, &second);
  EXPECT_EQ(first, 0);
  EXPECT_EQ(second, 0);
  EXPECT_EQ(dataFieldNumber(d, "NAME"), -1);     // 'name' and 'Name': neither
  dataFieldClash(d, "NAME", &first, &second);
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 2);
  dataFieldClash(d, "NOPE", &first, &second);
  EXPECT_EQ(first, 0);
  e.c.errFieldLookup = 1;
  EXPECT_EQ(dataFieldNumber(d, "name"), -1);
  EXPECT_EQ(e.code(), errorFieldName);
  EXPECT_STREQ(errorDetail(&e.c), "NAME\n'name' and 'Name' both match it");
}

TEST_F(FieldTest, AttributesAndTypes) {
  FieldInfo* rate = f("RATE");
  EXPECT_EQ(fieldType(rate), 'N');  // F reported as N
  EXPECT_EQ(rate->type, 'F');       // while the table keeps F
  EXPECT_EQ(fieldDecimals(rate), 3);
  EXPECT_EQ(fieldDecimals(f("OK")), 0);  // an L field's byte 17 is ignored
  EXPECT_EQ(fieldLength(f("LONG")), 300);
  EXPECT_EQ(f("LONG")->offset, 1 + 8 + 10 + 8 + 1 + 5);
  EXPECT_EQ(fieldOwner(rate), d);
}

TEST_F(FieldTest, RawAccessAndTheSharedTextBuffers) {
  EXPECT_STREQ(fieldText(f("LONG")), std::string(256, 'L').c_str());
  const char* first = fieldText(f("NAME"));
  const char* second = fieldText(f("QTY"));
  EXPECT_EQ(first, second);  // one buffer for every field
  EXPECT_STREQ(second, "   12.50");
  const char* whole = fieldString(f("LONG"));
  EXPECT_EQ(std::string(whole), std::string(299, 'L') + "Z");

  char out[4];
  EXPECT_EQ(fieldCopyOut(f("NAME"), out, sizeof out), 3);
  EXPECT_STREQ(out, "Ann");
  EXPECT_EQ(fieldCopyOut(f("NAME"), out, 0), 0);

  dataChanged(d, 0);
  EXPECT_EQ(fieldPtr(f("NAME"))[0], 'A');
  EXPECT_EQ(dataChanged(d, -1), 0);
  fieldPtrForWrite(f("NAME"))[0] = 'B';
  EXPECT_EQ(dataChanged(d, -1), 1);
  fieldBlank(f("NAME"));
  EXPECT_EQ(fieldBytes(f("NAME")), "     ");
}

TEST_F(FieldTest, AssignTextCutsOrPads) {
  fieldAssignText(f("NAME"), "AB", 2);
  EXPECT_EQ(fieldBytes(f("NAME")), "AB   ");
  fieldAssignText(f("NAME"), "ABCDEFG", 7);
  EXPECT_EQ(fieldBytes(f("NAME")), "ABCDE");
  // The neighbours stay untouched.
  EXPECT_EQ(fieldBytes(f("OK")), "T");
  EXPECT_EQ(fieldBytes(f("LONG")).substr(0, 1), "L");
}

TEST_F(FieldTest, TypedAccessToNumbersAndDates) {
  EXPECT_EQ(fieldLong(f("CNT")), 42);
  EXPECT_DOUBLE_EQ(fieldDouble(f("QTY")), 12.5);
  EXPECT_EQ(fieldLong(f("BORN")), 2451298);
  EXPECT_DOUBLE_EQ(fieldDouble(f("BORN")), 2451298.0);

  fieldAssignLong(f("CNT"), -7);
  EXPECT_EQ(fieldBytes(f("CNT")), "    -7");
  fieldAssignLong(f("QTY"), 3);  // a field with decimals takes the double form
  EXPECT_EQ(fieldBytes(f("QTY")), "    3.00");
  fieldAssignDouble(f("RATE"), -0.5);
  EXPECT_EQ(fieldBytes(f("RATE")), "    -0.500");
  fieldAssignLong(f("CNT"), 1234567);  // does not fit: asterisks, never cut digits
  EXPECT_EQ(fieldBytes(f("CNT")), "******");

  fieldAssignLong(f("BORN"), 2451299);
  EXPECT_EQ(fieldBytes(f("BORN")), "19990430");
  fieldAssignDouble(f("BORN"), 2451298.9);
  EXPECT_EQ(fieldBytes(f("BORN")), "19990429");
  fieldAssignLong(f("BORN"), 0);
  EXPECT_EQ(fieldBytes(f("BORN")), "        ");
  EXPECT_EQ(fieldLong(f("BORN")), 0);
  fieldAssignText(f("BORN"), "19990230", 8);
  EXPECT_EQ(fieldLong(f("BORN")), -1);
}

TEST_F(FieldTest, LongReadsSaturateAtThe32BitLimits) {
  // The wide text field holds numbers of any width.
  const struct {
    const char* text;
    int32_t value;
  } cases[] = {{"2147483647", INT32_MAX},   {"2147483648", INT32_MAX},
               {"4294967297", INT32_MAX},   {"99999999999", INT32_MAX},
               {"-2147483648", INT32_MIN},  {"-2147483649", INT32_MIN},
               {"-99999999999", INT32_MIN}, {"  -12345", -12345}};
  for (const auto& c : cases) {
    fieldAssignText(f("LONG"), c.text, static_cast<int32_t>(strlen(c.text)));
    EXPECT_EQ(fieldLong(f("LONG")), c.value) << c.text;
  }
}

TEST_F(FieldTest, TypedOperationsDoNothingWhileTheContextIsInError) {
  engineErrorSet(&e.c, -120);
  fieldAssignText(f("NAME"), "XX", 2);
  fieldAssignLong(f("CNT"), 1);
  fieldAssignDouble(f("QTY"), 1);
  fieldBlank(f("NAME"));
  EXPECT_EQ(fieldLong(f("CNT")), -1);
  EXPECT_EQ(fieldDouble(f("QTY")), -1);
  e.clear();
  EXPECT_EQ(fieldBytes(f("NAME")), "Ann  ");
  EXPECT_EQ(fieldBytes(f("CNT")), "    42");
}

}  // namespace
