// The Windows file-system services. Every path arrives as GB18030 with "\" separators, becomes UTF-16 at
// this edge and reaches only W functions; names go back as GB18030.
//
// Sections: volumes and system, directory walk, files, shell and processes, clock and locale.
#include "platform/win32/services/win32_file_system.h"

#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <utility>

#include "platform/win32/services/directory_search.h"
#include "platform/win32/services/whole_file.h"
#include "platform/win32/services/wide_text.h"
#include "snapshot/value_format.h"

namespace korvane {
namespace {

using win32::FromWide;
using win32::ToWide;

// The module file's full path; empty when the system does not give it.
std::wstring ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) return path.substr(0, length);
    if (path.size() >= 32768) return {};  // no Windows path is longer
    path.resize(path.size() * 2);
  }
}

// ---- Directory walk

// A live search of the system, one entry at a time; releasing it closes the search.
class SearchListing final : public DirectoryListing {
 public:
  SearchListing(const std::wstring& pattern, EntryKind kind) : search_(pattern), directories_(kind == EntryKind::directories) {}

  std::string next() override {
    win32::FoundEntry entry;
    while (search_.Next(entry)) {
      if (entry.directory == directories_) return FromWide(entry.name);
    }
    return {};
  }

 private:
  win32::DirectorySearch search_;
  const bool directories_;
};

// A path in core form without its final "\", as the measurement remembers directories.
std::string_view WithoutFinalSeparator(std::string_view path) {
  if (!path.empty() && LastPathSeparator(path) == path.size() - 1) path.remove_suffix(1);
  return path;
}

}  // namespace

Win32FileSystem::Win32FileSystem(Win32FileSystemOptions options) : folderSizes_(options.measuringThreads) {
  if (!options.home) return;
  const std::wstring home = ToWide(*options.home);
  std::wstring full(MAX_PATH, L'\0');
  DWORD length = GetFullPathNameW(home.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (length >= full.size()) {
    full.resize(length);
    length = GetFullPathNameW(home.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  }
  full.resize(length < full.size() ? length : 0);
  // Without a final "\": the core puts one before every name, also after a drive's root.
  if (!full.empty() && full.back() == L'\\') full.pop_back();
  home_ = full.empty() ? *options.home : FromWide(full);
}

Win32FileSystem::~Win32FileSystem() {
  for (void* mutex : heldMutexes_) CloseHandle(mutex);
}

// ---- Volumes and system

std::vector<std::string> Win32FileSystem::LogicalDriveRoots() {
  std::vector<std::string> roots;
  std::wstring buffer(256, L'\0');
  const DWORD length = GetLogicalDriveStringsW(static_cast<DWORD>(buffer.size()), buffer.data());
  if (length == 0 || length > buffer.size()) return roots;
  for (size_t at = 0; at < length && buffer[at] != L'\0';) {
    const size_t end = buffer.find(L'\0', at);
    roots.push_back(FromWide(std::wstring_view(buffer).substr(at, end - at)));
    at = end + 1;
  }
  return roots;
}

DiskSpace Win32FileSystem::DiskFreeSpace(std::string_view root) {
  ULARGE_INTEGER freeToCaller{};
  ULARGE_INTEGER total{};
  ULARGE_INTEGER totalFree{};
  if (!GetDiskFreeSpaceExW(ToWide(root).c_str(), &freeToCaller, &total, &totalFree)) return {};
  return {static_cast<int64_t>(total.QuadPart), static_cast<int64_t>(freeToCaller.QuadPart)};
}

std::optional<std::string> Win32FileSystem::FileSystemName(std::string_view root) {
  wchar_t name[MAX_PATH + 1] = {};
  if (!GetVolumeInformationW(ToWide(root).c_str(), nullptr, 0, nullptr, nullptr, nullptr, name, MAX_PATH + 1)) {
    return std::nullopt;
  }
  return FromWide(name);
}

std::string Win32FileSystem::SystemDirectory() {
  wchar_t directory[MAX_PATH + 1] = {};
  const UINT length = GetSystemDirectoryW(directory, MAX_PATH + 1);
  if (length == 0 || length > MAX_PATH) return {};
  return FromWide(std::wstring_view(directory, length));
}

VersionNumbers Win32FileSystem::NtVersionNumbers() {
  // RtlGetNtVersionNumbers tells the truth where GetVersionEx answers what the manifest allows; it is
  // not a documented export, so it is looked up and the documented call stands in when it is missing.
  using GetNumbers = void(WINAPI*)(DWORD*, DWORD*, DWORD*);
  if (const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll")) {
    if (const FARPROC found = GetProcAddress(ntdll, "RtlGetNtVersionNumbers")) {
      DWORD major = 0;
      DWORD minor = 0;
      DWORD build = 0;
      reinterpret_cast<GetNumbers>(reinterpret_cast<void*>(found))(&major, &minor, &build);
      return {major, minor, build};
    }
  }
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof version;
  if (!GetVersionExW(&version)) return {};
  return {version.dwMajorVersion, version.dwMinorVersion, version.dwBuildNumber};
}

// ---- Directory walk

std::unique_ptr<DirectoryListing> Win32FileSystem::FindEntries(std::string_view pattern, EntryKind kind) {
  const std::wstring wide = ToWide(pattern);
  const size_t separator = LastPathSeparator(pattern);
  if (kind == EntryKind::directories && separator != std::string_view::npos && wide.size() <= win32::kLongestPattern) {
    if (auto remembered = folderSizes_.RememberedDirectories(pattern.substr(0, separator), pattern.substr(separator + 1))) {
      return std::make_unique<NameListing>(std::move(*remembered));
    }
  }
  return std::make_unique<SearchListing>(wide, kind);
}

int64_t Win32FileSystem::FileSize(std::string_view path) {
  // Held to the path limit of the 8-bit functions, like every listing.
  const std::wstring wide = ToWide(path);
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (wide.size() >= MAX_PATH || !GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data)) return 0;
  return static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
}

int64_t Win32FileSystem::FolderSize(std::string_view path) {
  return folderSizes_.Measure(std::string(WithoutFinalSeparator(path)));
}

void Win32FileSystem::BeginScan() { folderSizes_.BeginScan(); }

void Win32FileSystem::EndScan() { folderSizes_.EndScan(); }

// ---- Files

std::string Win32FileSystem::ProgramDirectory() {
  if (!home_.empty()) return home_;
  const std::wstring path = ModulePath();
  const size_t separator = path.rfind(L'\\');
  return separator == std::wstring::npos ? std::string() : FromWide(std::wstring_view(path).substr(0, separator));
}

std::string Win32FileSystem::ExecutableName() {
  const std::wstring path = ModulePath();
  return FromWide(std::wstring_view(path).substr(path.rfind(L'\\') + 1));
}

bool Win32FileSystem::FileExists(std::string_view path) {
  return GetFileAttributesW(ToWide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

Bytes Win32FileSystem::ReadWholeFile(std::string_view path) {
  return win32::ReadWholeFile(ToWide(path)).value_or(Bytes());
}

bool Win32FileSystem::WriteWholeFile(std::string_view path, std::string_view contents) {
  return win32::ReplaceWholeFile(ToWide(path), contents).ok;
}

// ---- Shell and processes

void Win32FileSystem::ShellExplore(std::string_view folder) {
  ShellExecuteW(nullptr, L"explore", ToWide(folder).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void Win32FileSystem::ShellOpen(std::string_view address) {
  ShellExecuteW(nullptr, L"open", ToWide(address).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

std::vector<std::string> Win32FileSystem::ProcessNames() {
  std::vector<std::string> names;
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return names;
  PROCESSENTRY32W process{};
  process.dwSize = sizeof process;
  for (BOOL more = Process32FirstW(snapshot, &process); more; more = Process32NextW(snapshot, &process)) {
    // Bare names on NT; a path (as Windows 9x gave) loses its directories all the same.
    const std::wstring_view name = process.szExeFile;
    names.push_back(FromWide(name.substr(name.rfind(L'\\') + 1)));
  }
  CloseHandle(snapshot);
  return names;
}

bool Win32FileSystem::NamedMutexExists(std::string_view name) {
  const std::wstring wide = ToWide(name);
  if (const HANDLE existing = OpenMutexW(MUTEX_ALL_ACCESS, TRUE, wide.c_str())) {
    CloseHandle(existing);
    return true;
  }
  const HANDLE created = CreateMutexW(nullptr, TRUE, wide.c_str());
  // Without a mutex there is no way to know of another copy; this one runs.
  if (!created) return false;
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    // Another copy created it between the two calls.
    CloseHandle(created);
    return true;
  }
  std::lock_guard lock(mutexesGuard_);
  heldMutexes_.push_back(created);  // held until this object ends, and released by the system with the process
  return false;
}

// ---- Clock and locale

double Win32FileSystem::LocalNow() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  return AutomationDate({now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond});
}

bool Win32FileSystem::Uses24HourClock() {
  wchar_t value[8] = {};
  return GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_ITIME, value, 8) > 0 && std::wstring_view(value) == L"1";
}

}  // namespace korvane
