// The built-in references: every entry unpacks to a snapshot text of its system in scan order, with its
// root line, line count, consistent sizes and the folders of its version; and comparing a used system
// against its entry lists exactly the folders that grew.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "compare/builtin_catalog.h"
#include "snapshot/gbk_text.h"
#include "snapshot/gz_container.h"
#include "snapshot/scan_table.h"
#include "tests/app/program_fixture.h"

namespace korvane {
namespace {

constexpr int64_t kMB = 1 << 20;

// The parent of a record's path: the path up to its second-to-last "\" (a trail byte 0x5C is none).
std::string ParentOf(const std::string& path) {
  return path.substr(0, LastPathSeparator(std::string_view(path).substr(0, path.size() - 1)) + 1);
}

// Empty when the table is in scan order: every record's parent is an earlier record, and rebuilding the
// order from the parent/child relation (root, then Emit(root): the block of a folder's children in their
// listed order, then Emit of each child in turn) gives the table's own order. Else what is wrong.
std::string ScanOrderFault(const ScanTable& table) {
  std::map<std::string, std::vector<std::string>> children;
  std::map<std::string, int> seen;
  for (int record = 1; record <= table.count(); ++record) {
    const std::string& path = table.path(record);
    if (seen.count(path)) return path + " twice";
    if (record > 1) {
      const std::string parent = ParentOf(path);
      if (!seen.count(parent)) return path + " before its parent";
      children[parent].push_back(path);
    }
    seen[path] = record;
  }
  std::vector<std::string> rebuilt{table.path(1)};
  const std::function<void(const std::string&)> emit = [&](const std::string& folder) {
    const auto& block = children[folder];
    rebuilt.insert(rebuilt.end(), block.begin(), block.end());
    for (const std::string& child : block) emit(child);
  };
  emit(table.path(1));
  for (int record = 1; record <= table.count(); ++record) {
    if (rebuilt[static_cast<size_t>(record - 1)] != table.path(record)) return table.path(record) + " out of scan order";
  }
  return "";
}

ScanTable TableOf(const std::vector<std::string>& paths) {
  ScanTable table;
  for (const std::string& path : paths) table.append(path, 0);
  return table;
}

TEST(ScanOrder, AcceptsTheBlockOrderAndRejectsDepthFirstAndOrphans) {
  // C with A and B; x and y in A; 1 in x; z in B.
  EXPECT_EQ(ScanOrderFault(TableOf({"C:\\", "C:\\A\\", "C:\\B\\", "C:\\A\\x\\", "C:\\A\\y\\", "C:\\A\\x\\1\\",
                                    "C:\\B\\z\\"})),
            "");
  EXPECT_NE(ScanOrderFault(TableOf({"C:\\", "C:\\A\\", "C:\\A\\x\\", "C:\\A\\x\\1\\", "C:\\A\\y\\", "C:\\B\\",
                                    "C:\\B\\z\\"})),
            "");
  EXPECT_NE(ScanOrderFault(TableOf({"C:\\", "C:\\A\\", "C:\\B\\", "C:\\A\\x\\", "C:\\A\\y\\", "C:\\B\\z\\",
                                    "C:\\A\\x\\1\\"})),
            "");
  EXPECT_EQ(ScanOrderFault(TableOf({"C:\\", "C:\\A\\x\\"})), "C:\\A\\x\\ before its parent");
  // 亅 ends in the byte "\": its folder's parent is still C:\A\.
  EXPECT_EQ(ScanOrderFault(TableOf({"C:\\", "C:\\A\\", "C:\\A\\亅\\", "C:\\A\\亅\\q\\"})), "");
}

struct Expected {
  int index;
  std::string root;
  int64_t used;
  int lines;
  std::vector<std::string> landmarks;
};

const std::vector<Expected>& Entries() {
  static const std::vector<Expected> entries = {
      {0, "C:\\", 24122384384, 23833,
       {"C:\\$Recycle.Bin\\", "C:\\Boot\\", "C:\\Program Files (x86)\\Microsoft\\Edge\\", "C:\\Recovery\\WindowsRE\\",
        "C:\\Users\\All Users\\Microsoft\\", "C:\\Windows\\SystemApps\\", "C:\\Windows\\System32\\zh-CN\\",
        "C:\\Windows\\System32\\DriverStore\\FileRepository\\", "C:\\Windows\\SysWOW64\\zh-CN\\"}},
      {1, "C:\\", 13146152960, 24333,
       {"C:\\Windows\\servicing\\LCU\\", "C:\\Windows\\WinSxS\\Manifests\\", "C:\\Users\\Administrator\\",
        "C:\\Program Files\\Windows Defender Advanced Threat Protection\\"}},
      {2, "C:\\", 23161966592, 27034,
       {"C:\\Windows\\System32\\DriverStore\\FileRepository\\", "C:\\Users\\Public\\", "C:\\ProgramData\\Microsoft\\Windows\\"}},
      {3, "C:\\", 11607568384, 23725,
       {"C:\\Windows\\WinSxS\\Temp\\", "C:\\Windows\\System32\\WindowsPowerShell\\v1.0\\", "C:\\Recovery\\WindowsRE\\"}},
      {4, "C:\\", 17724358656, 18909,
       {"C:\\Windows\\ImmersiveControlPanel\\", "C:\\Windows\\INF\\", "C:\\Users\\Default\\AppData\\Local\\Microsoft\\Windows\\WinX\\"}},
      {5, "C:\\", 20158144512, 15958,
       {"C:\\Windows\\System32\\DriverStore\\", "C:\\Program Files\\WindowsApps\\", "C:\\Users\\Default User\\"}},
      {6, "C:\\", 27583262720, 19157,
       {"C:\\Program Files\\Microsoft Games\\Chess\\", "C:\\Program Files\\Windows Sidebar\\Gadgets\\",
        "C:\\Users\\Public\\Pictures\\Sample Pictures\\", "C:\\Windows\\assembly\\GAC_MSIL\\System\\"}},
      {7, "C:\\", 20414877696, 18694,
       {"C:\\Windows\\System32\\BestPractices\\", "C:\\Windows\\SysWOW64\\", "C:\\Users\\All Users\\"}},
      {8, "D:\\", 18277998592, 14195,
       {"D:\\Program Files\\Windows Calendar\\", "D:\\Program Files\\Windows Photo Gallery\\", "D:\\ProgramData\\",
        "D:\\Windows\\System32\\Licenses\\"}},
      {9, "C:\\", 3809566720, 839,
       {"C:\\WINDOWS\\system32\\dllcache\\", "C:\\wmpub\\", "C:\\WINDOWS\\Microsoft.NET\\Framework\\v1.1.4322\\",
        "C:\\Documents and Settings\\All Users\\「开始」菜单\\程序\\管理工具\\"}},
      {10, "C:\\", 3993108480, 698,
       {"C:\\Documents and Settings\\Administrator\\「开始」菜单\\程序\\附件\\", "C:\\Documents and Settings\\Administrator\\桌面\\",
        "C:\\WINDOWS\\system32\\config\\systemprofile\\", "C:\\Program Files\\Outlook Express\\"}},
  };
  return entries;
}

// Every system of Vista and later lists these; XP and 2003 have their own.
const std::vector<std::string> kVistaOnwards = {
    "$Recycle.Bin\\", "Documents and Settings\\", "PerfLogs\\", "Program Files\\", "Program Files (x86)\\",
    "ProgramData\\", "System Volume Information\\", "Users\\", "Users\\All Users\\", "Users\\Default\\",
    "Users\\Public\\", "Windows\\", "Windows\\System32\\", "Windows\\SysWOW64\\", "Windows\\WinSxS\\",
    "Windows\\System32\\DriverStore\\FileRepository\\", "Windows\\zh-CN\\", "Windows\\Fonts\\"};
const std::vector<std::string> kXpAnd2003 = {
    "Documents and Settings\\", "Documents and Settings\\All Users\\", "Documents and Settings\\Default User\\",
    "Program Files\\", "System Volume Information\\", "WINDOWS\\", "WINDOWS\\system32\\", "WINDOWS\\WinSxS\\"};

class Entry : public ::testing::TestWithParam<Expected> {};

TEST_P(Entry, IsASnapshotOfItsSystemInScanOrderWithConsistentSizes) {
  const Expected& expected = GetParam();
  const BuiltInCatalog& catalog = BuiltInCatalog::Standard();
  const Bytes text = GzContainer::unpack(catalog.entry(expected.index).container);
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(catalog.entry(expected.index).container.substr(0, 3), std::string("Gz\0", 3));

  const auto table = ParseSnapshotText(text);
  ASSERT_TRUE(table);
  EXPECT_EQ(SnapshotText(*table), text);
  ASSERT_EQ(table->count(), expected.lines);
  EXPECT_EQ(table->path(1), expected.root);
  EXPECT_EQ(table->size(1), expected.used);
  EXPECT_TRUE(text.starts_with(expected.root + "|" + std::to_string(expected.used) + "\r\n"));
  EXPECT_EQ(ScanOrderFault(*table), "");

  // A folder holds at least what the folders listed below it hold; the root also holds the page files.
  std::map<std::string, int64_t> below;
  std::map<std::string, int64_t> size;
  for (int record = 1; record <= table->count(); ++record) {
    EXPECT_GE(table->size(record), 0) << table->path(record);
    size[table->path(record)] = table->size(record);
    if (record > 1) below[ParentOf(table->path(record))] += table->size(record);
  }
  for (const auto& [folder, children] : below) EXPECT_GE(size[folder], children) << folder;

  const bool vistaOnwards = expected.index <= 8;
  for (const std::string& landmark : vistaOnwards ? kVistaOnwards : kXpAnd2003) {
    EXPECT_TRUE(size.count(expected.root + landmark)) << landmark;
  }
  for (const std::string& landmark : expected.landmarks) EXPECT_TRUE(size.count(landmark)) << landmark;
  // Links and the folders no one may enter measure 0 and list nothing below them.
  for (const std::string& closed : {std::string("System Volume Information\\"), std::string("Documents and Settings\\")}) {
    if (!vistaOnwards && closed.starts_with("Documents")) continue;
    EXPECT_EQ(size[expected.root + closed], 0) << closed;
    EXPECT_FALSE(below.count(expected.root + closed)) << closed;
  }
  if (vistaOnwards) {
    // All Users mirrors ProgramData folder for folder, size for size.
    const std::string data = expected.root + "ProgramData\\";
    const std::string mirror = expected.root + "Users\\All Users\\";
    int mirrored = 0;
    for (const auto& [path, bytes] : size) {
      if (!path.starts_with(data)) continue;
      const std::string twin = mirror + path.substr(data.size());
      EXPECT_TRUE(size.count(twin) && size[twin] == bytes) << path;
      ++mirrored;
    }
    EXPECT_GT(mirrored, 20);
    // The component store's folders follow <arch>_<name>_<token>_<version>_<language>_<hash>, and some
    // carry the build's own revision ("[6.1.7601]" names the build alone).
    const std::string& item = catalog.entry(expected.index).itemText;
    std::string version = item.substr(item.find('[') + 1, item.find(']') - item.find('[') - 1);
    version = version.substr(version.rfind('.'));
    const std::string store = expected.root + "Windows\\WinSxS\\";
    int components = 0;
    int ofThisBuild = 0;
    for (const auto& [path, bytes] : size) {
      if (!path.starts_with(store) || PathDepth(path) != 3 || path.find('_') == std::string::npos) continue;
      ++components;
      EXPECT_GE(std::count(path.begin(), path.end(), '_'), 5) << path;
      ofThisBuild += path.find(version + "_") != std::string::npos || path.find(version + ".") != std::string::npos;
    }
    EXPECT_GT(ofThisBuild, 100);
    EXPECT_GT(components, expected.lines / 3);
  }
}

INSTANTIATE_TEST_SUITE_P(BuiltIn, Entry, ::testing::ValuesIn(Entries()),
                         [](const ::testing::TestParamInfo<Expected>& info) { return "Entry" + std::to_string(info.param.index); });

TEST(Catalog, HasTheTwelveItemsOfTheWindowWithTheStatisticsMarkerLast) {
  const BuiltInCatalog& catalog = BuiltInCatalog::Standard();
  ASSERT_EQ(catalog.count(), 12);
  EXPECT_EQ(catalog.entry(0).itemText, "Windows 11 Pro for Workstations 21H2 [10.0.22000.194] 22.47GB");
  EXPECT_EQ(catalog.entry(8).itemText, "Windows Vista Ultimate [6.0.6002.18005] 17.02GB");
  EXPECT_TRUE(catalog.entry(11).statisticsMarker);
  EXPECT_TRUE(catalog.entry(11).container.empty());
  for (int index = 0; index < 11; ++index) EXPECT_FALSE(catalog.entry(index).statisticsMarker);
}

// A machine whose drive C holds, folder for folder, what a reference text records: each folder's own
// files are its size less what the folders below it hold.
void LoadDrive(MemoryFileSystem& files, const ScanTable& table, int64_t extraUsed) {
  std::map<std::string, int64_t> below;
  for (int record = 2; record <= table.count(); ++record) below[ParentOf(table.path(record))] += table.size(record);
  files.AddDrive('C', {int64_t{64} << 30, (int64_t{64} << 30) - table.size(1) - extraUsed});
  for (int record = 2; record <= table.count(); ++record) {
    files.AddDirectory(table.path(record));
    const int64_t own = table.size(record) - below[table.path(record)];
    if (own > 0) files.AddFile(table.path(record) + "files.bin", own);
  }
}

TEST(CatalogComparison, ListsExactlyTheFoldersThatGrewOnAUsedSystem) {
  const BuiltInCatalog& catalog = BuiltInCatalog::Standard();
  const auto table = ParseSnapshotText(GzContainer::unpack(catalog.entry(6).container));
  ASSERT_TRUE(table);
  Program program(std::make_shared<MemoryMachine>(), catalog);
  // A week of use: temporary files, a download and a program of one's own, in three different branches.
  LoadDrive(program.files, *table, 380 * kMB);
  program.files.AddFile("C:\\Windows\\Temp\\setup.log", 50 * kMB);
  program.files.AddFile("C:\\Users\\Administrator\\Downloads\\tool.zip", 30 * kMB);
  program.files.AddFile("C:\\Program Files\\Own Tool\\bin\\tool.exe", 300 * kMB);

  program.toolkit.Open();
  program.toolkit.SelectItem(Control::内部参照, 6);
  program.toolkit.SetSelectedIndex(Control::单位框, 2);  // MB
  program.toolkit.TypeText(Control::限制框, "10");
  program.toolkit.Click(Control::比对按钮);
  program.toolkit.RunPending();
  program.RunUntil([&] { return program.Idle(); });
  if (program.state.compareWorker) program.toolkit.JoinThread(program.state.compareWorker);

  std::vector<std::string> rows;
  for (const auto& cells : program.toolkit.ListRows()) rows.push_back(cells[2] + " " + cells[5]);
  // The unchanged folders stay out, and so do the parents whose growth a listed folder explains; the
  // root's growth is that of the volume's used space.
  const std::vector<std::string> expected = {
      "C:\\Program Files\\Own Tool\\bin\\ 314572800", "C:\\Program Files\\Own Tool\\ 314572800",
      "C:\\Users\\Administrator\\Downloads\\ 31457280", "C:\\Windows\\Temp\\ 52428800", "C:\\ 398458880"};
  std::vector<std::string> sortedRows = rows;
  std::sort(sortedRows.begin(), sortedRows.end());
  std::vector<std::string> sortedExpected = expected;
  std::sort(sortedExpected.begin(), sortedExpected.end());
  EXPECT_EQ(sortedRows, sortedExpected);
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(rows.back(), "C:\\ 398458880");
}

}  // namespace
}  // namespace korvane
