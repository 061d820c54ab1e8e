// Keeping to one running copy: by the program file's name among the running processes, and by a named
// mutex. A guard that finds another copy ends the program with exit code 0, silently.
#pragma once

#include <string_view>

#include "app/program_state.h"

namespace korvane {

// True when more processes named like this program (letter case aside) run than allowed; a negative
// allowance never ends, 0 always does. With endProgram, true ends the program instead.
bool ProcessNameGuard(ProgramContext& context, int allowed, bool endProgram);

// False when this call created the mutex, true when another copy holds it; with endProgram, true ends
// the program instead.
bool MutexGuard(ProgramContext& context, std::string_view name, bool endProgram);

}  // namespace korvane
