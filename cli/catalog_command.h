// korvane catalog: the items of 内部参照 and the texts of the built-in reference snapshots.
#pragma once

#include <optional>

namespace korvane {

// Without dump: every item of 内部参照 with its index, one a line. With dump: the snapshot text of that
// entry (0 to 10) as UTF-8; 1 with a reason for any other index.
int Catalog(std::optional<int> dump);

}  // namespace korvane
