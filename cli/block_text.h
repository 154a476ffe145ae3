// The parameter block as the command-line tool shows it: labelled lines for people, one object
// for --json, and a one-line summary for scans and watching.
#pragma once

#include <string>
#include <vector>

#include "cli/json_writer.h"
#include "protocol/parameter_block.h"

// "2 (steady light and sound)", "1 (not a mode)".
std::string ModeText(unsigned mode);

// The model, the address and rate the device holds, its state and the three settings.
std::vector<std::string> BlockLines(const TParameterBlock& block);

// "mode 0, power-up 0, on-command 2, remember no"; a field named in `changed` gets a "*".
std::string BlockSummary(const TParameterBlock& block,
                         const std::vector<std::string>& changed = {});

// The names (as in --json) of the fields that differ between two blocks.
std::vector<std::string> ChangedFields(const TParameterBlock& before, const TParameterBlock& now);

// {"model":..,"id":..,"address":..,"rate":..,"baud_code":..,"mode":..,"power_up":..,
//  "on_command":..,"remember":..}
void WriteBlockJson(TJsonWriter& json, const TParameterBlock& block);
