// What the port's driver itself holds, read through a descriptor of the test's own (root opens a
// port that another descriptor holds in exclusive mode).
#pragma once

#include <string>

// The output rate in the driver's line settings; 0 when they cannot be read.
unsigned DriverRate(const std::string& node);

// Clears the driver's low-latency flag, as a port that never asked for it has it; false when the
// driver refuses.
bool ClearLowLatency(const std::string& node);
