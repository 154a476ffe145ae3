// Port discovery on Linux with its roots named, instead of $SYSFS_PATH and $DEV_PATH: for
// tests that build a sysfs and a /dev of their own.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "serial/port_discovery.h"

std::optional<std::vector<TPortDetails>> ReadSystemPortDetails(const std::string& sysfsRoot,
                                                               const std::string& devRoot);
