// The Russian catalogue, found beside the programs (TARVI_BIN_DIR) whether or not a Russian
// locale is installed, and the English texts when the language has no catalogue.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "serial/com_exception.h"
#include "system/message_catalogue.h"
#include "system/program_directory.h"
#include "tests/support/case_name.h"
#include "tests/support/environment.h"

namespace {

// The folder of the built programs: TARVI_BIN_DIR, else the folder of this test program.
std::string ProgramDir() {
  const char* dir = std::getenv("TARVI_BIN_DIR");
  if (dir != nullptr && *dir != '\0') return dir;
  return ProgramDirectory();
}

struct LanguageCase {
  const char* name;
  const char* lang;
  const char* openFailed;    // text of code 1 with errno 2
  const char* propertyText;  // text of code 14
};

class MessageLanguage : public ::testing::TestWithParam<LanguageCase> {};

TEST_P(MessageLanguage, TableFollowsLang) {
  UnsetEnvironment("LC_ALL");
  UnsetEnvironment("LC_MESSAGES");
  UnsetEnvironment("LANGUAGE");
  SetEnvironment("LANG", GetParam().lang);
  SetUpMessageCatalogues(ProgramDir());
  BuildComMessageTable();
  EXPECT_STREQ(EComPort(CError_OpenFailed, ENOENT).what(), GetParam().openFailed);
  const EComPort property(CError_ConnChangeProp, -1);
  EXPECT_STREQ(property.what(), GetParam().propertyText);
}

INSTANTIATE_TEST_SUITE_P(
    Languages, MessageLanguage,
    ::testing::Values(LanguageCase{"RussianByTwoLetterFallback", "ru_RU.UTF-8",
                                   "Не удаётся открыть COM-порт (код ошибки win: 2)",
                                   "Нельзя изменить свойство, пока порт открыт"},
                      LanguageCase{"RussianByTwoLetterName", "ru",
                                   "Не удаётся открыть COM-порт (код ошибки win: 2)",
                                   "Нельзя изменить свойство, пока порт открыт"},
                      LanguageCase{"GermanHasNoCatalogue", "de_DE.UTF-8",
                                   "Unable to open com port (win error code: 2)",
                                   "Cannot set property while connected"},
                      LanguageCase{"PlainC", "C", "Unable to open com port (win error code: 2)",
                                   "Cannot set property while connected"}),
    CaseName());

TEST(MessageCatalogue, MissingProgramFolderLeavesTheTextsAsWritten) {
  UnsetEnvironment("LANGUAGE");
  SetEnvironment("LANG", "ru_RU.UTF-8");
  SetUpMessageCatalogues("/nonexistent-tarvi-folder");
  BuildComMessageTable();
  EXPECT_STREQ(EComPort(CError_ReadFailed, 5).what(),
               "ReadFile function failed (win error code: 5)");
}

}  // namespace
