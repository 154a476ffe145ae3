// The .mo reader: the shipped Russian catalogue, both byte orders, and damaged files refused
// without a read outside the data (the sanitizer builds hold each file in a buffer of its exact
// size, so a stray read is reported).
#include "system/mo_catalogue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "system/program_directory.h"
#include "tests/support/case_name.h"

namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

void PutWord(std::string& out, std::uint32_t value, bool bigEndian) {
  for (int i = 0; i < 4; ++i) {
    const int shift = bigEndian ? 24 - 8 * i : 8 * i;
    out.push_back(static_cast<char>((value >> shift) & 0xFF));
  }
}

// A catalogue as msgfmt lays it out: header, the two tables, then the strings, each with its
// terminating zero.
std::string BuildMo(const Entries& entries, bool bigEndian = false) {
  const auto count = static_cast<std::uint32_t>(entries.size());
  const std::uint32_t originals = 28;
  const std::uint32_t translations = originals + 8 * count;
  std::uint32_t next = translations + 8 * count;
  std::string header;
  std::string tables;
  std::string strings;
  std::string secondTable;
  for (const auto& [original, translation] : entries) {
    PutWord(tables, static_cast<std::uint32_t>(original.size()), bigEndian);
    PutWord(tables, next, bigEndian);
    strings += original + '\0';
    next += static_cast<std::uint32_t>(original.size() + 1);
  }
  for (const auto& [original, translation] : entries) {
    PutWord(secondTable, static_cast<std::uint32_t>(translation.size()), bigEndian);
    PutWord(secondTable, next, bigEndian);
    strings += translation + '\0';
    next += static_cast<std::uint32_t>(translation.size() + 1);
  }
  PutWord(header, 0x950412DEu, bigEndian);
  PutWord(header, 0, bigEndian);
  PutWord(header, count, bigEndian);
  PutWord(header, originals, bigEndian);
  PutWord(header, translations, bigEndian);
  PutWord(header, 0, bigEndian);
  PutWord(header, 0, bigEndian);
  return header + tables + secondTable + strings;
}

// Parses from a heap copy of exactly the data's size.
bool ParseExact(TMoCatalogue& catalogue, const std::string& data) {
  auto copy = std::make_unique<char[]>(data.size() + (data.empty() ? 1 : 0));
  std::copy(data.begin(), data.end(), copy.get());
  return catalogue.Parse(std::string_view(copy.get(), data.size()));
}

// A literal with its inner zero bytes.
template <std::size_t N>
std::string Bytes(const char (&text)[N]) {
  return std::string(text, N - 1);
}

const Entries kEntries = {{"", "Content-Type: text/plain; charset=UTF-8\n"},
                          {"Registry error", "Ошибка реестра"},
                          {Bytes("one file\0%d files"), Bytes("один файл\0%d файла")}};

TEST(MoCatalogue, FindsTranslationsInBothByteOrders) {
  for (const bool bigEndian : {false, true}) {
    TMoCatalogue catalogue;
    ASSERT_TRUE(ParseExact(catalogue, BuildMo(kEntries, bigEndian))) << bigEndian;
    ASSERT_NE(catalogue.Find("Registry error"), nullptr);
    EXPECT_EQ(*catalogue.Find("Registry error"), "Ошибка реестра");
    ASSERT_NE(catalogue.Find("one file"), nullptr);  // a plural entry: its singular
    EXPECT_EQ(*catalogue.Find("one file"), "один файл");
    EXPECT_EQ(catalogue.Find(""), nullptr);  // the header is no entry
    EXPECT_EQ(catalogue.Find("Unknown"), nullptr);
  }
}

TEST(MoCatalogue, ReadsTheShippedRussianCatalogue) {
  TMoCatalogue catalogue;
  ASSERT_TRUE(catalogue.Load(ProgramDirectory() + "/locale/ru/LC_MESSAGES/default.mo"));
  ASSERT_NE(catalogue.Find("Unable to open com port"), nullptr);
  EXPECT_EQ(*catalogue.Find("Unable to open com port"), "Не удаётся открыть COM-порт");
  EXPECT_FALSE(catalogue.Load(ProgramDirectory() + "/locale/xx/LC_MESSAGES/default.mo"));
  EXPECT_EQ(catalogue.Size(), 0u);
}

std::string WithWord(std::string data, std::size_t offset, std::uint32_t value) {
  std::string word;
  PutWord(word, value, false);
  data.replace(offset, 4, word);
  return data;
}

struct DamageCase {
  const char* name;
  std::string data;
};

class DamagedMo : public ::testing::TestWithParam<DamageCase> {};

TEST_P(DamagedMo, IsRefusedAndLeavesTheCatalogueEmpty) {
  TMoCatalogue catalogue;
  ASSERT_TRUE(ParseExact(catalogue, BuildMo(kEntries)));
  EXPECT_FALSE(ParseExact(catalogue, GetParam().data));
  EXPECT_EQ(catalogue.Size(), 0u);
}

const std::string kGood = BuildMo(kEntries);
// Offsets in kGood: header words at 0..24, originals table at 28, translations at 28 + 24.
INSTANTIATE_TEST_SUITE_P(
    Files, DamagedMo,
    ::testing::Values(DamageCase{"Empty", ""},
                      DamageCase{"ShorterThanTheHeader", kGood.substr(0, 19)},
                      DamageCase{"WrongMagic", WithWord(kGood, 0, 0x12345678u)},
                      DamageCase{"UnknownMajorRevision", WithWord(kGood, 4, 0x00020000u)},
                      DamageCase{"CountBeyondTheTables", WithWord(kGood, 8, 0xFFFFFFFFu)},
                      DamageCase{"TableBeyondTheEnd", WithWord(kGood, 12, 0xFFFFFFF0u)},
                      DamageCase{"StringOffsetBeyondTheEnd", WithWord(kGood, 28 + 12, 0xFFFFFFF0u)},
                      DamageCase{"StringLengthWrapsAround", WithWord(kGood, 28 + 8, 0xFFFFFFFFu)},
                      DamageCase{"TranslationCutShort", kGood.substr(0, kGood.size() - 12)}),
    CaseName());

TEST(MoCatalogue, EveryTruncationOfARealFileIsHandled) {
  std::ifstream file(ProgramDirectory() + "/locale/ru/LC_MESSAGES/default.mo", std::ios::binary);
  file.seekg(0, std::ios::end);
  std::string data(static_cast<std::size_t>(std::max<std::streamoff>(file.tellg(), 0)), '\0');
  file.seekg(0, std::ios::beg);
  file.read(data.data(), static_cast<std::streamsize>(data.size()));
  ASSERT_GT(data.size(), 100u);
  int accepted = 0;
  for (std::size_t size = 0; size < data.size(); ++size) {
    TMoCatalogue catalogue;
    if (ParseExact(catalogue, data.substr(0, size))) ++accepted;
  }
  // Only cuts inside the last translation's terminating zero can still be whole.
  EXPECT_LE(accepted, 1);
}

}  // namespace
