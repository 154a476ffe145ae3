// A second program on the same port (port_open_probe), run as root or as a user without
// root's override, and what it says: "opened", or the serial component's failure message and
// its code.
#pragma once

#include <sys/types.h>
#include <string>

constexpr uid_t kTestUser = 1000;  // any user id without an entry of its own
constexpr gid_t kDialout = 20;     // the port's group on Debian

std::string ProbeAsRoot(const std::string& port);
// As kTestUser with these supplementary groups (a comma-separated list of ids; "" for none).
std::string ProbeAsUser(const std::string& port, const std::string& groups);
