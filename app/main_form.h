// The form of the main window: every control with its kind, frame, place, size and initial text.
#pragma once

#include "platform/form.h"

namespace korvane {

const WindowForm& MainWindowForm();

}  // namespace korvane
