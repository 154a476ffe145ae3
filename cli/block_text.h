// The parameter block as the command-line tool shows it: labelled lines for people, one object
// for --json, and a one-line summary for scans and watching.
#pragma once

#include <string>
#include <vector>

#include "bus/settings_writer.h"
#include "cli/json_writer.h"
#include "protocol/parameter_block.h"

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

// The writes as --json shows them: [{"field":"power_up","value":3},...].
void WriteWritesJson(TJsonWriter& json, const std::vector<TWrite>& writes);
