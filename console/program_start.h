// The start of the program: message catalogues and the port's message table before any window,
// then the application object, the main window shown centred and the event loop. Closing the
// window ends the loop and the program at once; the port closes as the window is destroyed.
#pragma once

#include <string>

#include "system/program_directory.h"

// Marks the calling thread as the main thread and lets work queued from other threads (the
// port's monitor) wake the event loop, which then drains the queue. Needs the application object.
void ConnectMainThreadQueue();
void DisconnectMainThreadQueue();

// Runs the program; returns its exit code when the main window has been closed.
int RunProgram(int argc, char** argv);
