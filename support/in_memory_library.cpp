// Loading, unloading and looking into an image mapped from memory.
#include "support/in_memory_library.h"

namespace korvane {
namespace {

constexpr uint32_t kProcessDetach = 0;
constexpr uint32_t kProcessAttach = 1;

// The offset of the entry point that load and unload run: a DLL's, unless it has none (0).
uint32_t DllEntry(const pe::Headers& headers) { return headers.characteristics & pe::kDll ? headers.entryPoint : 0; }

}  // namespace

bool InMemoryLibrary::load(std::string_view image) {
  if (!unload()) return false;
  const pe::ByteView bytes(reinterpret_cast<const unsigned char*>(image.data()), image.size());
  const auto headers = pe::ReadHeaders(bytes);
  if (!headers || !host_.accepts(headers->format)) return false;
  const auto size = pe::MappedSize(*headers);
  const uint32_t entry = DllEntry(*headers);
  if (!size || entry >= *size) return false;

  unsigned char* const block = host_.allocate(headers->imageBase, *size);
  if (!block) return false;
  const pe::ByteBlock mapping(block, *size);
  const auto base = reinterpret_cast<uintptr_t>(block);
  const auto resolve = [this](const char* module, const pe::ImportedFunction& function) {
    return host_.importAddress(module, function);
  };
  bool loaded = pe::CopyImage(bytes, *headers, mapping) && pe::Relocate(*headers, mapping, base) &&
                pe::BindImports(*headers, mapping, resolve);
  if (loaded && entry != 0 && !host_.enterDll(base + entry, kProcessAttach)) {
    host_.enterDll(base + entry, kProcessDetach);
    loaded = false;
  }
  if (!loaded) {
    host_.release(block, *size);
    return false;
  }
  block_ = block;
  size_ = *size;
  return true;
}

bool InMemoryLibrary::unload() {
  if (!block_) return true;
  // The headers are read again from the mapping, as the image left them; damaged ones skip the detach
  // but not the release.
  const auto headers = pe::ReadHeaders(mapped());
  const uint32_t entry = headers ? DllEntry(*headers) : 0;
  if (entry != 0 && entry < size_) host_.enterDll(base() + entry, kProcessDetach);
  if (!host_.release(block_, size_)) return false;
  block_ = nullptr;
  size_ = 0;
  return true;
}

uintptr_t InMemoryLibrary::findExport(std::string_view name) const {
  if (!block_) return 0;
  const uint32_t address = pe::ExportAddress(mapped(), name);
  return address == 0 ? 0 : base() + address;
}

uintptr_t InMemoryLibrary::entryPoint() const {
  if (!block_) return 0;
  const auto headers = pe::ReadHeaders(mapped());
  return headers ? base() + headers->entryPoint : 0;
}

}  // namespace korvane
