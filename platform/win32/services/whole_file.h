// Whole-file reading, and writing that replaces its target in one move, on UTF-16 paths and with the
// reason of a failure: what the Windows services and the command line's file commands share.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/file_io.h"

namespace korvane::win32 {

// The problems name the path in UTF-8 and give the system's reason.
std::optional<Bytes> ReadWholeFile(const std::wstring& path, std::string* problem = nullptr);

// Writes a new file beside the target, flushes it to the disk and moves it over the target: a failure at
// any step leaves an earlier file of that name as it was, and no new file behind.
FileResult ReplaceWholeFile(const std::wstring& path, std::string_view contents);

}  // namespace korvane::win32
