// Mapping into ordinary memory with made-up imports and recorded entry-point calls.
#include "support/in_memory_library_inert.h"

#include <new>
#include <utility>

namespace korvane {

unsigned char* InertLibraryHost::allocate(uint64_t, size_t size) {
  if (size > largestBlock_) return nullptr;
  unsigned char* const block = new (std::nothrow) unsigned char[size]();
  if (block) ++liveBlocks;
  return block;
}

bool InertLibraryHost::release(unsigned char* block, size_t) {
  delete[] block;
  --liveBlocks;
  return true;
}

uint64_t InertLibraryHost::importAddress(const char* module, const pe::ImportedFunction& function) {
  if (!function.byOrdinal && missingImport == function.name) return 0;
  std::string import = module;
  import += function.byOrdinal ? '#' : '!';
  import += function.byOrdinal ? std::to_string(function.ordinal) : function.name;
  imports.push_back(std::move(import));
  return kFirstImportAddress + 16 * (imports.size() - 1);
}

bool InertLibraryHost::enterDll(uintptr_t entryPoint, uint32_t reason) {
  entryCalls.push_back({entryPoint, reason});
  return reason != 1 || attachResult;
}

}  // namespace korvane
