#include "protocol/log_lines.h"

#include <array>

const char* ModeLine(unsigned mode) {
  // The mode lines spell "&" where the window's row labels say "И", and put no blank before "Гц".
  static constexpr std::array<const char*, 11> kLines = {
      "   : РЕЖИМ РАБОТЫ - <ОТКЛ.>",
      nullptr,
      "   : РЕЖИМ РАБОТЫ - <ВКЛ. СВЕТ ПОСТ. & ЗВУК>",
      "   : РЕЖИМ РАБОТЫ - <ВКЛ. СВЕТ 2Гц & ЗВУК>",
      "   : РЕЖИМ РАБОТЫ - <ВКЛ. СВЕТ 1Гц & ЗВУК>",
      "   : РЕЖИМ РАБОТЫ - <ВКЛ. СВЕТ 0,5Гц & ЗВУК>",
      "   : РЕЖИМ РАБОТЫ - <ВКЛ. СВЕТ ПОСТ.>",
      "   : РЕЖИМ РАБОТЫ - <ВКЛ. СВЕТ 2Гц>",
      "   : РЕЖИМ РАБОТЫ - <ВКЛ. СВЕТ 1Гц>",
      "   : РЕЖИМ РАБОТЫ - <ВКЛ. СВЕТ 0,5Гц>",
      "   : РЕЖИМ РАБОТЫ - <ВКЛ. ЗВУК>",
  };
  return mode < kLines.size() ? kLines[mode] : nullptr;
}
