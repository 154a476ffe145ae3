// What the command-line tool needs from the operating system beyond the serial component: the
// terminal, Ctrl-C, a pause that Ctrl-C cuts short, and advice for a port that cannot be used.
// One implementation per system (platform_linux.cpp, platform_win32.cpp), picked by the build;
// the rest of the tool calls only these.
#pragma once

#include <chrono>
#include <optional>
#include <stop_token>
#include <string>

// Makes the terminal show the program's UTF-8 output as it is (on Windows the console's output
// code page, which comes back at exit) and, on Windows, has a console on standard error draw
// escape sequences (its mode comes back at exit); nothing where terminals do both already.
void SetUpConsole();

// True when standard error is a terminal (a progress bar is then shown there).
bool StderrIsTerminal();

// True when the terminal on standard error draws escape sequences such as "erase to the end of
// the line" (on Windows: once SetUpConsole has turned that on; a console before Windows 10
// refuses). Where false, the progress bar is redrawn with carriage returns and spaces only.
bool StderrTakesEscapes();

// The width of the terminal on standard error in columns; 80 when it cannot be told.
int TerminalColumns();

// From now on Ctrl-C (and a termination request) only sets a flag, which StopRequested reads:
// a long command ends at its next step, closes the port and prints its summary. A second
// Ctrl-C ends the program at once.
void InstallStopHandler();
bool StopRequested();
// The same request as a stop token for the engine (bus/): requested from the signal's path a
// moment after the flag is set, on a thread of its own (so that callbacks waiting on it may
// lock), never from the signal handler itself.
std::stop_token StopToken();

// Sleeps for the given time, or less when a stop is requested meanwhile.
void PauseUnlessStopped(std::chrono::milliseconds pause);

// What to do about a port failure with this system error code: the adapter missing, no
// permission (the dialout group), another program holding the port. Empty when there is no
// particular advice.
std::string PortFailureAdvice(int systemErrorCode);

// The same for a line through a serial device server (rfc2217:// and tcp:// names): a name
// that does not resolve, a malformed name, a server that refuses or ignores the COM-port
// option; for any other failure, where to look (the address and port, another client, a
// firewall).
std::string NetworkFailureAdvice(int systemErrorCode);

// The name of the driver behind a port, for messages: ftdi_sio, serial8250, pty_slave (Linux),
// the device manager's service (Windows); "(unknown)" when the system does not tell.
std::string PortDriverName(const std::string& port);

// The latency timer of the USB adapter behind a port (how long it holds received bytes before
// it hands them over), where the system tells it (ftdi_sio on Linux, the FTDI driver on
// Windows); none otherwise, a pseudo-terminal or a network port included.
std::optional<std::chrono::milliseconds> PortAdapterLatency(const std::string& port);
