// Pulling the guest's USB adapter out and plugging it back in: the request goes to the host
// through the shared folder (plug-N.req holding "out" or "in"), where the harness hands it to
// QEMU's monitor and answers with plug-N.done. Then the device node is awaited.
#pragma once

#include <chrono>
#include <string>

// Asks the host to pull the adapter out ("out") or plug it in ("in") and waits for its answer.
// Returns an empty string on success, else what went wrong.
std::string RequestPlug(const std::string& share, const std::string& action,
                        std::chrono::milliseconds timeout = std::chrono::seconds(20));

// Waits until the device node exists (present) or is gone (!present).
bool WaitForNode(const std::string& path, bool present,
                 std::chrono::milliseconds timeout = std::chrono::seconds(20));
