// The pieces of the help texts that name this system's own things: how ports are named, the
// description of `ports`, how a shell shows the exit status. One file per system
// (help_texts_linux.cpp, help_texts_win32.cpp), picked by the build; the shared help texts hold
// a marker where a piece goes, and HelpText puts the translated pieces in.
#pragma once

#include <string>

// `ports --help` as a whole (a catalogue text).
extern const char kPortsUsage[];

// The help text `text` (a catalogue id) translated, with each marker replaced by its piece:
//   {port-forms}   the forms of a port name, in read's -p line
//   {plan-port}    the port of the example row of a plan
//   {exit-status}  how a shell shows the exit status, a line after the statuses
std::string HelpText(const char* text);
