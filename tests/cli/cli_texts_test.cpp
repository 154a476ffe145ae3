// The texts of the tool that no device is needed for: JSON strings and the progress line.
#include <gtest/gtest.h>

#include "bus/messages.h"
#include "cli/json_writer.h"
#include "cli/progress_bar.h"

namespace {

TEST(JsonWriter, EscapesWhatJsonForbidsAndKeepsUtf8) {
  TJsonWriter json;
  json.BeginObject().Member("model", "ТАРВИ-З-А").Member("path", "C:\\a \"b\"\n\x01");
  json.Key("list").BeginArray().Number(std::int64_t{-3}).Number(2.5, 1).Bool(true).Null();
  json.EndArray().EndObject();
  EXPECT_EQ(json.Text(),
            "{\"model\":\"ТАРВИ-З-А\",\"path\":\"C:\\\\a \\\"b\\\"\\n\\u0001\","
            "\"list\":[-3,2.5,true,null]}");
}

TEST(ProgressLine, FitsTheTerminalAndShowsWhereTheScanIs) {
  const TProgress progress{57, 247, 58, 9600, 1, 8, std::chrono::seconds(95)};
  for (const int columns : {20, 40, 80, 200}) {
    const std::string line = ProgressLine(progress, columns);
    EXPECT_LT(static_cast<int>(line.size()), columns) << line;
  }
  const std::string wide = ProgressLine(progress, 100);
  EXPECT_NE(wide.find(" 57/247"), std::string::npos) << wide;
  EXPECT_NE(wide.find("address  58"), std::string::npos) << wide;
  EXPECT_NE(wide.find("9600 Bd (1 of 8)"), std::string::npos) << wide;
  EXPECT_NE(wide.find("1:35 left"), std::string::npos) << wide;
  EXPECT_EQ(wide.front(), '[');
}

// The bytes of a scan's bar on the console: a longer line, a shorter one (Cyrillic: widths in
// characters), then the clear before other output, with escape sequences and without.
TEST(ProgressBar, RedrawsInPlaceWithOrWithoutEscapeSequences) {
  const std::string longer = "[##..] 12/247";
  const std::string shorter = "[#] 9/ПЯТЬ";  // 10 characters, 14 bytes
  const struct {
    bool escapes;
    std::string first, second, clear;
  } cases[] = {
      {true, "\r" + longer + "\033[K", "\r" + shorter + "\033[K", "\r\033[K"},
      {false, "\r" + longer, "\r" + shorter + "   ", "\r" + std::string(10, ' ') + "\r"},
  };
  for (const auto& c : cases) {
    TProgressBar bar(c.escapes);
    EXPECT_EQ(bar.Clear(), "") << "nothing shown yet";
    EXPECT_EQ(bar.Draw(longer), c.first) << c.escapes;
    EXPECT_EQ(bar.Draw(shorter), c.second) << c.escapes;
    EXPECT_TRUE(bar.Shown());
    EXPECT_EQ(bar.Clear(), c.clear) << c.escapes;
    EXPECT_FALSE(bar.Shown());
    EXPECT_EQ(bar.Clear(), "");
    if (!c.escapes) {
      const std::string drawn = bar.Draw(longer) + bar.Draw(shorter) + bar.Clear();
      EXPECT_EQ(drawn.find('\033'), std::string::npos) << "no escape sequence at all";
    }
  }
}

}  // namespace

// Widths are characters whatever the locale: Cyrillic takes two bytes, one column.
TEST(DisplayWidth, CountsCharactersNotBytes) {
  const struct {
    const char* text;
    std::size_t width;
  } cases[] = {{"", 0},          {"PORT", 4},     {"ПОРТ", 4}, {"СЕРИЙНЫЙ №", 10},
               {"ТАРВИ-З-А", 9}, {"0403:6001", 9}};
  for (const auto& c : cases) {
    EXPECT_EQ(DisplayWidth(c.text), c.width) << c.text;
    EXPECT_EQ(PadRight(c.text, 12), c.text + std::string(12 - c.width, ' ')) << c.text;
  }
  EXPECT_EQ(PadRight("ПОСТОЯННОЕ ИМЯ", 4), "ПОСТОЯННОЕ ИМЯ");
}
