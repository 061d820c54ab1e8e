// The directories that one scan has measured, shared by the platforms' size measurements: a node per
// directory, its GBK name, and an index from (parent, name) that finds a core path's node again.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "snapshot/gbk_text.h"

namespace korvane {

inline constexpr uint32_t kNoNode = UINT32_MAX;

// One directory. Its subdirectories are the nodes firstChild .. firstChild + childCount - 1, in listing
// order, and every node's index is above its parent's, so one backward pass adds the totals up.
struct MeasuredNode {
  int64_t total = 0;  // its own files during the walk; everything below it after the walk
  uint32_t parent = kNoNode;
  uint32_t firstChild = 0;
  uint32_t childCount = 0;
  uint32_t nameOffset = 0;
  uint16_t nameLength = 0;
  uint8_t flags = 0;  // each platform's own
};

class MeasuredTree {
 public:
  std::deque<MeasuredNode> nodes;  // grows while walkers hold pointers into it: a deque keeps them valid
  std::string names;

  std::string_view Name(const MeasuredNode& node) const { return {names.data() + node.nameOffset, node.nameLength}; }

  // A new measurement root, named by its whole key; gives its index.
  uint32_t AddRoot(std::string_view key) {
    const auto index = static_cast<uint32_t>(nodes.size());
    MeasuredNode& root = nodes.emplace_back();
    root.nameOffset = static_cast<uint32_t>(names.size());
    root.nameLength = static_cast<uint16_t>(std::min<size_t>(key.size(), UINT16_MAX));
    names += key.substr(0, root.nameLength);
    return index;
  }

  // After the walk from root: every node's total goes into its parent's, from the last node back.
  void AddUpTotals(uint32_t root) {
    for (auto index = static_cast<uint32_t>(nodes.size() - 1); index > root; --index) {
      nodes[nodes[index].parent].total += nodes[index].total;
    }
  }

  // The child of parent named name; measurement roots have no parent and are named by their whole key.
  uint32_t Find(uint32_t parent, std::string_view name) const {
    if (slots_.empty()) return kNoNode;
    const size_t mask = slots_.size() - 1;
    for (size_t at = Hash(parent, name) & mask;; at = (at + 1) & mask) {
      const uint32_t index = slots_[at];
      if (index == kNoNode) return kNoNode;
      if (nodes[index].parent == parent && Name(nodes[index]) == name) return index;
    }
  }

  // Makes a node findable by its parent and name.
  void Index(uint32_t index) {
    if ((indexed_ + 1) * 2 > slots_.size()) {
      std::vector<uint32_t> old =
          std::exchange(slots_, std::vector<uint32_t>(std::max<size_t>(64, slots_.size() * 2), kNoNode));
      for (const uint32_t placed : old) {
        if (placed != kNoNode) Place(placed);
      }
    }
    Place(index);
    ++indexed_;
  }

  // The node of a directory path in core form: a measured root, then its subdirectories name by name.
  // A root measured later inside an earlier one (a directory made after the earlier walk) is found by
  // trying the longer prefixes when the shorter one leads nowhere.
  uint32_t Lookup(std::string_view key) const {
    for (size_t end = FirstSeparator(key);; end += 1 + FirstSeparator(key.substr(end + 1))) {
      uint32_t node = Find(kNoNode, key.substr(0, end));
      for (size_t at = end; node != kNoNode && at < key.size();) {
        const size_t length = FirstSeparator(key.substr(at + 1));
        node = Find(node, key.substr(at + 1, length));
        at += 1 + length;
      }
      if (node != kNoNode) return node;
      if (end >= key.size()) return kNoNode;
    }
  }

 private:
  // The position of the first "\" that is a character of its own, or the text's length.
  static size_t FirstSeparator(std::string_view text) {
    for (size_t at = 0; at < text.size(); ++at) {
      if (IsGbkLeadByte(static_cast<unsigned char>(text[at]))) {
        ++at;
      } else if (text[at] == '\\') {
        return at;
      }
    }
    return text.size();
  }

  static size_t Hash(uint32_t parent, std::string_view name) {
    size_t hash = std::hash<std::string_view>{}(name) + parent * static_cast<size_t>(0x9E3779B97F4A7C15ull);
    return hash ^ (hash >> 29);
  }

  void Place(uint32_t index) {
    const size_t mask = slots_.size() - 1;
    size_t at = Hash(nodes[index].parent, Name(nodes[index])) & mask;
    while (slots_[at] != kNoNode) at = (at + 1) & mask;
    slots_[at] = index;
  }

  // Open addressing from (parent, name) to a node.
  std::vector<uint32_t> slots_;
  size_t indexed_ = 0;
};

}  // namespace korvane
