// Looking sizes up in a reference and the minimum increment: the index against the plain search.
#include <gtest/gtest.h>

#include <limits>
#include <random>

#include "compare/comparison_pass.h"
#include "compare/reference_snapshot.h"
#include "tests/app/plain_search.h"

namespace korvane {
namespace {

using namespace std::string_literals;

int64_t Lookup(const std::string& buffer, std::string_view path) {
  ReferenceSnapshot reference;
  reference.assign(buffer);
  return reference.lookup(path);
}

TEST(ReferenceLookup, ReadsTheFirstLineOfThePathExactly) {
  const std::string text =
      "C:\\|100\r\nC:\\AB\\|7\r\nC:\\A\\| 12x\r\nC:\\A\\|99\r\nC:\\E\\|\r\nC:\\W\\|１２\r\nC:\\Z\\|5\0 9\r\nC:\\L\\|3"s;
  struct Case {
    const char* path;
    int64_t size;
  };
  const Case cases[] = {
      {"C:\\", 100},  {"C:\\A\\", 12},   // a blank, digits, a letter; the first of two lines
      {"C:\\AB\\", 7}, {"C:\\a\\", 0},   // letter case counts
      {"C:\\E\\", 0},  {"C:\\W\\", 12},  // an empty size; full-width digits
      {"C:\\Z\\", 5},  {"C:\\L\\", 0},   // cut at 0x00; no CR LF after the last line
      {"D:\\", 0},     {"C:\\B\\", 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Lookup(text, c.path), c.size) << c.path;
    EXPECT_EQ(PlainLookup(text, c.path), c.size) << c.path;
  }
}

TEST(ReferenceLookup, AgreesWithThePlainSearchOnRandomTexts) {
  std::mt19937 random(42);
  // Names that collide, hold "C:\" or "|", trail bytes that look like separators, and garbled lines.
  const std::vector<std::string> names = {"A", "B", "a", "AB", "x C:", "乗", "亅", "|y", "中文", "C:"};
  for (int round = 0; round < 300; ++round) {
    std::string text;
    std::vector<std::string> paths{"C:\\", "D:\\"};
    for (int line = 0; line < 30; ++line) {
      std::string path = paths[random() % paths.size()] + names[random() % names.size()] + "\\";
      paths.push_back(path);
      switch (random() % 6) {
        case 0: text += path + "garbled\r\n"; break;
        case 1: text += path + "|" + std::to_string(random() % 1000) + "\n"; break;  // no CR
        case 2: text += path + std::to_string(random() % 1000) + "\r\n"; break;      // no bar
        default: text += path + "|" + std::to_string(random() % 100000) + "\r\n"; break;
      }
    }
    if (random() % 2) text.resize(text.size() - random() % 5);
    ReferenceSnapshot reference;
    reference.assign(text);
    for (const std::string& path : paths) {
      ASSERT_EQ(reference.lookup(path), PlainLookup(text, path)) << path << " in\n" << text;
    }
  }
}

TEST(ReferenceSnapshot, TellsTheMarkerAndEmptinessApart) {
  ReferenceSnapshot reference;
  EXPECT_TRUE(reference.isEmpty());
  reference.assign(Bytes(1, '\0'));
  EXPECT_TRUE(reference.isStatisticsMarker());
  EXPECT_FALSE(reference.isEmpty());
  reference.assign(Bytes());
  EXPECT_TRUE(reference.isEmpty());
  EXPECT_FALSE(reference.isStatisticsMarker());
  reference.assign(Bytes(2, '\0'));
  EXPECT_FALSE(reference.isStatisticsMarker());
}

TEST(MinIncrement, MultipliesByTheUnitAndClampsAbsurdLimits) {
  constexpr int64_t kTB = int64_t{1} << 40;
  struct Case {
    const char* limit;
    int unit;
    int64_t bytes;
  };
  const Case cases[] = {
      {"", 2, 0},
      {"100", 0, 100},
      {"1.5", 1, 1024},
      {"100", 2, 100 << 20},
      {"３", 3, int64_t{3} << 30},
      {"5", 4, 5 * kTB},
      {"5", -1, 5 * kTB},  // no unit chosen
      {"9000000", 4, std::numeric_limits<int64_t>::max()},
      {"99999999999999999999", 0, std::numeric_limits<int64_t>::max()},
  };
  for (const Case& c : cases) EXPECT_EQ(MinIncrement(c.limit, c.unit), c.bytes) << c.limit << " " << c.unit;
}

}  // namespace
}  // namespace korvane
