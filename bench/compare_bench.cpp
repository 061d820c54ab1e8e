// Times the comparison pass, its index and the column sort on a system drive's rows, beside the plain searches.
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <numeric>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/main_form.h"
#include "app/program_state.h"
#include "compare/column_sorter.h"
#include "compare/comparison_pass.h"
#include "platform/headless/headless_toolkit.h"
#include "platform/memory/memory_file_system.h"
#include "snapshot/gbk_text.h"
#include "snapshot/scan_table.h"
#include "snapshot/value_format.h"
#include "tests/app/plain_search.h"

namespace korvane {
namespace {

using Clock = std::chrono::steady_clock;

// Wall time, and this thread's CPU time, which leaves out the time other work on the machine takes from it.
struct Samples {
  std::vector<double> wall, cpu;
};

double ThreadCpuMilliseconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

void Measure(Samples& samples, const std::function<void()>& work) {
  const double cpu = ThreadCpuMilliseconds();
  const auto start = Clock::now();
  work();
  samples.wall.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  samples.cpu.push_back(ThreadCpuMilliseconds() - cpu);
}

double Median(std::vector<double> values) {
  if (values.empty()) return NAN;
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// ---- A drive shaped like a Windows system drive --------------------------------------------------------

// One directory of the drive, as it is now and as it was when the reference was taken.
struct Directory {
  std::string path;  // with its final "\"
  int depth = 0;
  int parent = -1;
  std::vector<int> children;
  bool now = true;                 // in the scan
  bool before = true;              // in the reference
  int64_t own = 0, ownBefore = 0;  // bytes of its own files
  int64_t total = 0, totalBefore = 0;
};

class Drive {
 public:
  explicit Drive(uint32_t seed) : random_(seed) { dirs_.emplace_back().path = "C:\\"; }

  // Grows the drive until the scan would hold `directories` records, the reference about as many.
  void Grow(int directories) {
    for (const char* path : {"Windows\\System32\\DriverStore\\FileRepository\\",
                             "Windows\\System32\\zh-CN\\",
                             "Windows\\SysWOW64\\zh-CN\\",
                             "Windows\\Microsoft.NET\\Framework64\\v4.0.30319\\Temporary ASP.NET Files\\",
                             "Windows\\assembly\\NativeImages_v4.0.30319_64\\",
                             "Windows\\servicing\\Packages\\",
                             "Windows\\SoftwareDistribution\\Download\\",
                             "Windows\\Fonts\\",
                             "Windows\\INF\\",
                             "Windows\\Logs\\CBS\\",
                             "Windows\\Installer\\",
                             "Program Files\\Common Files\\microsoft shared\\",
                             "Program Files\\WindowsApps\\",
                             "Program Files\\Microsoft Office\\root\\Office16\\",
                             "Program Files (x86)\\Microsoft\\Edge\\Application\\",
                             "Program Files (x86)\\腾讯\\QQ\\",
                             "ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\",
                             "ProgramData\\Package Cache\\",
                             "Users\\管理员\\AppData\\Local\\Microsoft\\Windows\\INetCache\\",
                             "Users\\管理员\\AppData\\Roaming\\Microsoft\\Windows\\Recent\\",
                             "Users\\管理员\\文档\\",
                             "Users\\管理员\\桌面\\",
                             "Users\\管理员\\下载\\",
                             "Users\\Public\\Documents\\",
                             "Recovery\\WindowsRE\\",
                             "PerfLogs\\",
                             "$Recycle.Bin\\S-1-5-21-3623811015-3361044348-30300820-1013\\"}) {
      Ensure(std::string("C:\\") + path);
    }
    // The random growth below stays out of WinSxS.
    growable_.resize(dirs_.size());
    std::iota(growable_.begin(), growable_.end(), 0);
    // WinSxS: a wide, flat folder of long component names, the bulk of a system drive's directories.
    const int sxs = Ensure("C:\\Windows\\WinSxS\\");
    for (int i = 0; i < directories * 2 / 5; ++i) {
      const int component = Add(sxs, ComponentName());
      if (Chance(0.2)) Add(component, "f"), Add(component, "r");
    }
    while (ScanCount() < directories) {
      // A random directory, sometimes its parent instead, keeps the depths realistic (most between 3 and 8).
      int parent = growable_[random_() % growable_.size()];
      while (dirs_[parent].depth >= 12 || (dirs_[parent].depth > 3 && Chance(0.35))) parent = dirs_[parent].parent;
      growable_.push_back(Add(parent, Name()));
    }
    for (Directory& dir : dirs_) {
      dir.own = Chance(0.3) ? 0 : static_cast<int64_t>(std::exp2(Uniform(8, 27)));
      // Almost half of the directories that stayed have grown since the reference; gone ones had their own.
      dir.ownBefore = dir.own;
      if (!dir.now) dir.ownBefore = static_cast<int64_t>(std::exp2(Uniform(8, 25)));
      else if (dir.before && Chance(0.45)) dir.ownBefore = static_cast<int64_t>(dir.own * Uniform(0.3, 1.0));
    }
    // Parents come before their children, so one backward sweep sums every subtree.
    for (size_t i = dirs_.size(); i-- > 1;) {
      Directory& dir = dirs_[i];
      dir.total += dir.now ? dir.own : 0;
      dir.totalBefore += dir.before ? dir.ownBefore : 0;
      dirs_[dir.parent].total += dir.now ? dir.total : 0;
      dirs_[dir.parent].totalBefore += dir.before ? dir.totalBefore : 0;
    }
    for (Directory& dir : dirs_) {
      std::sort(dir.children.begin(), dir.children.end(), [&](int a, int b) { return dirs_[a].path < dirs_[b].path; });
    }
  }

  // The scan table, or the reference's records, in walk order: a block of each directory's children
  // before the children's own blocks. The root holds the volume's used bytes.
  ScanTable Table(bool now) const {
    ScanTable table;
    table.append("C:\\", (now ? dirs_[0].total : dirs_[0].totalBefore) + (int64_t{9} << 30));
    Walk(0, now, table);
    table.enumerated = table.count() - 1;
    return table;
  }

 private:
  bool Chance(double p) { return std::uniform_real_distribution<double>(0, 1)(random_) < p; }
  double Uniform(double low, double high) { return std::uniform_real_distribution<double>(low, high)(random_); }
  template <class T, size_t N>
  const char* Pick(const T (&pool)[N]) {
    return pool[random_() % N];
  }
  std::string Hex(int digits) {
    std::string text;
    for (int i = 0; i < digits; ++i) text += "0123456789abcdef"[random_() % 16];
    return text;
  }

  int ScanCount() const { return scanCount_; }

  int Add(int parent, const std::string& name) {
    Directory dir;
    dir.path = dirs_[parent].path + name + "\\";
    dir.depth = dirs_[parent].depth + 1;
    dir.parent = parent;
    // Whole subtrees are new since the reference, or gone since.
    dir.now = dirs_[parent].now && !(dirs_[parent].before && Chance(0.04));
    dir.before = dirs_[parent].before && !(dir.now && dirs_[parent].now && Chance(0.04));
    if (!dir.now && !dir.before) dir.before = true;
    scanCount_ += dir.now;
    dirs_.push_back(std::move(dir));
    const int index = static_cast<int>(dirs_.size()) - 1;
    dirs_[parent].children.push_back(index);
    return index;
  }

  // The directory at a path of the skeleton, made with its parents; the skeleton is in both trees.
  int Ensure(const std::string& path) {
    int at = 0;
    for (size_t end = path.find('\\', 3); end != std::string::npos; end = path.find('\\', end + 1)) {
      const std::string prefix = path.substr(0, end + 1);
      int found = -1;
      for (const int child : dirs_[at].children) {
        if (dirs_[child].path == prefix) found = child;
      }
      if (found < 0) {
        found = Add(at, path.substr(dirs_[at].path.size(), end - dirs_[at].path.size()));
        scanCount_ += !dirs_[found].now;
        dirs_[found].now = dirs_[found].before = true;
      }
      at = found;
    }
    return at;
  }

  std::string ComponentName() {
    static const char* const arch[] = {"amd64", "amd64", "x86", "wow64", "msil"};
    static const char* const part[] = {"microsoft-windows-servicingstack",
                                       "microsoft-windows-i..national-core-ime",
                                       "microsoft-windows-t..etworking-mpssvc",
                                       "microsoft.windows.common-controls",
                                       "microsoft-windows-shell32",
                                       "microsoft-windows-a..ence-infrastructure",
                                       "microsoft-windows-directx-direct3d11",
                                       "microsoft-windows-font-truetype-simsun",
                                       "microsoft-windows-d..ommon-inbox-drivers",
                                       "netfx4-system.web"};
    static const char* const lang[] = {"none", "none", "none", "zh-cn", "en-us"};
    return std::string(Pick(arch)) + "_" + Pick(part) + "_31bf3856ad364e35_10.0.19041." +
           std::to_string(random_() % 4000) + "_" + Pick(lang) + "_" + Hex(16);
  }

  std::string Name() {
    static const char* const plain[] = {"Microsoft",
                                        "Common Files",
                                        "Resources",
                                        "Themes",
                                        "Assets",
                                        "Cache",
                                        "Logs",
                                        "Temp",
                                        "Data",
                                        "Config",
                                        "Plugins",
                                        "Extensions",
                                        "Locales",
                                        "Packages",
                                        "Modules",
                                        "Drivers",
                                        "x64",
                                        "x86",
                                        "amd64",
                                        "bin",
                                        "lib",
                                        "Images",
                                        "Icons",
                                        "Help",
                                        "Backup",
                                        "Settings",
                                        "User Data",
                                        "Default",
                                        "Code Cache",
                                        "GPUCache",
                                        "Service Worker",
                                        "CacheStorage",
                                        "IndexedDB",
                                        "Local Storage",
                                        "leveldb",
                                        "Crashpad",
                                        "Profiles",
                                        "Application",
                                        "Update",
                                        "Setup",
                                        "Tools",
                                        "Shared",
                                        "Runtime",
                                        "Components",
                                        "Templates",
                                        "Media",
                                        "en-US",
                                        "zh-CN",
                                        "WindowsPowerShell",
                                        "Speech_OneCore",
                                        "SystemResources",
                                        "Windows.UI.Xaml"};
    // Some names carry a GBK trail byte 0x5C (東, 運, 誠): "\" bytes that are no separators.
    static const char* const chinese[] = {"用户",     "文档",   "桌面",     "下载",     "图片",       "音乐",
                                          "视频",     "收藏夹", "腾讯",     "应用数据", "缓存",       "临时文件",
                                          "输入法",   "字体",   "驱动程序", "备份",     "日志",       "配置文件",
                                          "系统更新", "游戏",   "工具",     "浏览器",   "新建文件夹", "微信文件",
                                          "聊天记录", "東芝",   "運行記錄", "誠品資料"};
    static const char* const packaged[] = {"Microsoft.WindowsStore_12107.1001.15.0_x64__8wekyb3d8bbwe",
                                           "Microsoft.VCLibs.140.00_14.0.30704.0_x64__8wekyb3d8bbwe",
                                           "Microsoft.Windows.Photos_2021.21090.10008.0_x64__8wekyb3d8bbwe",
                                           "windows.immersivecontrolpanel_cw5n1h2txyewy"};
    const double kind = Uniform(0, 1);
    if (kind < 0.45) return std::string(Pick(plain)) + (Chance(0.5) ? "" : std::to_string(random_() % 100));
    if (kind < 0.65) return std::string(Pick(chinese)) + (Chance(0.6) ? "" : std::to_string(random_() % 20));
    if (kind < 0.80) {
      std::string guid = "{";
      for (const int digits : {8, 4, 4, 4, 12}) guid.append(Hex(digits)).append(digits == 12 ? "}" : "-");
      return guid;
    }
    if (kind < 0.90) return Pick(packaged);
    return Hex(2) + Hex(38);  // a cache or store hash
  }

  void Walk(int at, bool now, ScanTable& table) const {
    const auto present = [&](int child) { return now ? dirs_[child].now : dirs_[child].before; };
    for (const int child : dirs_[at].children) {
      if (present(child)) table.append(dirs_[child].path, now ? dirs_[child].total : dirs_[child].totalBefore);
    }
    for (const int child : dirs_[at].children) {
      if (present(child) && std::any_of(dirs_[child].children.begin(), dirs_[child].children.end(), present)) {
        Walk(child, now, table);
      }
    }
  }

  std::mt19937 random_;
  std::vector<Directory> dirs_;
  std::vector<int> growable_;  // every directory outside WinSxS
  int scanCount_ = 0;
};

// ---- The passes -----------------------------------------------------------------------------------------

// One program's window and machine, as the compare button's worker sees them. The passes run on the
// thread that built the toolkit, its window thread; the program runs them on a worker, where
// WaitPumping(0) returns at once instead of running the queued events (there are none here).
struct Bench {
  MemoryFileSystem files;
  HeadlessToolkit toolkit{MainWindowForm()};
  ProgramState state;
  ProgramContext context{toolkit, files, state};
};

// ComparisonPass with the plain searches in place of the indexes, on the same toolkit with the same
// calls per step and per listed row (the progress text always in its zero-limit wording), so that the
// two differ in their searches alone.
void PlainComparisonPass(ProgramContext& context, const std::string& reference, int64_t minIncrement) {
  WindowToolkit& toolkit = context.toolkit;
  const ScanTable& table = context.state.scanTable;
  const int count = table.count();
  std::string listed;  // "path|size" CR LF per listed row, in listing order
  int rows = 0;
  for (int step = 1; step <= count; ++step) {
    const int record = count - step + 1;
    const std::string& path = table.path(record);
    const int64_t current = table.size(record);
    const int64_t before = PlainLookup(reference, path);
    const double increment = static_cast<double>(current) - static_cast<double>(before);
    if (increment - static_cast<double>(minIncrement) >= -0.0000001) {
      const int64_t listedBelow = !listed.empty() && before != 0 ? PlainListedSize(listed, path) : 0;
      if (increment - static_cast<double>(listedBelow) > 0.0000001) {
        listed += path + "|" + std::to_string(current) + "\r\n";
        ListResultRow(toolkit, ++rows, path, current, static_cast<int64_t>(std::trunc(increment)));
      }
    }
    toolkit.SetText(Control::过程框, ProgressLine(step, table.enumerated, rows, true, ""));
  }
}

// The pass's toolkit calls and progress texts alone, for the rows it listed, their cells already formatted.
void ToolkitCallsAlone(ProgramContext& context, const std::vector<std::vector<std::string>>& listedRows) {
  WindowToolkit& toolkit = context.toolkit;
  const int count = context.state.scanTable.count();
  size_t next = 0;
  for (int step = 1; step <= count; ++step) {
    // The rows fall evenly over the steps, as near as it matters here.
    while (next < listedRows.size() && next * count < listedRows.size() * static_cast<size_t>(step)) {
      const auto& cells = listedRows[next++];
      const int row = toolkit.ListAppendRow(Control::列表框, cells[0]);
      for (int cell = 1; cell < 7; ++cell) toolkit.ListSetCell(Control::列表框, row, cell, cells[cell]);
      toolkit.PumpIfInput();
      toolkit.ListEnsureVisible(Control::列表框, row);
      toolkit.WaitPumping(0);
    }
    toolkit.SetText(Control::过程框, " 比对进度：" + std::to_string(step) + "/" + std::to_string(count) +
                                         "，发现具有增量的目录" + std::to_string(next) + "个");
  }
}

// The cells' texts the pass formats for the rows it listed: the depth, the sizes and their unit texts.
size_t FormattingAlone(const std::vector<std::vector<std::string>>& listedRows) {
  size_t bytes = 0;
  for (size_t row = 0; row < listedRows.size(); ++row) {
    const auto& cells = listedRows[row];
    const int64_t size = TextToInteger(cells[3]), growth = TextToInteger(cells[5]);
    for (const std::string& text : {std::to_string(row + 1), std::to_string(PathDepth(cells[2])), std::to_string(size),
                                    SizeText(size), std::to_string(growth), SizeText(growth)}) {
      bytes += text.size();
    }
  }
  return bytes;
}

// Paths and growth of the listed rows: what two passes must agree on.
std::vector<std::string> Listing(HeadlessToolkit& toolkit) {
  std::vector<std::string> rows;
  for (const auto& row : toolkit.ListRows()) rows.push_back(row[2] + " " + row[5]);
  return rows;
}

void PrintRow(const std::string& what, const Samples& samples, const char* target = "") {
  std::printf("  %-64s %9.1f %9.1f %5zu   %s\n", what.c_str(), Median(samples.wall), Median(samples.cpu),
              samples.wall.size(), target);
}

std::string Thousands(int64_t n) {
  const std::string digits = std::to_string(n);
  std::string text;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
    text += digits[i];
  }
  return text;
}

int Run(int runs, bool withPlain) {
  // The pass: a scan of about 27,000 directories against a reference of about as many lines.
  Drive drive(27034);
  drive.Grow(27000);
  Bench bench;
  bench.state.scanTable = drive.Table(true);
  const Bytes reference = SnapshotText(drive.Table(false));
  int depthMax = 0;
  size_t pathBytes = 0;
  for (int r = 1; r <= bench.state.scanTable.count(); ++r) {
    depthMax = std::max(depthMax, PathDepth(bench.state.scanTable.path(r)));
    pathBytes += bench.state.scanTable.path(r).size();
  }
  const int referenceLines = static_cast<int>(std::count(reference.begin(), reference.end(), '\n'));
  std::printf("Scan table: %s directories, depth up to %d, mean path %zu bytes. Reference: %s lines, %.2f MB.\n",
              Thousands(bench.state.scanTable.count()).c_str(), depthMax, pathBytes / bench.state.scanTable.count(),
              Thousands(referenceLines).c_str(), reference.size() / 1e6);
  std::printf("  %-64s %9s %9s %5s   %s\n", "(medians in milliseconds)", "wall", "cpu", "runs", "target");

  Samples index;
  for (int i = 0; i < runs; ++i) {
    std::optional<Bytes> copy = reference;
    bench.state.reference.assign(std::nullopt);
    Measure(index, [&] { bench.state.reference.assign(std::move(copy)); });
  }
  PrintRow("reference index built (assign, once per load)", index);

  Samples lookups;
  volatile int64_t sink = 0;  // keeps the bare lookups and formatting from being optimised away
  for (int i = 0; i < runs; ++i) {
    Measure(lookups, [&] {
      int64_t sum = 0;
      for (int r = 1; r <= bench.state.scanTable.count(); ++r)
        sum += bench.state.reference.lookup(bench.state.scanTable.path(r));
      sink = sum;
    });
  }
  PrintRow("  the pass's " + Thousands(bench.state.scanTable.count()) + " indexed lookups alone", lookups);

  // A zero limit lists a third of the directories; 200 MB lists few.
  struct Limit {
    const char* text;
    int unit;
  };
  int failures = 0;
  for (const Limit limit : {Limit{"", 0}, Limit{"200", 2}}) {
    bench.toolkit.SetText(Control::限制框, limit.text);
    bench.toolkit.SetSelectedIndex(Control::单位框, limit.unit);
    const int64_t minimum = MinIncrement(limit.text, limit.unit);
    const std::string label = *limit.text ? std::string(limit.text) + " MB" : "0";
    Samples pass;
    for (int i = 0; i < runs; ++i) {
      bench.toolkit.ListClear(Control::列表框);
      Measure(pass, [&] { ComparisonPass(bench.context, minimum); });
    }
    const std::vector<std::string> indexed = Listing(bench.toolkit);
    PrintRow(
        "comparison pass, limit " + label + " (" + Thousands(static_cast<int64_t>(indexed.size())) + " rows listed)",
        pass, "< 50");

    const auto listedRows = bench.toolkit.ListRows();
    Samples calls;
    for (int i = 0; i < runs; ++i) {
      bench.toolkit.ListClear(Control::列表框);
      Measure(calls, [&] { ToolkitCallsAlone(bench.context, listedRows); });
    }
    PrintRow("  its toolkit calls and progress texts alone", calls);
    Samples formatting;
    for (int i = 0; i < runs; ++i)
      Measure(formatting, [&] { sink = static_cast<int64_t>(FormattingAlone(listedRows)); });
    PrintRow("  its cell formatting alone (PathDepth, to_string, SizeText x2)", formatting);

    if (withPlain) {
      bench.toolkit.ListClear(Control::列表框);
      Samples plain;
      Measure(plain, [&] { PlainComparisonPass(bench.context, reference, minimum); });
      PrintRow("plain-search pass, limit " + label + " (same toolkit calls)", plain);
      std::printf("  %-64s %8.0fx %8.0fx\n", "  plain / indexed", Median(plain.wall) / Median(pass.wall),
                  Median(plain.cpu) / Median(pass.cpu));
      if (Listing(bench.toolkit) != indexed) {
        std::printf("  !! the plain pass listed other rows than the indexed pass\n");
        ++failures;
      }
    }
  }

  // The sort: 30,000 rows as a comparison lists them (last record first, seven cells each).
  Drive big(30000);
  big.Grow(30400);
  const ScanTable bigScan = big.Table(true), bigReference = big.Table(false);
  std::unordered_map<std::string_view, int64_t> sizeBefore;
  for (int r = 1; r <= bigReference.count(); ++r) sizeBefore.emplace(bigReference.path(r), bigReference.size(r));
  std::vector<std::vector<std::string>> rows;
  for (int r = bigScan.count(); r >= 1 && rows.size() < 30000; --r) {
    const std::string& path = bigScan.path(r);
    const auto before = sizeBefore.find(path);
    const int64_t size = bigScan.size(r), growth = size - (before == sizeBefore.end() ? 0 : before->second);
    rows.push_back({std::to_string(rows.size() + 1), std::to_string(PathDepth(path)), path, std::to_string(size),
                    SizeText(size), std::to_string(growth), SizeText(growth)});
  }
  const auto fill = [&] {
    bench.toolkit.ListClear(Control::列表框);
    for (const auto& cells : rows) {
      const int row = bench.toolkit.ListAppendRow(Control::列表框, cells[0]);
      for (int cell = 1; cell < 7; ++cell) bench.toolkit.ListSetCell(Control::列表框, row, cell, cells[cell]);
    }
  };
  // The group titles in English: the program's own are GBK bytes, which a UTF-8 terminal garbles.
  static const char* const kTitles[] = {"ID", "level", "path", "size", "", "growth"};
  for (const int column : {0, 1, 2, 3, 5}) {
    // Each sort starts from the comparison's order; the group's flag alternates the direction.
    Samples direction[2];
    for (int i = 0; i < 2 * runs; ++i) {
      fill();
      const bool ascending = bench.state.sort.ascending[column == 5 ? 4 : column];
      Measure(direction[ascending], [&] { ColumnSorter(bench.context, bench.state.sort, column); });
      // A sort that returned early (an empty list, a busy status) would time nothing: check the order.
      const auto sorted = bench.toolkit.ListRows();
      const auto outOfOrder = [&](const std::vector<std::string>& a, const std::vector<std::string>& b) {
        const bool less = column == 2 ? a[2] < b[2] : TextToInteger(a[column]) < TextToInteger(b[column]);
        const bool greater = column == 2 ? b[2] < a[2] : TextToInteger(b[column]) < TextToInteger(a[column]);
        return ascending ? greater : less;
      };
      if (std::adjacent_find(sorted.begin(), sorted.end(), outOfOrder) != sorted.end()) {
        std::printf("  !! column %d was not sorted\n", column);
        ++failures;
      }
    }
    for (const bool ascending : {false, true}) {
      PrintRow("sort " + Thousands(static_cast<int64_t>(rows.size())) + " rows by column " + std::to_string(column) +
                   " (" + kTitles[column] + (ascending ? ") ascending" : ") descending"),
               direction[ascending], "< 100");
    }
  }
  return failures == 0 ? 0 : 1;
}

}  // namespace
}  // namespace korvane

int main(int argc, char** argv) {
  // --runs N sets the repetitions of the cheap measurements; --no-plain skips the slow plain passes.
  int runs = 7;
  bool withPlain = true;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
    if (std::strcmp(argv[i], "--no-plain") == 0) withPlain = false;
  }
  return korvane::Run(runs, withPlain);
}
