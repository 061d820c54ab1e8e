// Real directory trees for the Windows services' tests: a folder below the temporary directory, made and
// removed through \\?\ paths so that trees deeper than the path limit can be built, with files of given
// sizes (extended, not written, so sizes above 4 GiB cost no disk) and directory links.
#pragma once

#include <windows.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace korvane::testing {

class TempTree {
 public:
  TempTree() {
    static int made = 0;
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    root_ = std::wstring(temp) + L"korvane-w32-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(made++);
    CreateDirectoryW(Long(root_).c_str(), nullptr);
  }
  ~TempTree() {
    // The host's links go first: this side sees them as directories and would walk through them.
    for (const auto& [link, hostLink] : hostLinks_) {
      RunHost(L"rm", "-f \"" + hostLink + "\"");
      for (int tries = 0; tries < 100 && GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES; ++tries) Sleep(50);
    }
    Remove(root_);
  }
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  // The tree's path, and a path below it; wide and as the core writes it (GB18030 text).
  const std::wstring& root() const { return root_; }
  std::wstring operator/(const std::wstring& relative) const { return root_ + L"\\" + relative; }
  std::string core() const {
    const UINT codePage = IsValidCodePage(54936) ? 54936 : 936;
    std::string text(root_.size() * 4, '\0');
    text.resize(static_cast<size_t>(WideCharToMultiByte(codePage, 0, root_.data(), static_cast<int>(root_.size()),
                                                        text.data(), static_cast<int>(text.size()), nullptr, nullptr)));
    return text;
  }
  std::string core(const std::string& relative) const { return core() + "\\" + relative; }

  // A directory, its parents made on the way.
  void Directory(const std::wstring& relative) const {
    for (size_t at = relative.find(L'\\'); at != std::wstring::npos; at = relative.find(L'\\', at + 1)) {
      CreateDirectoryW(Long(*this / relative.substr(0, at)).c_str(), nullptr);
    }
    CreateDirectoryW(Long(*this / relative).c_str(), nullptr);
  }

  // A file of size bytes, its directories made on the way.
  void File(const std::wstring& relative, int64_t size) const {
    if (const size_t at = relative.rfind(L'\\'); at != std::wstring::npos) Directory(relative.substr(0, at));
    const HANDLE file = CreateFileW(Long(*this / relative).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    LARGE_INTEGER end{};
    end.QuadPart = size;
    SetFilePointerEx(file, end, nullptr, FILE_BEGIN);
    SetEndOfFile(file);
    CloseHandle(file);
  }

  // A directory symbolic link to target, a path relative to the link's own directory; false where none
  // can be made. Wine 8 makes none itself (its CreateSymbolicLinkW does nothing), but starts the host's
  // "ln", without waiting for it, and then shows the host's link as a directory that leads to its target.
  bool DirectoryLink(const std::wstring& relative, const std::wstring& target) {
    const std::wstring link = *this / relative;
    using CreateLink = BOOLEAN(WINAPI*)(const wchar_t*, const wchar_t*, DWORD);
    if (const auto create = reinterpret_cast<CreateLink>(Export(L"kernel32.dll", "CreateSymbolicLinkW"))) {
      if (create(link.c_str(), target.c_str(), 1 /* a directory */) && GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES) {
        return true;
      }
    }
    const std::string hostLink = HostPath(link);
    std::string hostTarget(target.begin(), target.end());
    std::replace(hostTarget.begin(), hostTarget.end(), '\\', '/');
    if (hostLink.empty() || !RunHost(L"ln", "-s \"" + hostTarget + "\" \"" + hostLink + "\"")) return false;
    hostLinks_.emplace_back(link, hostLink);
    for (int tries = 0; tries < 100; ++tries, Sleep(50)) {
      if (GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    }
    return false;
  }

  // Removes a directory and everything below it; a link goes without what it leads to.
  static void Remove(const std::wstring& directory) {
    WIN32_FIND_DATAW entry{};
    const HANDLE search = FindFirstFileW(Long(directory + L"\\*").c_str(), &entry);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &entry)) {
      const std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring path = directory + L"\\" + name;
      if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileW(Long(path).c_str());
      } else if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        RemoveDirectoryW(Long(path).c_str());
      } else {
        Remove(path);
      }
    }
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
    RemoveDirectoryW(Long(directory).c_str());
  }

 private:
  static std::wstring Long(const std::wstring& path) { return L"\\\\?\\" + path; }

  static void* Export(const wchar_t* module, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(module), name));
  }

  // Under wine, the host's name for a path; empty elsewhere.
  static std::string HostPath(const std::wstring& path) {
    using UnixName = char*(CDECL*)(const wchar_t*);
    const auto unixName = reinterpret_cast<UnixName>(Export(L"kernel32.dll", "wine_get_unix_file_name"));
    char* name = unixName ? unixName(path.c_str()) : nullptr;
    if (!name) return {};
    std::string host = name;
    HeapFree(GetProcessHeap(), 0, name);
    return host;
  }

  // Starts a program of the host's /bin (wine starts host programs too, but can neither wait for them
  // nor tell their exit code) and tells whether it started.
  static bool RunHost(const std::wstring& program, const std::string& arguments) {
    const std::wstring path = L"Z:\\bin\\" + program;
    std::wstring command = program + L" " + std::wstring(arguments.begin(), arguments.end());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(path.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
      return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
  }

  std::wstring root_;
  std::vector<std::pair<std::wstring, std::string>> hostLinks_;
};

}  // namespace korvane::testing
