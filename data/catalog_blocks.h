// The built-in reference snapshots carried in the program: one "Gz" container per system, in the order of
// the items of 内部参照.
#pragma once

#include <string_view>

namespace korvane {

constexpr int kCatalogBlockCount = 11;

// The container of entry index (0 to 10), as data/make_catalog.py wrote it into data/catalog/NN.gz.
std::string_view CatalogBlock(int index);

}  // namespace korvane
