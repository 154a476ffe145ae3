#include "protocol/frame.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/link_state.h"
#include "tests/support/case_name.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string Hex(const std::uint8_t* data, std::size_t n) {
  static const char* digits = "0123456789ABCDEF";
  std::string s;
  for (std::size_t i = 0; i < n; ++i) {
    if (i) s += ' ';
    s += digits[data[i] >> 4];
    s += digits[data[i] & 15];
  }
  return s;
}

// Puts a reply into ExchangeBuffer as the receive step does.
void Receive(const Bytes& reply) {
  std::copy(reply.begin(), reply.end(), ExchangeBuffer.begin());
  LinkState.RxCount = static_cast<std::uint16_t>(reply.size());
}

class FrameTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetLinkState(); }
};

TEST_F(FrameTest, CrcMatchesPublishedCheckValueAndEmptyInput) {
  const std::string digits = "123456789";
  EXPECT_EQ(CalcCrc16(reinterpret_cast<const std::uint8_t*>(digits.data()), 9), 0x4B37);
  EXPECT_EQ(CalcCrc16(nullptr, 0), 0xFFFF);
}

struct RequestCase {
  const char* name;
  std::uint8_t address;
  std::uint8_t function;
  std::uint16_t reg;
  std::uint16_t value;
  const char* frame;
};

class RequestLayout : public ::testing::TestWithParam<RequestCase> {};

TEST_P(RequestLayout, BuildsTheWorkedFrame) {
  ResetLinkState();
  const RequestCase& c = GetParam();
  LinkState.DeviceAddress = c.address;
  ExchangeBuffer.fill(0xEE);
  BuildRequest(c.function, c.reg, c.value);
  EXPECT_EQ(Hex(ExchangeBuffer.data(), 8), c.frame);
  EXPECT_EQ(ExchangeBuffer[8], 0xEE) << "the request must stay within positions 0..7";
}

INSTANTIATE_TEST_SUITE_P(
    WorkedExamples, RequestLayout,
    ::testing::Values(RequestCase{"ParameterQuery", 247, 3, 0, 7, "F7 03 00 00 00 07 10 9E"},
                      RequestCase{"SwitchOn", 247, 6, 3, 1, "F7 06 00 03 00 01 AC 9C"},
                      RequestCase{"SwitchOff", 247, 6, 3, 0, "F7 06 00 03 00 00 6D 5C"},
                      RequestCase{"ProbeAddress1", 1, 3, 0, 1, "01 03 00 00 00 01 84 0A"},
                      RequestCase{"Value257HighByteFirst", 247, 6, 3, 257,
                                  "F7 06 00 03 01 01 AD 0C"},
                      RequestCase{"AddressChangeTo5", 247, 6, 1, 5, "F7 06 00 01 00 05 0C 9F"}),
    CaseName());

const Bytes kParameterBlock = {0xF7, 0x03, 0x0E, 0x00, 0x0E, 0x00, 0x00, 0x00, 0x00, 0x00,
                               0x02, 0x00, 0x03, 0x00, 0x06, 0x00, 0x01, 0x18, 0x08};

struct ReplyCase {
  const char* name;
  Bytes reply;
  bool passes;
};

class ReplyCheck : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(ReplyCheck, ComparesTheLastTwoBytes) {
  ResetLinkState();
  Receive(GetParam().reply);
  EXPECT_EQ(CheckReplyCrc(), GetParam().passes);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, ReplyCheck,
    ::testing::Values(
        ReplyCase{"ParameterBlock", kParameterBlock, true},
        ReplyCase{"ExceptionReplyWhateverWasExpected", {0xF7, 0x83, 0x02, 0x20, 0xC3}, true},
        ReplyCase{"EchoOfSwitchOn", {0xF7, 0x06, 0x00, 0x03, 0x00, 0x01, 0xAC, 0x9C}, true},
        ReplyCase{"TwoBytesFFFFHoldTheCrcOfNothing", {0xFF, 0xFF}, true},
        ReplyCase{"OtherTwoBytesFail", {0xFF, 0xFE}, false},
        ReplyCase{"CrcBytesSwapped", {0xF7, 0x83, 0x02, 0xC3, 0x20}, false}),
    CaseName());

TEST_F(FrameTest, AnySingleChangedByteFailsTheCheck) {
  for (std::size_t pos = 0; pos < kParameterBlock.size(); ++pos) {
    for (int flip : {0x01, 0x80, 0xFF}) {
      Bytes corrupted = kParameterBlock;
      corrupted[pos] = static_cast<std::uint8_t>(corrupted[pos] ^ flip);
      Receive(corrupted);
      EXPECT_FALSE(CheckReplyCrc()) << "byte " << pos << " xor " << flip;
    }
  }
}

TEST_F(FrameTest, OneByteReplyFailsAndReadsOnlyThatByte) {
  // The bytes around the received one are set so that reading them would make the check pass:
  // FF FF is a valid two-byte frame, so a check that looked at position 1 would succeed.
  ExchangeBuffer[0] = 0xFF;
  ExchangeBuffer[1] = 0xFF;
  LinkState.RxCount = 1;
  EXPECT_FALSE(CheckReplyCrc());
  LinkState.RxCount = 0;
  EXPECT_FALSE(CheckReplyCrc());
}

TEST_F(FrameTest, ResetRestoresProgramStartValues) {
  LinkState = TLinkState{9, 6, 19, 1, 3, 254, 19, 350};
  ExchangeBuffer[200] = 7;
  ResetLinkState();
  EXPECT_EQ(LinkState.BusyFlag, 0);
  EXPECT_EQ(LinkState.SearchState, 0);
  EXPECT_EQ(LinkState.SearchDelayMs, 150);
  EXPECT_EQ(LinkState.RxCount, 0);
  EXPECT_EQ(LinkState.PendingRequest, 0);
  EXPECT_EQ(LinkState.ExpectedRxLength, 0);
  EXPECT_EQ(ExchangeBuffer[200], 0);
}

TEST_F(FrameTest, BaudTableAndTexts) {
  EXPECT_EQ(BaudTable[3], 9600u);
  EXPECT_STREQ(BaudText(0), "1200");
  EXPECT_STREQ(BaudText(7), "57600");
}

}  // namespace
