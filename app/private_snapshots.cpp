// The private snapshot list of 外部参照.
#include "app/private_snapshots.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace korvane {
namespace {

// A snapshot file's name opens with its fourteen-digit time stamp.
constexpr size_t kTimeStampLength = 14;

}  // namespace

void RebuildPrivateSnapshotList(ProgramContext& context) {
  WindowToolkit& toolkit = context.toolkit;
  const std::string pattern = AsciiLower("*." + context.state.selectedDrive);
  const std::unique_ptr<DirectoryListing> listing =
      context.files.FindEntries(context.files.ProgramDirectory() + "\\" + pattern, EntryKind::files);
  std::vector<std::string> names;
  for (std::string name = listing->next(); !name.empty(); name = listing->next()) {
    toolkit.ProcessEvents();
    name = AsciiLower(name);
    // The system also matches a name through its short alternative name; only the real extension counts.
    if (name.back() == pattern.back()) names.push_back(std::move(name));
  }

  toolkit.ComboClear(Control::外部参照);
  // Byte order, descending: the newest time stamp first.
  std::sort(names.begin(), names.end(), std::greater<>());
  int index = 0;
  for (const std::string& name : names) {
    if (TextToInteger(std::string_view(name).substr(0, kTimeStampLength)) <= 0) continue;
    toolkit.ComboInsert(Control::外部参照, index++, std::string_view(name).substr(0, name.size() - 2));
  }
}

}  // namespace korvane
