#include "protocol/device_modes.h"

#include "system/message_catalogue.h"

// The log lines spell "&" where the row labels say "И", and put no blank before "Гц".
const std::array<TModeFacts, 10> kModes = {{
    {0, "  0: ОТКЛ.", "   : РЕЖИМ РАБОТЫ - <ОТКЛ.>", N_("off")},
    {2, "  2: ВКЛ. СВЕТ ПОСТ. И ЗВУК *", "   : РЕЖИМ РАБОТЫ - <ВКЛ. СВЕТ ПОСТ. & ЗВУК>",
     N_("steady light and sound")},
    {3, "  3: ВКЛ. СВЕТ 2Гц И ЗВУК", "   : РЕЖИМ РАБОТЫ - <ВКЛ. СВЕТ 2Гц & ЗВУК>",
     N_("light flashing at 2 Hz and sound")},
    {4, "  4: ВКЛ. СВЕТ 1 Гц И ЗВУК", "   : РЕЖИМ РАБОТЫ - <ВКЛ. СВЕТ 1Гц & ЗВУК>",
     N_("light flashing at 1 Hz and sound")},
    {5, "  5: ВКЛ. СВЕТ 0,5 Гц И ЗВУК", "   : РЕЖИМ РАБОТЫ - <ВКЛ. СВЕТ 0,5Гц & ЗВУК>",
     N_("light flashing at 0.5 Hz and sound")},
    {6, "  6: ВКЛ. СВЕТ ПОСТ.", "   : РЕЖИМ РАБОТЫ - <ВКЛ. СВЕТ ПОСТ.>", N_("steady light")},
    {7, "  7: ВКЛ. СВЕТ 2 Гц", "   : РЕЖИМ РАБОТЫ - <ВКЛ. СВЕТ 2Гц>", N_("light flashing at 2 Hz")},
    {8, "  8: ВКЛ. СВЕТ 1 Гц", "   : РЕЖИМ РАБОТЫ - <ВКЛ. СВЕТ 1Гц>", N_("light flashing at 1 Hz")},
    {9, "  9: ВКЛ. СВЕТ 0,5 Гц", "   : РЕЖИМ РАБОТЫ - <ВКЛ. СВЕТ 0,5Гц>",
     N_("light flashing at 0.5 Hz")},
    {10, "10: ВКЛ. ЗВУК", "   : РЕЖИМ РАБОТЫ - <ВКЛ. ЗВУК>", N_("sound only")},
}};

const TModeFacts* FindMode(unsigned value) {
  for (const TModeFacts& mode : kModes)
    if (mode.value == value) return &mode;
  return nullptr;
}
