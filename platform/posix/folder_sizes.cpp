// Parallel directory walks, and the memory of the directories that a scan has measured.
#include "platform/posix/folder_sizes.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <set>
#include <thread>
#include <utility>

#include "platform/file_system.h"
#include "platform/measured_tree.h"
#include "platform/parallel_walk.h"
#include "platform/posix/posix_paths.h"
#include "snapshot/gbk_text.h"

namespace korvane::posix {
namespace {

using Node = MeasuredNode;
constexpr uint32_t kNone = kNoNode;

enum NodeFlags : uint8_t {
  kOpened = 1,  // the walk could list it
  kListed = 2,  // its name has a core form: listings show it and lookups find it
};

using FileId = std::pair<uint64_t, uint64_t>;  // device, inode

bool IsDotOrDotDot(const char* name) { return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)); }

std::string ChildPath(const std::string& parent, std::string_view name) {
  std::string path = parent;
  if (path.empty() || path.back() != '/') path.push_back('/');
  path.append(name);
  return path;
}

}  // namespace

// The root directories of all mounts. A directory can be reached twice only through a bind mount, and
// then it is the root of that mount, so these are the only directories a walk must watch for repeats.
struct FolderSizes::MountRoots {
  std::set<FileId> roots;
};

struct FolderSizes::Memory : MeasuredTree {
  std::set<FileId> entered;  // mount roots that a walk of this scan has entered
};

namespace {

// One parallel walk over a memory's nodes: each visit sums a directory's regular files and adds its
// subdirectories as new nodes, leaving mount roots in deferred.
class Walk {
 public:
  struct Task {
    Node* node;
    uint32_t index;
    std::string path;
  };

  Walk(std::deque<Node>& nodes, std::string& names, uint64_t device, const std::set<FileId>& mountRoots, unsigned threads)
      : nodes_(nodes), names_(names), device_(device), mountRoots_(mountRoots), scheduler_(threads) {}

  // Walks the subtree of the task's directory; mount roots met on the way are left in deferred.
  void Run(Task first) {
    scheduler_.Run(std::move(first), [this](const Task& task) { Visit(task); });
  }

  struct Deferred {
    Task task;
    uint64_t inode;
  };
  std::vector<Deferred> deferred;

 private:
  void Visit(const Task& task) {
    if (task.path.size() >= PATH_MAX) return;
    const int fd = open(task.path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return;
    DIR* directory = fdopendir(fd);
    if (!directory) {
      close(fd);
      return;
    }
    struct Found {
      std::string name;
      uint64_t inode;
      std::u16string order;  // the listing's order
    };
    std::vector<Found> subdirectories;
    int64_t bytes = 0;
    while (const dirent* entry = readdir(directory)) {
      // The entry type spares a stat for every link, device and socket; files need one for the size.
      const unsigned char type = entry->d_type;
      if ((type != DT_REG && type != DT_DIR && type != DT_UNKNOWN) || IsDotOrDotDot(entry->d_name)) continue;
      struct stat status {};
      if (fstatat(fd, entry->d_name, &status, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT) != 0) continue;
      if (status.st_dev != device_) continue;
      if (S_ISREG(status.st_mode)) {
        bytes += status.st_size;
      } else if (S_ISDIR(status.st_mode)) {
        subdirectories.push_back({entry->d_name, status.st_ino, ListingKey(entry->d_name)});
      }
    }
    closedir(directory);
    task.node->total = bytes;
    task.node->flags |= kOpened;
    if (subdirectories.empty()) return;
    // Remembered in the order the listing gives them, so that a scan's answers equal the disk's.
    std::sort(subdirectories.begin(), subdirectories.end(),
              [](const Found& a, const Found& b) { return a.order < b.order; });

    std::vector<std::optional<std::string>> coreNames;
    std::vector<std::string> paths;
    for (const Found& found : subdirectories) {
      coreNames.push_back(CoreName(found.name));
      paths.push_back(ChildPath(task.path, found.name));
    }
    scheduler_.Publish([&](const auto& push) {
      const auto first = static_cast<uint32_t>(nodes_.size());
      task.node->firstChild = first;
      task.node->childCount = static_cast<uint32_t>(subdirectories.size());
      for (size_t i = 0; i < subdirectories.size(); ++i) {
        Node& child = nodes_.emplace_back();
        child.parent = task.index;
        if (coreNames[i]) {
          child.nameOffset = static_cast<uint32_t>(names_.size());
          child.nameLength = static_cast<uint16_t>(coreNames[i]->size());
          child.flags = kListed;
          names_ += *coreNames[i];
        }
        Task childTask{&child, first + static_cast<uint32_t>(i), std::move(paths[i])};
        if (mountRoots_.count({device_, subdirectories[i].inode})) {
          deferred.push_back({std::move(childTask), subdirectories[i].inode});
        } else {
          push(std::move(childTask));
        }
      }
    });
  }

  std::deque<Node>& nodes_;  // with names_ and deferred, guarded by the scheduler's lock
  std::string& names_;
  const uint64_t device_;
  const std::set<FileId>& mountRoots_;
  ParallelWalk<Task> scheduler_;
};

// The positions of a node and its ancestors among their siblings, from the measured root down: the
// order of these keys is the order in which a depth-first walk in listing order reaches the nodes.
std::vector<uint32_t> DepthFirstKey(const std::deque<Node>& nodes, uint32_t root, uint32_t index) {
  std::vector<uint32_t> key;
  for (; index != root; index = nodes[index].parent) key.push_back(index - nodes[nodes[index].parent].firstChild);
  std::reverse(key.begin(), key.end());
  return key;
}

}  // namespace

FolderSizes::FolderSizes(unsigned threads)
    : threads_(threads ? threads : std::max(1u, std::thread::hardware_concurrency())),
      mountTable_(open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC)) {}

FolderSizes::~FolderSizes() {
  if (mountTable_ >= 0) close(mountTable_);
}

const FolderSizes::MountRoots& FolderSizes::CurrentMountRoots() {
  // The kernel marks the open mount table when a mount comes or goes, and a poll reports and clears
  // the mark; polling before reading means a change during the reading is seen at the next call.
  pollfd watch{mountTable_, POLLPRI, 0};
  if (mountRoots_ && mountTable_ >= 0 && poll(&watch, 1, 0) == 0) return *mountRoots_;
  mountRoots_ = std::make_unique<MountRoots>();
  for (const MountEntry& mount : ReadMountTable()) {
    struct stat status {};
    if (fstatat(AT_FDCWD, mount.mountPoint.c_str(), &status, AT_NO_AUTOMOUNT) == 0 && S_ISDIR(status.st_mode)) {
      mountRoots_->roots.insert({status.st_dev, status.st_ino});
    }
  }
  return *mountRoots_;
}

void FolderSizes::BeginScan() {
  std::lock_guard lock(mutex_);
  scan_ = std::make_unique<Memory>();
}

void FolderSizes::EndScan() {
  std::lock_guard lock(mutex_);
  scan_.reset();
}

int64_t FolderSizes::Measure(const std::string& key, const std::string& native, const std::string& deviceOf) {
  std::lock_guard lock(mutex_);
  if (scan_) {
    if (const uint32_t known = scan_->Lookup(key); known != kNone) return scan_->nodes[known].total;
  }
  struct stat status {};
  struct stat home {};
  if (native.size() >= PATH_MAX || lstat(native.c_str(), &status) != 0 || !S_ISDIR(status.st_mode) ||
      stat(deviceOf.c_str(), &home) != 0 || status.st_dev != home.st_dev) {
    return 0;
  }
  const uint64_t device = status.st_dev;
  Memory once;  // outside a scan the walk's nodes are dropped after this one measurement
  const bool remember = scan_ && key.size() <= UINT16_MAX;
  Memory& memory = remember ? *scan_ : once;
  const std::set<FileId>& mountRoots = CurrentMountRoots().roots;

  const uint32_t root = memory.AddRoot(key);
  Node& rootNode = memory.nodes[root];
  rootNode.flags = kListed;

  // The walk that led here passed the ancestors up to the drive's directory: a bind mount of one of
  // them below is a repeat.
  if (native.starts_with(deviceOf)) {
    for (size_t end = std::max<size_t>(deviceOf.size(), 1); end < native.size(); end = native.find('/', end + 1)) {
      struct stat ancestor {};
      if (lstat(native.substr(0, end).c_str(), &ancestor) == 0 && mountRoots.count({device, ancestor.st_ino})) {
        memory.entered.insert({device, ancestor.st_ino});
      }
    }
  }
  const FileId rootId{device, status.st_ino};
  if (mountRoots.count(rootId) && !memory.entered.insert(rootId).second) {
    rootNode.flags |= kOpened;  // reached before in this scan: a repeat counts as empty
  } else {
    Walk walk(memory.nodes, memory.names, device, mountRoots, threads_);
    walk.Run({&rootNode, root, native});
    // Mount roots wait until the tree around them is known, then go in depth-first order, so the first
    // of two ways to a directory is the one a single walker would have taken.
    while (!walk.deferred.empty()) {
      const auto next = std::min_element(walk.deferred.begin(), walk.deferred.end(), [&](const auto& a, const auto& b) {
        return DepthFirstKey(memory.nodes, root, a.task.index) < DepthFirstKey(memory.nodes, root, b.task.index);
      });
      Walk::Deferred met = std::move(*next);
      walk.deferred.erase(next);
      if (memory.entered.insert({device, met.inode}).second) {
        walk.Run(std::move(met.task));
      } else {
        met.task.node->flags |= kOpened;  // the repeat counts as empty
      }
    }
  }
  memory.AddUpTotals(root);
  if (remember) {
    for (auto index = root; index < memory.nodes.size(); ++index) {
      if (memory.nodes[index].flags & kListed) memory.Index(index);
    }
  }
  return memory.nodes[root].total;
}

std::optional<std::vector<std::string>> FolderSizes::RememberedDirectories(std::string_view key, std::string_view pattern) {
  std::lock_guard lock(mutex_);
  if (!scan_) return std::nullopt;
  const uint32_t found = scan_->Lookup(key);
  if (found == kNone) return std::nullopt;
  const Node& node = scan_->nodes[found];
  std::vector<std::string> names;
  if (!(node.flags & kOpened)) return names;
  for (const char* dots : {".", ".."}) {
    if (MatchesSearchPattern(pattern, dots)) names.emplace_back(dots);
  }
  for (uint32_t child = node.firstChild; child < node.firstChild + node.childCount; ++child) {
    const Node& subdirectory = scan_->nodes[child];
    if ((subdirectory.flags & kListed) && MatchesSearchPattern(pattern, scan_->Name(subdirectory))) {
      names.emplace_back(scan_->Name(subdirectory));
    }
  }
  return names;
}

}  // namespace korvane::posix
