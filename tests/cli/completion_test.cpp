// The bash completion that the build writes from the command table: run by bash as the shell
// would on a Tab, it offers exactly the table's commands, exactly each command's options, and
// the values of the options whose values are a known set.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "tests/support/fake_sysfs.h"

namespace {

using TWordSet = std::set<std::string>;

// What the completion offers for the words typed after "tarvi-cli", the last being the word
// under the cursor.
TWordSet Offers(const std::vector<std::string>& words) {
  std::string line = "tarvi-cli";
  for (const std::string& word : words)
    line += " '" + word + "'";
  TScratchFolder folder;
  folder.Write("tab.sh", std::string("source '") + TARVI_CLI_COMPLETION + "'\n" + "COMP_WORDS=(" +
                             line + ")\n" + "COMP_CWORD=" + std::to_string(words.size()) + "\n" +
                             "_tarvi_cli\nprintf '%s\\n' \"${COMPREPLY[@]}\"\n");
  const std::string command =
      "bash --norc --noprofile '" + (folder.Path() / "tab.sh").string() + "' 2>&1";
  TWordSet offers;
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    ADD_FAILURE() << "cannot run bash";
    return offers;
  }
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
    std::string word = buffer;
    if (!word.empty() && word.back() == '\n') word.pop_back();
    if (!word.empty()) offers.insert(word);
  }
  EXPECT_EQ(pclose(pipe), 0) << line;
  return offers;
}

TEST(BashCompletion, OffersExactlyTheCommandsOfTheTable) {
  TWordSet commands{"--help", "--version"};
  for (const TCommand& command : Commands())
    commands.insert(std::string(command.name));
  EXPECT_EQ(Offers({""}), commands);
}

TEST(BashCompletion, OffersExactlyTheOptionsOfEachCommand) {
  for (const TCommand& command : Commands()) {
    SCOPED_TRACE(std::string(command.name));
    TWordSet options;
    for (const TOptionSpec& spec : OptionsOf(command))
      options.insert("--" + std::string(spec.longName));
    EXPECT_EQ(Offers({std::string(command.name), "-"}), options);
  }
}

TEST(BashCompletion, OffersTheValuesOfAnOption) {
  const TWordSet rates{"1200", "2400", "4800", "9600", "14400", "19200", "38400", "57600"};
  TWordSet ratesOrAll = rates;
  ratesOrAll.insert("all");
  const struct {
    std::vector<std::string> words;
    TWordSet offers;
  } cases[] = {
      {{"read", "-r", ""}, rates},
      {{"scan", "--rate", ""}, ratesOrAll},
      {{"set", "--new-rate", ""}, rates},
      {{"set", "--power-up", ""}, {"0", "2", "3", "4", "5", "6", "7", "8", "9", "10"}},
      {{"set", "--remember", ""}, {"yes", "no"}},
      {{"watch", "--count", ""}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.words[0] + " " + c.words[1]);
    EXPECT_EQ(Offers(c.words), c.offers);
  }
}

}  // namespace
