// The process-wide values of one program, and the context every handler and worker runs in.
#pragma once

#include <array>
#include <atomic>
#include <string>

#include "app/window_layout.h"
#include "compare/builtin_catalog.h"
#include "compare/column_sorter.h"
#include "compare/reference_snapshot.h"
#include "platform/file_system.h"
#include "platform/window_toolkit.h"
#include "snapshot/scan_table.h"

namespace korvane {

// A program has one; each test builds its own.
struct ProgramState {
  ScanTable scanTable;
  // Set by the window's thread to ask a running walk or comparison to end; read by the workers.
  std::atomic<bool> stopRequested{false};
  // The drive letter chosen in 盘符框, the one last handled, and "_[version]" for the system drive.
  std::string selectedDrive;
  std::string lastHandledDrive;
  std::string systemVersionTag;
  // The last worker of each kind; 0 when none is to be waited for.
  ThreadHandle scanWorker = 0;
  ThreadHandle outputWorker = 0;
  ThreadHandle compareWorker = 0;
  // What the last comparison loaded, and the text and name of the last statistics file.
  ReferenceSnapshot reference;
  Bytes statisticsText;
  std::string statisticsFileName;
  // The list's sort directions and the window's layout, for as long as the window lives.
  SortState sort;
  LayoutState layout;
};

struct ProgramContext {
  WindowToolkit& toolkit;
  FileSystemServices& files;
  ProgramState& state;
  const BuiltInCatalog* catalog = &BuiltInCatalog::Standard();
};

// The texts of 状态框 that carry the status protocol.
inline constexpr std::string_view kStatusWorking = " 工作中";
inline constexpr std::string_view kStatusIdle = " 空闲中";

// The input controls that a run disables, in the order the workers enable them again; a comparison
// leaves the last, 比对按钮, enabled so that it can stop the run.
inline constexpr std::array<Control, 8> kInputControls{Control::盘符框, Control::内部参照, Control::外部参照,
                                                       Control::限制框, Control::单位框,   Control::表单位框,
                                                       Control::快照按钮, Control::比对按钮};

}  // namespace korvane
