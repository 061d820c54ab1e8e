// One program on the in-memory machine behind the headless window, driven as a user drives it.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/help_form.h"
#include "app/main_controller.h"
#include "app/main_form.h"
#include "platform/headless/headless_toolkit.h"
#include "platform/memory/memory_file_system.h"

namespace korvane {

// A text that 过程框 or 状态框 showed, with how many input controls were disabled at that moment.
struct Shown {
  Control control;
  std::string text;
  int disabledInputs;
};

struct Program {
  explicit Program(std::shared_ptr<MemoryMachine> machine = std::make_shared<MemoryMachine>(),
                   const BuiltInCatalog& catalog = BuiltInCatalog::Standard())
      : files(std::move(machine)), controller({toolkit, files, state, &catalog}) {
    toolkit.SetEventHandler([this](const Event& event) { controller.HandleEvent(event); });
    toolkit.AddTextObserver([this](Control control, const std::string& text) {
      if (control != Control::过程框 && control != Control::状态框) return;
      int disabled = 0;
      for (const Control input : kInputControls) disabled += toolkit.IsDisabled(input);
      const std::lock_guard lock(shownMutex);
      shown.push_back({control, text, disabled});
    });
  }

  // Workers still running at the end of a test use the members below: they end first.
  ~Program() {
    for (const ThreadHandle thread : {state.scanWorker, state.outputWorker, state.compareWorker}) {
      if (thread) toolkit.JoinThread(thread);
    }
  }

  // Runs events until the condition holds; fails the test after ten seconds.
  void RunUntil(const std::function<bool()>& done) {
    EXPECT_TRUE(toolkit.RunUntil(done, std::chrono::seconds(10)));
  }

  bool Idle() { return toolkit.GetText(Control::状态框) == " 空闲中"; }

  // Clicks 保存快照 and waits until the snapshot is written and the window is idle again.
  void SaveSnapshot() {
    toolkit.Click(Control::快照按钮);
    toolkit.RunPending();
    RunUntil([this] { return Idle() && !toolkit.IsDisabled(Control::快照按钮); });
    // The writer's last text may still be on its way to the observers.
    if (state.outputWorker) toolkit.JoinThread(state.outputWorker);
  }

  std::vector<Shown> TextsOf(Control control) {
    const std::lock_guard lock(shownMutex);
    std::vector<korvane::Shown> texts;
    for (const auto& entry : shown) {
      if (entry.control == control) texts.push_back(entry);
    }
    return texts;
  }

  MemoryFileSystem files;
  HeadlessToolkit toolkit{MainWindowForm(), HelpWindowForm()};
  ProgramState state;
  MainController controller;
  std::mutex shownMutex;
  std::vector<korvane::Shown> shown;
};

}  // namespace korvane
