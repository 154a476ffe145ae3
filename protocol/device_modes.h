// The operating modes of registers 3, 4 and 5: the values a device knows (0 and 2..10; 1 exists
// on the wire but is offered nowhere), the window's row label of each, the line the traffic log
// writes for register 3, and a plain English meaning for texts outside the window.
#pragma once

#include <array>

struct TModeFacts {
  unsigned value;
  const char* rowLabel;  // the window's caption beside the pair of radio buttons
  const char* logLine;   // "   : РЕЖИМ РАБОТЫ - <...>"
  const char* meaning;   // English, for message catalogues
};

// The ten offered modes in window order: 0, 2, 3, ..., 10.
extern const std::array<TModeFacts, 10> kModes;

// The facts of an offered mode; nullptr for 1 and values above 10.
const TModeFacts* FindMode(unsigned value);

// True for 0 and 2..10.
inline bool IsOfferedMode(unsigned value) {
  return FindMode(value) != nullptr;
}
