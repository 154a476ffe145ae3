// A commissioning plan: a CSV text with a header row naming its columns, then one row per device
// with the settings it should end with.
//
//   port,address,rate,power_up,on_command,remember,new_address,new_rate
//   /dev/ttyUSB0,247,9600,0,2,yes,5,19200
//
// Columns (any order; port and address required, the others optional, an empty cell means
// "leave as it is"; rate defaults to 9600): port, address (1..247), rate (the rate the device
// answers at now), and a column for each setting (settings.h): power_up and on_command (a mode
// 0, 2..10), remember (yes/no), new_address, new_rate. Separators are commas, or semicolons when
// the header has no comma; a cell may be quoted ("..." with "" for a quote). Blank lines and lines
// starting with # are skipped; a UTF-8 byte-order mark and CR LF line ends are accepted. Pure; any
// thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bus/settings.h"
#include "protocol/baud_rates.h"

struct TPlanRow {
  int line = 0;  // from 1
  std::string port;
  std::uint8_t address = 0;
  std::uint8_t baudIndex = kDefaultBaudIndex;
  TWantedSettings wanted;  // from the columns of the settings table
};

struct TPlanError {
  int line = 0;  // 0: the file as a whole
  std::string message;
};

struct TPlan {
  std::vector<TPlanRow> rows;
  std::vector<TPlanError> errors;  // a plan with errors is not carried out at all
};

TPlan ParsePlan(std::string_view text);
