// The Windows side of the in-memory loader: the host that runs mapped images, and CallAddress.
#pragma once

#include <array>
#include <cstdint>

#include "support/in_memory_library.h"

namespace korvane {

// The ten arguments of CallAddress, pointer-sized; those the callee does not take are 0.
using CallArguments = std::array<uintptr_t, 10>;

// Calls the routine at address with the arguments in order, as a standard call, and returns what it
// left in the result register: a routine that returns int leaves the upper half of it undefined on
// x86_64, so read the low 32 bits. On i686 the stack pointer is restored from this routine's own frame,
// so the callee may remove its arguments (stdcall, as DllMain does) or leave them (cdecl, as zlib does).
uintptr_t CallAddress(uintptr_t address, const CallArguments& arguments);

// Maps with VirtualAlloc (at the image's preferred base when it is free), binds imports from the
// process's modules (GetModuleHandleA, else LoadLibraryA; never unloaded) and runs entry points
// through CallAddress. It takes the images of this process's machine only.
LibraryHost& SystemLibraryHost();

}  // namespace korvane
