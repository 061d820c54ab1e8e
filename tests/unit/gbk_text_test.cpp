// The byte-level GBK rules: trail bytes that look like "\", "|" or letters, and text to integer.
#include "snapshot/gbk_text.h"

#include <gtest/gtest.h>

#include <limits>

namespace korvane {
namespace {

// "乗" is 0x81 0x5C, "亅" 0x81 0x7C, "丄" 0x81 0x41: their trail bytes are "\", "|" and "A".
TEST(PathDepth, CountsOnlyRealSeparators) {
  EXPECT_EQ(PathDepth("C:\\"), 0);
  EXPECT_EQ(PathDepth("C:\\Windows\\"), 1);
  EXPECT_EQ(PathDepth("C:\\Windows\\System32\\"), 2);
  EXPECT_EQ(PathDepth("C:\\乗\\"), 1);
  EXPECT_EQ(PathDepth("C:\\乗乗\\乗\\"), 2);
  EXPECT_EQ(PathDepth("C:\\中文\\"), 1);
}

TEST(LastPathSeparator, SkipsTrailBytes) {
  EXPECT_EQ(LastPathSeparator("C:\\A\\B"), 4u);
  EXPECT_EQ(LastPathSeparator("C:\\乗"), 2u);
  EXPECT_EQ(LastPathSeparator("乗"), std::string_view::npos);
}

TEST(AsciiLower, LowersAsciiAndLeavesDoubleByteCharactersAlone) {
  EXPECT_EQ(AsciiLower("C:\\Program Files\\"), "c:\\program files\\");
  EXPECT_EQ(AsciiLower("丄ABC丄"), "丄abc丄");
  EXPECT_EQ(AsciiLower("\x81"), "\x81");  // a lone lead byte at the end
}

TEST(SplitAtBar, SplitsOnlyAtRealBars) {
  using Fields = std::vector<std::string>;
  EXPECT_EQ(SplitAtBar(""), Fields{""});
  EXPECT_EQ(SplitAtBar("a|b||c|"), (Fields{"a", "b", "", "c", ""}));
  EXPECT_EQ(SplitAtBar("亅|亅亅|x"), (Fields{"亅", "亅亅", "x"}));
}

TEST(TextToInteger, FollowsTheRule) {
  struct Case {
    const char* text;
    int64_t value;
  };
  const Case cases[] = {
      {"", 0},
      {"abc", 0},
      {"42", 42},
      {"  \t\r\n42", 42},
      {"+17", 17},
      {"-17", -17},
      {"- 17", 0},  // no blank between sign and digits
      {"12.9", 12},
      {"12abc", 12},
      {"007", 7},
      {"１２３", 123},       // full-width digits
      {"－４５", -45},       // full-width minus
      {"＋４5", 45},         // full-width plus, mixed digits
      {"　 ８", 8},          // ideographic space and a blank first
      {"中12", 0},           // a double-byte character that is no full-width form
      {"9223372036854775807", std::numeric_limits<int64_t>::max()},
      {"9223372036854775808", std::numeric_limits<int64_t>::max()},
      {"-9223372036854775808", std::numeric_limits<int64_t>::min()},
      {"-99999999999999999999999999999999", std::numeric_limits<int64_t>::min()},
      {"99999999999999999999999999999999999999", std::numeric_limits<int64_t>::max()},
  };
  for (const Case& c : cases) EXPECT_EQ(TextToInteger(c.text), c.value) << c.text;
}

}  // namespace
}  // namespace korvane
