// The choices of the main window kept across runs in CF.ini: the line of six fields, saving and restoring.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/program_state.h"

namespace korvane {

// The settings file's name inside the program directory.
inline constexpr std::string_view kSettingsFileName = "CF.ini";

// The choices a first start shows, before any settings are applied: 内部参照 on its first entry and 单位框
// on "MB". The other controls start as the form gives them. Start-up runs this before restoring.
void ApplyInitialChoices(ProgramContext& context);

// "private|built-in|drive|limit|unit|units shown": the selected indexes of 外部参照, 内部参照 and 盘符框
// (-1 for none), the text of 限制框 unchanged, the selected index of 单位框, and "1" or "0" for 表单位框.
std::string SettingsLine(WindowToolkit& toolkit);

// Writes the current choices to CF.ini, packed and enciphered; a failed write goes unnoticed.
void SaveSettings(ProgramContext& context);

// The pieces of a stored line: split at every "|" that is not a trail byte, an empty piece between two
// separators counting, an empty piece after a final "|" not.
std::vector<std::string> SettingsFields(std::string_view line);

// Applies the fields of a line in order, as many as it has; a line of no field or of more than six
// applies nothing.
void ApplySettingsLine(ProgramContext& context, std::string_view line);

// Reads CF.ini and applies its line; an absent or unreadable file leaves every choice as it is.
void RestoreSettings(ProgramContext& context);

}  // namespace korvane
