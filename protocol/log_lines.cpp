#include "protocol/log_lines.h"

#include "protocol/device_models.h"
#include "protocol/device_modes.h"

const char* ModeLine(unsigned mode) {
  const TModeFacts* facts = FindMode(mode);
  return facts != nullptr ? facts->logLine : nullptr;
}

std::string FoundDeviceLine(unsigned id) {
  const char* model = ModelName(id);
  if (model == nullptr) return {};
  return std::string("   : ОБНАРУЖЕН ПРИБОР <") + model + "> ПО АДРЕСУ ";
}
