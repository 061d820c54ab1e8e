// The zlib DLL image that the Windows program carries in its data.
#pragma once

#include <string_view>

namespace korvane {

// The image: PE32 in the i686 program, PE32+ in the x86_64 one. ProgramZlib() (snapshot/gz_container.h)
// maps it for every pack and unpack.
std::string_view ZlibImage();

}  // namespace korvane
