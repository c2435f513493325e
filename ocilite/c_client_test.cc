// libocilite from a C program: oci.h compiles as C and the calls link with C
// linkage (testing/c_client.c).
#include "ocilite/testing/c_client.h"
#include "ocilite/testing/oci_client.h"

namespace ocilite_test {
namespace {

TEST(CClient, RoundTripFromC) {
  TempDb db;
  char out[256];
  ASSERT_EQ(ociliteCClientRoundTrip(db.path().c_str(), out, sizeof out), 0) << out;
  EXPECT_STREQ(out, "2:first,second");
  // A second run finds the table already there and reports the server's text.
  EXPECT_EQ(ociliteCClientRoundTrip(db.path().c_str(), out, sizeof out), 1);
  EXPECT_EQ(std::string(out).rfind("ORA-", 0), 0u) << out;
}

}  // namespace
}  // namespace ocilite_test
