// One run of the main window on an in-memory machine: a fresh window and fresh process-wide values over
// files that outlive it, so that a second run reads what the first one left.
#pragma once

#include "app/drive_selector.h"
#include "app/main_form.h"
#include "app/settings.h"
#include "platform/headless/headless_toolkit.h"
#include "platform/memory/memory_file_system.h"

namespace korvane {

inline constexpr std::string_view kProgramDirectory = "C:\\Korvane";

// C, D and E, with the program directory on C.
inline void AddThreeDrives(MemoryFileSystem& files) {
  for (const char letter : {'C', 'D', 'E'}) files.AddDrive(letter, {1'000'000, 500'000});
  files.AddDirectory(kProgramDirectory);
}

struct WindowRun {
  explicit WindowRun(MemoryFileSystem& machineFiles) : files(machineFiles) {}

  // What the window's created event does with the choices: the first ones, the drive list, the settings.
  void StartUp() {
    ApplyInitialChoices(context);
    FillDriveList(context);
    RestoreSettings(context);
  }

  // The user picks a drive; the drive-selected handling follows.
  void ChooseDrive(int index) {
    toolkit.SetSelectedIndex(Control::盘符框, index);
    OnDriveSelected(context);
  }

  MemoryFileSystem& files;
  HeadlessToolkit toolkit{MainWindowForm()};
  ProgramState state;
  ProgramContext context{toolkit, files, state};
};

}  // namespace korvane
