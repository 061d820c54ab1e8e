// korvane catalog: the items of 内部参照 and the texts of the built-in reference snapshots.
#include "cli/catalog_command.h"

#include <iostream>

#include "compare/builtin_catalog.h"
#include "platform/text_encoding.h"
#include "snapshot/gz_container.h"

namespace korvane {

int Catalog(std::optional<int> dump) {
  const BuiltInCatalog& catalog = BuiltInCatalog::Standard();
  if (!dump) {
    for (int index = 0; index < catalog.count(); ++index) {
      std::cout << index << "\t" << Gb18030ToUtf8(catalog.entry(index).itemText).text << "\n";
    }
    return std::cout ? 0 : 1;
  }
  if (*dump < 0 || *dump >= catalog.count() || catalog.entry(*dump).statisticsMarker) {
    std::cerr << "korvane: entry " << *dump << " holds no snapshot; the snapshots are 0 to " << catalog.count() - 2
              << "\n";
    return 1;
  }
  const Bytes text = GzContainer::unpack(catalog.entry(*dump).container);
  if (text.empty()) {
    std::cerr << "korvane: entry " << *dump << " does not unpack\n";
    return 1;
  }
  const std::string utf8 = Gb18030ToUtf8(text).text;
  std::cout.write(utf8.data(), static_cast<std::streamsize>(utf8.size()));
  std::cout.flush();
  return std::cout ? 0 : 1;
}

}  // namespace korvane
