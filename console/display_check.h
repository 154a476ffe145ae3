// Whether the window can be shown at all. Without a graphical display the toolkit would end the
// program with an abort; the program instead says so in one line and ends with status 1.
#pragma once

#include <string>

// Empty when a display is there (or the toolkit is told to draw without one, as tests do);
// otherwise the one-line reason, without the program's name.
std::string MissingDisplayReason();
