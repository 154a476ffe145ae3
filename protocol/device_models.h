// The models of the device family, by the id in register 0.
#pragma once

#include "protocol/registers.h"

// "ТАРВИ-А" for id 14, "ТАРВИ-З-А" for id 15, nullptr for any other id (not of the family).
inline const char* ModelName(unsigned id) {
  if (id == kIdTarviA) return "ТАРВИ-А";
  if (id == kIdTarviZA) return "ТАРВИ-З-А";
  return nullptr;
}
