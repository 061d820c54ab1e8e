// The Windows program: the Win32 services, the main window with its controller, and the message loop.
#include <windows.h>

#include <string>

#include "app/help_form.h"
#include "app/main_controller.h"
#include "app/main_form.h"
#include "platform/win32/services/win32_file_system.h"
#include "platform/win32/window/win32_toolkit.h"
#include "support/crash_guard.h"

namespace {

// Files named without a directory, such as the statistics file, land in the program directory.
void EnterProgramDirectory() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return;
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  const size_t separator = path.find_last_of(L'\\');
  if (separator == std::wstring::npos) return;
  path.resize(separator + 1);
  SetCurrentDirectoryW(path.c_str());
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  using namespace korvane;
  EnterProgramDirectory();
  CrashGuard::install();
  Win32FileSystem files;
  Win32Toolkit window(MainWindowForm(), HelpWindowForm());
  ProgramState state;
  MainController controller({window, files, state});
  window.SetEventHandler([&controller, &window](const Event& event) {
    // The main window's created event arms the crash guard and hands it the window's runtime errors;
    // the window's logic itself knows nothing of the guard.
    if (event.kind == EventKind::created && event.window == Window::MainWindow) {
      CrashGuard::configure({.showMessageBox = 1, .endFaultingThreadOnly = 0, .registerRuntimeErrorHandler = true,
                             .ownerWindowClass = "", .includeCallStack = 1, .maxSymbolDistance = 0},
                            &window);
    }
    controller.HandleEvent(event);
  });
  window.Open();
  return window.RunMessageLoop();
}
