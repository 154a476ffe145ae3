// --help in English and in Russian: the same options named, the Russian text really translated.
#include <stdlib.h>

#include <regex>
#include <set>

#include "tests/cli/cli_fixture.h"

namespace {

// Every option named in a help text: --long names and -x short ones.
std::set<std::string> OptionsNamed(const std::string& help) {
  static const std::regex option(R"((?:^|[\s\[,(|])(--[a-z][a-z-]*|-[a-z])(?=[\s\],=)|.;:]|$))");
  std::set<std::string> names;
  for (std::sregex_iterator it(help.begin(), help.end(), option), end; it != end; ++it)
    names.insert((*it)[1].str());
  return names;
}

TCliRun RunWithLanguage(const char* language, const std::vector<std::string>& args) {
  setenv("LANG", language, 1);
  const TCliRun run = RunCli(args);
  unsetenv("LANG");
  return run;
}

struct THelpCase {
  const char* name;
  std::vector<std::string> args;
};

class CliHelp : public ::testing::TestWithParam<THelpCase> {};

TEST_P(CliHelp, RussianNamesTheOptionsOfTheEnglish) {
  const TCliRun english = RunWithLanguage("C", GetParam().args);
  const TCliRun russian = RunWithLanguage("ru_RU.UTF-8", GetParam().args);
  ASSERT_EQ(english.status, 0) << english.err;
  ASSERT_EQ(russian.status, 0) << russian.err;
  EXPECT_NE(russian.out, english.out);
  EXPECT_NE(russian.out.find("Запуск: tarvi-cli"), std::string::npos) << russian.out;
  EXPECT_EQ(english.out.find("Запуск"), std::string::npos) << english.out;
  for (const TCliRun* run : {&english, &russian})
    EXPECT_EQ(run->out.find('{'), std::string::npos) << "a piece not put in: " << run->out;
  const std::set<std::string> named = OptionsNamed(english.out);
  EXPECT_FALSE(named.empty());
  EXPECT_EQ(OptionsNamed(russian.out), named) << russian.out;
}

INSTANTIATE_TEST_SUITE_P(
    EveryCommand, CliHelp,
    ::testing::Values(THelpCase{"overview", {"--help"}}, THelpCase{"ports", {"ports", "--help"}},
                      THelpCase{"scan", {"scan", "--help"}}, THelpCase{"read", {"read", "-h"}},
                      THelpCase{"on", {"on", "--help"}}, THelpCase{"off", {"off", "--help"}},
                      THelpCase{"watch", {"watch", "--help"}}, THelpCase{"set", {"set", "--help"}},
                      THelpCase{"apply", {"apply", "--help"}}),
    [](const ::testing::TestParamInfo<THelpCase>& row) { return std::string(row.param.name); });

}  // namespace
