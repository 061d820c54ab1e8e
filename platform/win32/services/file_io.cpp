// Whole-file reading and replacing writes on Windows: the command line's UTF-8 paths and the services'
// UTF-16 ones.
#include <windows.h>

#include <algorithm>

#include "platform/file_io.h"
#include "platform/win32/services/whole_file.h"
#include "platform/win32/services/wide_text.h"

namespace korvane {
namespace win32 {
namespace {

// The system's text for an error code, without its final full stop and line break.
std::string Reason(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring reason = length > 0 && text ? std::wstring(text, length) : L"error " + std::to_wstring(error);
  LocalFree(text);
  while (!reason.empty() && (reason.back() == L'\r' || reason.back() == L'\n' || reason.back() == L'.')) reason.pop_back();
  return WideToUtf8(reason);
}

std::string Problem(const std::string& step, const std::wstring& path, DWORD error) {
  return step + " " + WideToUtf8(path) + ": " + Reason(error);
}

}  // namespace

std::optional<Bytes> ReadWholeFile(const std::wstring& path, std::string* problem) {
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    if (problem) *problem = Problem("cannot open", path, GetLastError());
    return std::nullopt;
  }
  Bytes contents;
  LARGE_INTEGER size{};
  if (GetFileSizeEx(file, &size) && size.QuadPart > 0 && static_cast<uint64_t>(size.QuadPart) < contents.max_size()) {
    contents.reserve(static_cast<size_t>(size.QuadPart));
  }
  char buffer[65536];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file, buffer, sizeof buffer, &got, nullptr)) {
      if (problem) *problem = Problem("cannot read", path, GetLastError());
      CloseHandle(file);
      return std::nullopt;
    }
    if (got == 0) break;
    contents.append(buffer, got);
  }
  CloseHandle(file);
  return contents;
}

FileResult ReplaceWholeFile(const std::wstring& path, std::string_view contents) {
  const size_t separator = path.rfind(L'\\');
  const std::wstring directory = separator == std::wstring::npos ? std::wstring(L".") : path.substr(0, separator + 1);
  wchar_t temporary[MAX_PATH] = {};
  if (path.empty() || !GetTempFileNameW(directory.c_str(), L"kvn", 0, temporary)) {
    return {false, Problem("cannot create a file beside", path, path.empty() ? ERROR_INVALID_NAME : GetLastError())};
  }
  auto fail = [&](const char* step, const std::wstring& subject) {
    const DWORD error = GetLastError();
    DeleteFileW(temporary);
    return FileResult{false, Problem(step, subject, error)};
  };
  const HANDLE file = CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return fail("cannot open", temporary);
  for (size_t at = 0; at < contents.size();) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(contents.size() - at, 1u << 30));
    DWORD put = 0;
    if (!WriteFile(file, contents.data() + at, chunk, &put, nullptr) || put == 0) {
      const DWORD error = GetLastError();
      CloseHandle(file);
      SetLastError(error);
      return fail("cannot write", temporary);
    }
    at += put;
  }
  if (!FlushFileBuffers(file)) {
    const DWORD error = GetLastError();
    CloseHandle(file);
    SetLastError(error);
    return fail("cannot flush", temporary);
  }
  if (!CloseHandle(file)) return fail("cannot close", temporary);
  if (!MoveFileExW(temporary, path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return fail("cannot replace", path);
  }
  return {true, {}};
}

}  // namespace win32

std::optional<Bytes> ReadWholeFile(const std::string& path, std::string* problem) {
  return win32::ReadWholeFile(win32::Utf8ToWide(path), problem);
}

FileResult WriteWholeFileReplacing(const std::string& path, const Bytes& contents) {
  return win32::ReplaceWholeFile(win32::Utf8ToWide(path), contents);
}

}  // namespace korvane
