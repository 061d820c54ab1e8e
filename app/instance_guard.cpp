// The two single-instance guards.
#include "app/instance_guard.h"

#include <algorithm>

namespace korvane {

bool ProcessNameGuard(ProgramContext& context, int allowed, bool endProgram) {
  if (allowed < 0) return false;
  if (allowed > 0) {
    const std::string name = AsciiLower(context.files.ExecutableName());
    const auto names = context.files.ProcessNames();
    const auto running = std::count_if(names.begin(), names.end(),
                                       [&](const std::string& other) { return AsciiLower(other) == name; });
    if (running <= allowed) return false;
  }
  if (endProgram) context.toolkit.EndProgram(0);
  return true;
}

bool MutexGuard(ProgramContext& context, std::string_view name, bool endProgram) {
  if (!context.files.NamedMutexExists(name)) return false;
  if (endProgram) context.toolkit.EndProgram(0);
  return true;
}

}  // namespace korvane
