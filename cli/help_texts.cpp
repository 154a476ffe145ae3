#include "cli/help_texts.h"

#include <string_view>

#include "bus/messages.h"
#include "cli/help_texts_platform.h"

namespace {

void Replace(std::string& text, std::string_view marker, const std::string& piece) {
  for (std::size_t at = text.find(marker); at != std::string::npos;
       at = text.find(marker, at + piece.size()))
    text.replace(at, marker.size(), piece);
}

}  // namespace

std::string HelpText(const char* text) {
  std::string help = Tr(text);
  Replace(help, "{port-forms}", Tr(kPortForms));
  Replace(help, "{plan-port}", kPlanPort);
  Replace(help, "{exit-status}", Tr(kExitStatusShown));
  return help;
}
