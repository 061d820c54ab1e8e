// The built-in references: snapshots of freshly installed systems carried in the program, one per item of
// 内部参照, and the last item, which chooses the statistics run instead.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "snapshot/gbk_text.h"

namespace korvane {

struct CatalogEntry {
  // The text 内部参照 shows.
  std::string itemText;
  // A "Gz" container of the snapshot text, in data that outlives the catalog (the program's own image);
  // nothing for the statistics entry.
  std::string_view container;
  bool statisticsMarker = false;
};

class BuiltInCatalog {
 public:
  explicit BuiltInCatalog(std::vector<CatalogEntry> entries) : entries_(std::move(entries)) {}

  int count() const { return static_cast<int>(entries_.size()); }
  // Index from 0, as 内部参照 counts its items.
  const CatalogEntry& entry(int index) const { return entries_.at(static_cast<size_t>(index)); }
  std::vector<std::string> itemTexts() const;

  // The program's own catalog.
  static const BuiltInCatalog& Standard();

 private:
  std::vector<CatalogEntry> entries_;
};

}  // namespace korvane
