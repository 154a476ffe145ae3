#include "bus/lines.h"

TDeviceLine& TLines::Line(const std::string& port, std::uint8_t baudIndex) {
  auto& line = lines_[port];
  if (!line) {
    auto opened = std::make_unique<TDeviceLine>(port, settings_.trace, settings_.gap,
                                                settings_.echo, settings_.rs485, settings_.facts);
    opened->OnWarning = settings_.warning;
    opened->Open(baudIndex);
    line = std::move(opened);
  } else if (line->Rate() != baudIndex) {
    line->SetRate(baudIndex);
  }
  return *line;
}
