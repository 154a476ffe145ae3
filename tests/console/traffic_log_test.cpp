// The traffic log's texts and its widget: hexadecimal cells, the request and reply line layouts,
// the single colour of all lines.
#include <gtest/gtest.h>

#include <ostream>

#include <QCoreApplication>
#include <QPalette>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <array>
#include <cstdio>
#include <vector>

#include "console/traffic_log.h"
#include "protocol/link_state.h"
#include "tests/support/case_name.h"

namespace {

// "xx " for each of the bytes first..last-1 of a buffer holding 0, 1, 2, ...
std::string Cells(int first, int last) {
  std::string cells;
  for (int i = first; i < last; ++i) {
    char cell[4];
    std::snprintf(cell, sizeof cell, "%02X ", i);
    cells += cell;
  }
  return cells;
}

TEST(ByteToHexTest, EveryByteIsTwoUpperCaseDigits) {
  for (int value = 0; value < 256; ++value) {
    char expected[3];
    std::snprintf(expected, sizeof expected, "%02X", value);
    EXPECT_EQ(ByteToHex(static_cast<std::uint8_t>(value)), expected) << value;
  }
  EXPECT_EQ(ByteToHex(10), "0A");
  EXPECT_EQ(ByteToHex(160), "A0");
  EXPECT_EQ(ByteToHex(247), "F7");
}

TEST(RequestLineTest, EightCellsAfterTheTxPrefix) {
  const std::array<std::uint8_t, 8> request = {0xF7, 0x06, 0x00, 0x03, 0x00, 0x01, 0xAC, 0x9C};
  const std::string line = RequestLine(request.data());
  EXPECT_EQ(line, "TX : F7 06 00 03 00 01 AC 9C ");
  EXPECT_EQ(line.size(), 29u);
}

struct ReplyCase {
  std::string name;
  int count;
  std::vector<std::string> lines;
};

// Rows print as their names.
void PrintTo(const ReplyCase& row, std::ostream* out) {
  *out << row.name;
}

class ReplyLinesTest : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(ReplyLinesTest, SeventeenCellsALine) {
  std::array<std::uint8_t, 256> bytes{};
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<std::uint8_t>(i);
  const std::vector<std::string> lines =
      ReplyLines(bytes.data(), static_cast<std::size_t>(GetParam().count));
  EXPECT_EQ(lines, GetParam().lines);
  for (const std::string& line : lines)
    EXPECT_LE(line.size(), 56u);
}

INSTANTIATE_TEST_SUITE_P(
    Counts, ReplyLinesTest,
    ::testing::Values(
        ReplyCase{"OneByte", 1, {"RX : 00 "}},
        ReplyCase{"SixteenBytes", 16, {"RX : " + Cells(0, 16)}},
        ReplyCase{"SeventeenBytesAddABlankLine", 17, {"RX : " + Cells(0, 17), "     "}},
        ReplyCase{"EighteenBytes", 18, {"RX : " + Cells(0, 17), "     " + Cells(17, 18)}},
        ReplyCase{"NineteenBytes", 19, {"RX : " + Cells(0, 17), "     " + Cells(17, 19)}},
        ReplyCase{
            "ThirtyFourBytes", 34, {"RX : " + Cells(0, 17), "     " + Cells(17, 34), "     "}},
        ReplyCase{"TwoHundredFiftyFiveBytes", 255,
                  [] {
                    std::vector<std::string> lines{"RX : " + Cells(0, 17)};
                    for (int i = 1; i < 15; ++i)
                      lines.push_back("     " + Cells(17 * i, 17 * i + 17));
                    lines.push_back("     ");
                    return lines;
                  }()}),
    CaseName{});

TEST(ReplyLinesTest, OneByteReplyShowsItsCell) {
  const std::uint8_t reply[] = {0x0A};
  EXPECT_EQ(ReplyLines(reply, 1), std::vector<std::string>{"RX : 0A "});
}

class TrafficLogWidgetTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetLinkState(); }
  void TearDown() override { ResetLinkState(); }

  // What the widget shows, line by line.
  QStringList Shown() const { return log.toPlainText().split(QLatin1Char('\n')); }
  QColor ShownColour(QPalette::ColorGroup group) const {
    return log.palette().color(group, QPalette::Text);
  }

  TTrafficLog log;
};

TEST_F(TrafficLogWidgetTest, StartsNavyAndEmptyAndCannotBeTypedInto) {
  EXPECT_EQ(log.Colour(), QColor(0, 0, 128));
  EXPECT_TRUE(log.Lines().isEmpty());
  EXPECT_TRUE(log.isReadOnly());
  EXPECT_FALSE(log.testAttribute(Qt::WA_InputMethodEnabled));
  EXPECT_EQ(log.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  EXPECT_EQ(log.horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  EXPECT_EQ(log.viewport()->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(TrafficLogWidgetTest, LogRequestTurnsRedClearsAndShowsTheRequest) {
  log.AddLine("   : an earlier line");
  const std::array<std::uint8_t, 8> request = {0xF7, 0x03, 0x00, 0x00, 0x00, 0x07, 0x10, 0x9E};
  std::copy(request.begin(), request.end(), ExchangeBuffer.begin());
  log.LogRequest();
  const QStringList expected = {"TX : F7 03 00 00 00 07 10 9E ", "RX :"};
  EXPECT_EQ(log.Lines(), expected);
  EXPECT_EQ(Shown(), expected);
  EXPECT_EQ(log.Colour(), QColor(255, 0, 0));
}

TEST_F(TrafficLogWidgetTest, OneColourRecoloursEveryLine) {
  log.AddLine("TX :");
  log.AddLine("RX :");
  for (const auto& [colour, rgb] : {std::pair{TLogColour::Red, QColor(255, 0, 0)},
                                    std::pair{TLogColour::Blue, QColor(0, 0, 255)},
                                    std::pair{TLogColour::Navy, QColor(0, 0, 128)}}) {
    log.SetColour(colour);
    EXPECT_EQ(log.Colour(), rgb);
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
      EXPECT_EQ(ShownColour(group), rgb);
    }
  }
  // No line carries a colour of its own, so the palette colour is what every line shows.
  for (QTextBlock block = log.document()->begin(); block.isValid(); block = block.next()) {
    for (auto part = block.begin(); !part.atEnd(); ++part) {
      EXPECT_FALSE(part.fragment().charFormat().hasProperty(QTextFormat::ForegroundBrush));
    }
  }
}

TEST_F(TrafficLogWidgetTest, ClearAndAddLineKeepTheWidgetInStep) {
  log.AddLine("TX :");
  log.Clear();
  EXPECT_TRUE(log.Lines().isEmpty());
  EXPECT_TRUE(log.toPlainText().isEmpty());
  log.AddLine("     ");
  log.AddLine("   : ОК.");
  const QStringList expected = {"     ", QString::fromUtf8("   : \u041E\u041A.")};
  EXPECT_EQ(log.Lines(), expected);
  EXPECT_EQ(Shown(), expected);
}

TEST_F(TrafficLogWidgetTest, LatestLinesStayInViewWithoutScrollBars) {
  log.resize(404, 97);
  log.show();
  for (int i = 0; i < 20; ++i)
    log.AddLine("     line " + std::to_string(i));
  QCoreApplication::processEvents();
  const QScrollBar* bar = log.verticalScrollBar();
  EXPECT_GT(bar->maximum(), 0);
  EXPECT_EQ(bar->value(), bar->maximum());
  EXPECT_FALSE(bar->isVisible());
}

}  // namespace
