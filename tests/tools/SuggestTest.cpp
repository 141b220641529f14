#include <gtest/gtest.h>

#include "tools/shell/Suggest.h"

namespace vorlix::shell {
namespace {

TEST(SuggestTest, NearNamesAreSuggestedAndFarOnesAreNot) {
  const std::vector<std::string> names = {"Seek",       "Seek2",  "Skip",
                                          "ListTables", "tables", "GetFieldName"};
  EXPECT_EQ(NearestName("seak", names), "Seek");      // a substitution, any letter case
  EXPECT_EQ(NearestName("Sek", names), "Seek");       // a deletion
  EXPECT_EQ(NearestName("tabels", names), "tables");  // a swap counts one
  EXPECT_EQ(NearestName("GetFeldNam", names), "GetFieldName");
  EXPECT_EQ(NearestName("Seek3", names), "Seek");  // the first of equally near names
  EXPECT_EQ(NearestName("Top", names), "");        // three letters allow one edit
  EXPECT_EQ(NearestName("ListTab", names), "");
  EXPECT_EQ(NearestName("", names), "");
}

}  // namespace
}  // namespace vorlix::shell
