// The help window: its form, its two video links, and what its events do.
#pragma once

#include <string_view>

#include "app/program_state.h"
#include "platform/form.h"

namespace korvane {

// The videos that explain the program, on Bilibili (link A) and on Xigua Video (link B).
inline constexpr std::string_view kBilibiliLink = "https://search.bilibili.com/all?keyword=Korvane%20Lumetsa";
inline constexpr std::string_view kXiguaLink = "https://www.ixigua.com/search/Korvane%20Lumetsa/";

const WindowForm& HelpWindowForm();

// The help button: the main window leaves the top, then the help window opens modal over it.
void OpenHelpWindow(ProgramContext& context);

// An event of the help window. The links copied and opened are the fixed ones, whatever the user typed
// into the link fields.
void HandleHelpWindowEvent(ProgramContext& context, const Event& event);

}  // namespace korvane
