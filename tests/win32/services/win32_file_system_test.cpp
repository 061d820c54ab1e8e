// The Windows services on real files: listings and their names, file sizes, the path limit, whole files,
// volumes, the program's own file, processes, the named mutex and the clock.
#include "platform/win32/services/win32_file_system.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <ctime>
#include <map>

#include "snapshot/gbk_text.h"
#include "snapshot/value_format.h"
#include "tests/win32/services/temp_tree.h"

namespace korvane {
namespace {

using testing::TempTree;
using Strings = std::vector<std::string>;

Strings Names(FileSystemServices& files, const std::string& pattern, EntryKind kind) {
  Strings names;
  const std::unique_ptr<DirectoryListing> listing = files.FindEntries(pattern, kind);
  for (std::string name = listing->next(); !name.empty(); name = listing->next()) names.push_back(std::move(name));
  return names;
}

Strings Sorted(Strings names) {
  std::sort(names.begin(), names.end());
  return names;
}

// Names whose GBK form has a "\" (乗) or "|" (亅) trail byte, and Chinese. The wide literal is what
// lands on the disk, the plain one (GB18030, as the compiler writes it) what the core sees.
struct Name {
  const wchar_t* wide;
  const char* core;
};
const Name kNames[] = {{L"乗", "乗"}, {L"亅", "亅"}, {L"中文目录", "中文目录"}, {L"plain", "plain"}};

// ---- Listings

TEST(Listing, DirectoriesModeGivesDotsAndEveryDirectoryInTheSystemsOrder) {
  TempTree tree;
  for (const Name& name : kNames) tree.Directory(name.wide);
  tree.File(L"file.txt", 3);
  std::map<std::wstring, std::string> coreOf{{L".", "."}, {L"..", ".."}};
  for (const Name& name : kNames) coreOf[name.wide] = name.core;

  // The system's own order, read with the plain call.
  Strings expected;
  WIN32_FIND_DATAW entry{};
  const HANDLE search = FindFirstFileW((tree / L"*.*").c_str(), &entry);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  do {
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) expected.push_back(coreOf.at(entry.cFileName));
  } while (FindNextFileW(search, &entry));
  FindClose(search);

  Win32FileSystem files;
  const Strings listed = Names(files, tree.core("*.*"), EntryKind::directories);
  EXPECT_EQ(listed, expected);
  ASSERT_GE(listed.size(), 2u);
  EXPECT_EQ(listed[0], ".");
  EXPECT_EQ(listed[1], "..");
}

TEST(Listing, FilesModeGivesFilesOnlyAndTheSystemMatchesThePattern) {
  TempTree tree;
  tree.File(L"a.txt", 1);
  tree.File(L"乗.TXT", 2);
  tree.File(L"b.log", 3);
  tree.Directory(L"dir.txt");
  Win32FileSystem files;
  EXPECT_EQ(Sorted(Names(files, tree.core("*.*"), EntryKind::files)), Sorted({"a.txt", "乗.TXT", "b.log"}));
  EXPECT_EQ(Sorted(Names(files, tree.core("*.txt"), EntryKind::files)), Sorted({"a.txt", "乗.TXT"}));
  EXPECT_EQ(Names(files, tree.core("*.txt"), EntryKind::directories), Strings{"dir.txt"});
  EXPECT_TRUE(Names(files, tree.core("missing\\*.*"), EntryKind::directories).empty());
}

TEST(Listing, NamesWithSeparatorAndBarTrailBytesAreEnteredAndSized) {
  TempTree tree;
  tree.File(L"乗\\亅\\中.bin", 1234);
  tree.File(L"亅\\乗", 5);
  Win32FileSystem files;
  EXPECT_EQ(Names(files, tree.core("乗\\*.*"), EntryKind::directories), (Strings{".", "..", "亅"}));
  EXPECT_EQ(Names(files, tree.core("乗\\亅\\*.*"), EntryKind::files), Strings{"中.bin"});
  EXPECT_EQ(Names(files, tree.core("亅\\*.*"), EntryKind::files), Strings{"乗"});
  EXPECT_EQ(files.FileSize(tree.core("乗\\亅\\中.bin")), 1234);
  EXPECT_EQ(files.FileSize(tree.core("亅\\乗")), 5);
}

// Korean, which GBK lacks and GB18030 writes in four bytes, and a character beyond the basic plane.
TEST(Listing, NamesOutsideGbkComeBackInGb18030AndCanBeEntered) {
  if (!IsValidCodePage(54936)) GTEST_SKIP() << "this system lacks code page 54936 (GB18030)";
  TempTree tree;
  tree.File(L"한글\\\U00020000.bin", 9);
  Win32FileSystem files;
  EXPECT_EQ(Names(files, tree.core("*.*"), EntryKind::directories), (Strings{".", "..", "한글"}));
  EXPECT_EQ(Names(files, tree.core("한글\\*.*"), EntryKind::files), Strings{"\U00020000.bin"});
  EXPECT_EQ(files.FileSize(tree.core("한글\\\U00020000.bin")), 9);
  EXPECT_EQ(files.FolderSize(tree.core("한글")), 9);
}

TEST(FileSize, GivesSixtyFourBitSizesAndZeroOnFailure) {
  TempTree tree;
  const int64_t large = (int64_t{5} << 30) + 7;  // above 4 GiB: the high word counts
  tree.File(L"large.bin", large);
  tree.File(L"empty", 0);
  tree.Directory(L"dir");
  Win32FileSystem files;
  EXPECT_EQ(files.FileSize(tree.core("large.bin")), large);
  EXPECT_EQ(files.FileSize(tree.core("empty")), 0);
  EXPECT_EQ(files.FileSize(tree.core("missing")), 0);
  EXPECT_EQ(files.FolderSize(tree.core()), large);
}

// Directories whose search pattern ("\*.*" appended) is exactly at the system's limit and one past it.
TEST(PathLimit, APatternPastTheLimitIsNotSearchedAndNotMeasured) {
  TempTree tree;
  // Pad with a directory so that "<root>\<pad>\aaaa" is 255 characters long: with "\*.*" and the
  // terminating zero its pattern fills 260.
  const size_t rootLength = tree.root().size();
  ASSERT_LT(rootLength, 200u);
  const std::wstring pad(249 - rootLength, L'p');
  const std::wstring at = pad + L"\\" + std::wstring(4, L'a');
  const std::wstring past = pad + L"\\" + std::wstring(5, L'b');
  ASSERT_EQ((tree / at).size(), 255u);
  tree.File(at + L"\\f", 10);
  tree.File(at + L"\\sub\\g", 20);
  tree.File(past + L"\\h", 40);
  tree.File(past + L"\\sub\\i", 80);
  const std::string coreAt = tree.core(std::string(pad.begin(), pad.end()) + "\\aaaa");
  const std::string corePast = tree.core(std::string(pad.begin(), pad.end()) + "\\bbbbb");

  Win32FileSystem files;
  EXPECT_EQ(Names(files, coreAt + "\\*.*", EntryKind::directories), (Strings{".", "..", "sub"}));
  EXPECT_EQ(Names(files, coreAt + "\\*.*", EntryKind::files), Strings{"f"});
  EXPECT_TRUE(Names(files, corePast + "\\*.*", EntryKind::directories).empty());
  EXPECT_TRUE(Names(files, corePast + "\\*.*", EntryKind::files).empty());
  EXPECT_TRUE(Names(files, coreAt + "\\sub\\*.*", EntryKind::directories).empty());
  // "sub" is listed, but its own pattern is past the limit: its file does not count.
  EXPECT_EQ(files.FolderSize(coreAt), 10);
  EXPECT_EQ(files.FolderSize(corePast), 0);
  EXPECT_EQ(files.FolderSize(tree.core()), 10);

  // Within a scan the remembered listings keep to the same limit.
  files.BeginScan();
  EXPECT_EQ(files.FolderSize(tree.core()), 10);
  EXPECT_EQ(Names(files, coreAt + "\\*.*", EntryKind::directories), (Strings{".", "..", "sub"}));
  EXPECT_TRUE(Names(files, corePast + "\\*.*", EntryKind::directories).empty());
  EXPECT_TRUE(Names(files, coreAt + "\\sub\\*.*", EntryKind::directories).empty());
  files.EndScan();
}

// ---- Files

TEST(WholeFiles, WriteCreatesAndReplacesWholeAndReadGivesEveryByte) {
  TempTree tree;
  tree.Directory(L"乗");
  const std::string path = tree.core("乗\\亅.dat");
  Win32FileSystem files;
  const std::string first = std::string("first\0\r\n", 8) + std::string(200000, 'x');
  ASSERT_TRUE(files.WriteWholeFile(path, first));
  EXPECT_TRUE(files.FileExists(path));
  EXPECT_EQ(files.ReadWholeFile(path), first);
  ASSERT_TRUE(files.WriteWholeFile(path, "short"));
  EXPECT_EQ(files.ReadWholeFile(path), "short");
  ASSERT_TRUE(files.WriteWholeFile(path, ""));
  EXPECT_EQ(files.ReadWholeFile(path), "");
  // No temporary file stays behind.
  EXPECT_EQ(Names(files, tree.core("乗\\*.*"), EntryKind::files), Strings{"亅.dat"});
}

TEST(WholeFiles, AFailedWriteLeavesTheEarlierFileAndNoTemporaryFile) {
  TempTree tree;
  tree.Directory(L"target");
  Win32FileSystem files;
  // The target is a directory: the replacing move fails.
  EXPECT_FALSE(files.WriteWholeFile(tree.core("target"), "contents"));
  EXPECT_EQ(Names(files, tree.core("*.*"), EntryKind::directories), (Strings{".", "..", "target"}));
  // The target is held open by a handle that shares nothing.
  const std::string held = tree.core("held.dat");
  ASSERT_TRUE(files.WriteWholeFile(held, "earlier"));
  const HANDLE handle = CreateFileW((tree / L"held.dat").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(files.WriteWholeFile(held, "later"));
  CloseHandle(handle);
  EXPECT_EQ(files.ReadWholeFile(held), "earlier");
  // The directory does not exist.
  EXPECT_FALSE(files.WriteWholeFile(tree.core("missing\\file"), "contents"));
  EXPECT_EQ(Names(files, tree.core("*.*"), EntryKind::files), Strings{"held.dat"});
}

TEST(WholeFiles, ExistenceAndReadingOfWhatIsNoReadableFile) {
  TempTree tree;
  tree.File(L"file", 4);
  tree.Directory(L"dir");
  Win32FileSystem files;
  EXPECT_TRUE(files.FileExists(tree.core("FILE")));  // names match without regard to case
  EXPECT_TRUE(files.FileExists(tree.core("dir")));
  EXPECT_FALSE(files.FileExists(tree.core("missing")));
  EXPECT_EQ(files.ReadWholeFile(tree.core("FILE")), std::string(4, '\0'));
  EXPECT_EQ(files.ReadWholeFile(tree.core("missing")), "");
  EXPECT_EQ(files.ReadWholeFile(tree.core("dir")), "");
}

TEST(ProgramFile, DirectoryAndNameLeadToThisProgramWhichTheProcessListShows) {
  Win32FileSystem files;
  const std::string directory = files.ProgramDirectory();
  const std::string name = files.ExecutableName();
  EXPECT_EQ(AsciiLower(name), "korvane_win32_services_tests.exe");
  ASSERT_FALSE(directory.empty());
  EXPECT_NE(directory.back(), '\\');
  EXPECT_TRUE(files.FileExists(directory + "\\" + name));
  const Strings processes = files.ProcessNames();
  EXPECT_TRUE(std::any_of(processes.begin(), processes.end(), [&](const std::string& process) {
    return AsciiLower(process) == AsciiLower(name);
  }));
}

// ---- Volumes, system, mutex and clock

TEST(Volumes, DrivesVolumesAndTheSystemDirectory) {
  Win32FileSystem files;
  const Strings drives = files.LogicalDriveRoots();
  EXPECT_NE(std::find(drives.begin(), drives.end(), "C:\\"), drives.end());
  EXPECT_NE(std::find(drives.begin(), drives.end(), "Z:\\"), drives.end());  // wine's view of "/"
  const DiskSpace space = files.DiskFreeSpace("C:");
  EXPECT_GT(space.totalBytes, 0);
  EXPECT_GE(space.totalBytes, space.freeToCaller);
  EXPECT_EQ(files.DiskFreeSpace("C:\\").totalBytes, space.totalBytes);
  EXPECT_TRUE(files.FileSystemName("C:\\").has_value());

  // A letter that names no drive.
  char unused = 0;
  for (char letter = 'Y'; letter > 'C' && !unused; --letter) {
    if (std::find(drives.begin(), drives.end(), std::string{letter, ':', '\\'}) == drives.end()) unused = letter;
  }
  ASSERT_NE(unused, 0);
  EXPECT_EQ(files.DiskFreeSpace(std::string{unused, ':'}).totalBytes, 0);
  EXPECT_FALSE(files.FileSystemName(std::string{unused, ':', '\\'}).has_value());

  const std::string system = AsciiLower(files.SystemDirectory());
  EXPECT_TRUE(system.starts_with("c:\\") && system.ends_with("\\system32")) << system;
  const VersionNumbers version = files.NtVersionNumbers();
  EXPECT_GE(version.major, 5u);
  EXPECT_NE(version.build & 0xFFFF, 0u);
}

TEST(NamedMutex, TheFirstObjectCreatesItOthersFindItUntilItEnds) {
  const std::string name = "青松映晚霞-test-" + std::to_string(GetCurrentProcessId());
  auto first = std::make_unique<Win32FileSystem>();
  Win32FileSystem second;
  EXPECT_FALSE(first->NamedMutexExists(name));
  EXPECT_TRUE(second.NamedMutexExists(name));
  EXPECT_TRUE(first->NamedMutexExists(name));
  EXPECT_FALSE(second.NamedMutexExists(name + "-other"));
  first.reset();  // the creator's handle closes, and with the last handle the mutex goes
  EXPECT_FALSE(Win32FileSystem().NamedMutexExists(name));
}

TEST(Clock, LocalNowIsTodayWithinTheTimeZonesReach) {
  Win32FileSystem files;
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_s(&utc, &now);
  const double utcNow =
      AutomationDate({utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec});
  EXPECT_NEAR(files.LocalNow(), utcNow, 15.0 / 24);
}

}  // namespace
}  // namespace korvane
