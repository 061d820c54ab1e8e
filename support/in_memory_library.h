// InMemoryLibrary: maps a DLL image held in memory, without a file or the system loader, and finds its
// exports; the OS's part of the work sits behind LibraryHost.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "support/pe_image.h"

namespace korvane {

// What mapping a library asks of the OS. The Windows host (in_memory_library_win32.h) runs the image;
// the inert host (in_memory_library_inert.h) maps it into ordinary memory and runs nothing.
class LibraryHost {
 public:
  virtual ~LibraryHost() = default;
  // Whether images of format can be mapped and run here.
  virtual bool accepts(pe::Format format) const = 0;
  // size zero-filled bytes that may be read, written and executed, at preferredAddress when that is
  // free, else anywhere; null when there is no room for them.
  virtual unsigned char* allocate(uint64_t preferredAddress, size_t size) = 0;
  // Gives back a block from allocate; false when it could not be released.
  virtual bool release(unsigned char* block, size_t size) = 0;
  // The address of a function of another module, which is loaded when the process lacks it; 0 when
  // either cannot be found.
  virtual uint64_t importAddress(const char* module, const pe::ImportedFunction& function) = 0;
  // Runs a DLL's entry point with the arguments (0, reason, 0); false when it returns FALSE.
  virtual bool enterDll(uintptr_t entryPoint, uint32_t reason) = 0;
};

// One mapped library image. It owns its mapping: it cannot be copied, and destroying it unloads.
class InMemoryLibrary {
 public:
  explicit InMemoryLibrary(LibraryHost& host) : host_(host) {}
  ~InMemoryLibrary() { unload(); }
  InMemoryLibrary(const InMemoryLibrary&) = delete;
  InMemoryLibrary& operator=(const InMemoryLibrary&) = delete;

  // Maps image (unloading any image first), relocates it, binds its imports and, for a DLL, runs its
  // entry point for process attach. False, with nothing mapped, when the image is damaged or of
  // another machine, an import is missing, or the entry point refuses.
  bool load(std::string_view image);
  // Runs a DLL's entry point for process detach and releases the mapping; true when nothing is loaded.
  bool unload();
  // The address of the export named exactly name, or 0 (also when nothing is loaded).
  uintptr_t findExport(std::string_view name) const;
  // The base plus AddressOfEntryPoint of the mapped headers, or 0 when nothing is loaded.
  uintptr_t entryPoint() const;
  // Where the image is mapped, or 0 when nothing is loaded.
  uintptr_t base() const { return reinterpret_cast<uintptr_t>(block_); }

 private:
  pe::ByteView mapped() const { return {block_, size_}; }

  LibraryHost& host_;
  unsigned char* block_ = nullptr;
  size_t size_ = 0;
};

}  // namespace korvane
