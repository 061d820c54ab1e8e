// A LibraryHost that maps images into ordinary memory and runs nothing: the loader's portable work on
// any OS, where tests and the fuzzer watch what it asks of the host.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "support/in_memory_library.h"

namespace korvane {

class InertLibraryHost final : public LibraryHost {
 public:
  struct EntryCall {
    uintptr_t address;
    uint32_t reason;
  };

  // Blocks above largestBlock bytes are refused, as a real host refuses what it has no room for.
  explicit InertLibraryHost(size_t largestBlock = size_t{64} << 20) : largestBlock_(largestBlock) {}

  bool accepts(pe::Format) const override { return true; }
  // Never at the preferred address: every image mapped here is relocated.
  unsigned char* allocate(uint64_t preferredAddress, size_t size) override;
  bool release(unsigned char* block, size_t size) override;
  // A distinct made-up address per import (below 2^32, so that PE32 images take it too), except for
  // the function named missingImport.
  uint64_t importAddress(const char* module, const pe::ImportedFunction& function) override;
  // Records the call and answers attachResult for an attach.
  bool enterDll(uintptr_t entryPoint, uint32_t reason) override;

  // The first made-up import address; the nth import (from 0) gets this plus 16 n.
  static constexpr uint64_t kFirstImportAddress = 0x10000;

  std::string missingImport;
  bool attachResult = true;
  std::vector<std::string> imports;  // "module!name" or "module#ordinal", in the order bound
  std::vector<EntryCall> entryCalls;
  size_t liveBlocks = 0;

 private:
  size_t largestBlock_;
};

}  // namespace korvane
