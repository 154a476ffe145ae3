#include "serial/message_catalogue.h"

#include <libintl.h>

void SetUpMessageCatalogues(const std::string& programDir) {
  bindtextdomain("default", (programDir + "/locale").c_str());
  bind_textdomain_codeset("default", "UTF-8");
  textdomain("default");
}
