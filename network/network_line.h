// A line through a serial device server, behind the serial component's device layer: the names
// rfc2217://HOST:PORT and tcp://HOST:PORT (network_port_name.h).
#pragma once

// Adds the network line to the serial component's table of layers, so that a port opened by a
// network name connects to the server. Called once at program start, before the first port
// opens; later calls change nothing.
void RegisterNetworkLines();
