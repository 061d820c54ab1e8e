// The records of a scan and their text: order, line form, and parsing back to the same bytes.
#include "snapshot/scan_table.h"

#include <gtest/gtest.h>

#include <random>

namespace korvane {
namespace {

TEST(ScanTable, AppendsCountsAndClears) {
  ScanTable table;
  table.append("C:\\", 500);
  table.append("C:\\A\\", 0);
  table.enumerated = 7;
  ASSERT_EQ(table.count(), 2);
  EXPECT_EQ(table.path(1), "C:\\");
  EXPECT_EQ(table.size(2), 0);
  EXPECT_THROW(table.path(3), std::out_of_range);

  // A second run starts from nothing: no records of the first, the counter at 0.
  table.clear();
  EXPECT_EQ(table.count(), 0);
  EXPECT_EQ(table.enumerated, 0);
  table.append("D:\\", 1);
  EXPECT_EQ(SnapshotText(table), "D:\\|1\r\n");
}

TEST(SnapshotText, WritesOneLinePerRecordInTableOrder) {
  ScanTable table;
  for (const char* path : {"C:\\", "C:\\A\\", "C:\\B\\", "C:\\A\\x\\", "C:\\A\\y\\", "C:\\A\\x\\1\\", "C:\\B\\z\\"}) {
    table.append(path, static_cast<int64_t>(table.count()) * 10);
  }
  table.append("C:\\Neg\\", -5);
  EXPECT_EQ(SnapshotText(table),
            "C:\\|0\r\nC:\\A\\|10\r\nC:\\B\\|20\r\nC:\\A\\x\\|30\r\nC:\\A\\y\\|40\r\nC:\\A\\x\\1\\|50\r\n"
            "C:\\B\\z\\|60\r\nC:\\Neg\\|-5\r\n");
  EXPECT_EQ(SnapshotText(ScanTable{}), "");
}

TEST(ParseSnapshotText, SplitsEachLineAtItsLastBar) {
  // "亅" ends in the byte 0x7C, so the path itself holds a "|" byte.
  const std::string text = "C:\\|24122384384\r\nC:\\亅\\|129\r\nC:\\Boot\\|0\r\n";
  const auto table = ParseSnapshotText(text);
  ASSERT_TRUE(table);
  ASSERT_EQ(table->count(), 3);
  EXPECT_EQ(table->path(2), "C:\\亅\\");
  EXPECT_EQ(table->size(1), 24122384384);
  EXPECT_EQ(table->size(3), 0);
  EXPECT_EQ(SnapshotText(*table), text);
}

TEST(ParseSnapshotText, RefusesWhatItCouldNotWriteBackUnchanged) {
  const char* const malformed[] = {
      "C:\\|1",                   // no CR LF after the last line
      "C:\\|1\n",                 // bare LF
      "C:\\|1\r\n\r\n",           // an empty line
      "C:\\1\r\n",                // no bar
      "C:\\|\r\n",                // no size
      "C:\\|+1\r\n",              // a sign SnapshotText never writes
      "C:\\|01\r\n",              // a leading zero
      "C:\\|-0\r\n",              // minus zero
      "C:\\| 1\r\n",              // a blank
      "C:\\|1x\r\n",              // trailing garbage
      "C:\\|99999999999999999999\r\n",  // beyond 64 bits
      "C:|1\r\n",                 // no final "\"
      "\\|1\r\n",                 // no drive
      "C:\\a\rb\\|1\r\n",         // CR inside a path
  };
  for (const char* text : malformed) EXPECT_FALSE(ParseSnapshotText(text)) << text;
  EXPECT_TRUE(ParseSnapshotText(""));
}

TEST(ParseSnapshotText, RoundTripsRandomTables) {
  std::mt19937_64 random(20261211);
  const std::string pieces[] = {"Windows", "亅", "乗", "中文", "a b", "$Recycle.Bin", "x|y"};
  for (int round = 0; round < 50; ++round) {
    ScanTable table;
    table.append("C:\\", static_cast<int64_t>(random()));
    for (int record = 0; record < 40; ++record) {
      std::string path = table.path(1 + static_cast<int>(random() % table.count()));
      path += pieces[random() % std::size(pieces)] + "\\";
      table.append(path, static_cast<int64_t>(random()) >> (random() % 64));
    }
    const Bytes text = SnapshotText(table);
    const auto parsed = ParseSnapshotText(text);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(SnapshotText(*parsed), text);
  }
}

}  // namespace
}  // namespace korvane
