// The program's built-in references.
#include "compare/builtin_catalog.h"

#include "data/catalog_blocks.h"

namespace korvane {

std::vector<std::string> BuiltInCatalog::itemTexts() const {
  std::vector<std::string> texts;
  for (const CatalogEntry& entry : entries_) texts.push_back(entry.itemText);
  return texts;
}

const BuiltInCatalog& BuiltInCatalog::Standard() {
  // The containers are built into the program from data/catalog (data/make_catalog.py makes them) and
  // read where they lie.
  static const BuiltInCatalog catalog({
      {"Windows 11 Pro for Workstations 21H2 [10.0.22000.194] 22.47GB", CatalogBlock(0)},
      {"Windows Server 2022 Datacenter 21H2 [10.0.20348.169] 12.24GB", CatalogBlock(1)},
      {"Windows 10 Enterprise LTSC 21H2 [10.0.19044.1288] 21.57GB", CatalogBlock(2)},
      {"Windows Server 2019 Datacenter 1809 [10.0.17763.379] 10.81GB", CatalogBlock(3)},
      {"Windows 8.1[6.3.9600.17415] 16.51GB", CatalogBlock(4)},
      {"Windows 8 Pro [6.2.9200.16384] 18.77GB", CatalogBlock(5)},
      {"Windows 7 Ultimate [6.1.7601.17514] 25.69GB", CatalogBlock(6)},
      {"Windows Server 2008 Datacenter R2 SP1 [6.1.7601] 19.01GB", CatalogBlock(7)},
      {"Windows Vista Ultimate [6.0.6002.18005] 17.02GB", CatalogBlock(8)},
      {"Windows Server 2003 Enterprise SP1 [5.2.3790.1830] 3.55GB", CatalogBlock(9)},
      {"Windows XP SP3 [5.1.2600.5512] 3.72GB", CatalogBlock(10)},
      {"选择此项进行比对,可列出所选分区目录及体积,可限制大小,并输出文件", {}, true},
  });
  return catalog;
}

}  // namespace korvane
