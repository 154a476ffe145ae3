#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>

#include "sim/crc16.h"
#include "sim/modbus_slave.h"
#include "tests/sim/tiny_master.h"
#include "tests/support/case_name.h"

namespace {

TEST(SimCrc, MatchesThePublishedCheckValueAndTheWorkedFrames) {
  const std::string digits = "123456789";
  EXPECT_EQ(sim::Crc16(std::span(reinterpret_cast<const std::uint8_t*>(digits.data()), 9)), 0x4B37);
  EXPECT_EQ(sim::Crc16({}), 0xFFFF);
  for (const char* frame :
       {"F7 03 00 00 00 07 10 9E", "F7 06 00 03 00 01 AC 9C", "01 03 00 00 00 01 84 0A",
        "F7 83 02 20 C3", "F7 03 0E 00 0E 00 00 00 00 00 02 00 03 00 06 00 01 18 08"}) {
    Bytes bytes = FromHex(frame);
    EXPECT_TRUE(sim::HasValidCrc(bytes)) << frame;
    bytes[2] ^= 0x10;
    EXPECT_FALSE(sim::HasValidCrc(bytes)) << frame << " with byte 2 changed";
  }
}

struct AnswerCase {
  std::string name;
  std::uint8_t address;
  sim::TRegisters registers;
  std::string request;
  std::string reply;  // "" = no answer
  std::optional<std::uint8_t> newAddress = std::nullopt;
  std::optional<std::uint8_t> newBaudCode = std::nullopt;
  // Registers after the request.
  std::optional<sim::TRegisters> after = std::nullopt;
};

void PrintTo(const AnswerCase& row, std::ostream* os) {
  *os << row.name;
}

class SlaveAnswers : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(SlaveAnswers, RepliesAndTakesChangesAsSpecifiedForTheFamily) {
  const AnswerCase& c = GetParam();
  sim::TSlaveState state{c.address, 4, c.registers};
  const sim::TAnswer answer = sim::AnswerRequest(state, FromHex(c.request));
  EXPECT_EQ(ToHex(answer.reply), c.reply);
  EXPECT_EQ(answer.newAddress, c.newAddress);
  EXPECT_EQ(answer.newBaudCode, c.newBaudCode);
  EXPECT_EQ(state.registers, c.after.value_or(c.registers));
  EXPECT_EQ(state.address, c.address) << "the address changes only after the echo";
  EXPECT_EQ(state.baudCode, 4) << "the rate changes only after the echo";
}

const sim::TRegisters kWorked = {14, 0, 0, 2, 3, 6, 1};
const sim::TRegisters kFresh = {14, 247, 4, 0, 0, 2, 0};

INSTANTIATE_TEST_SUITE_P(
    GoodRequests, SlaveAnswers,
    ::testing::Values(AnswerCase{"ParameterQuery", 247, kWorked, "F7 03 00 00 00 07 10 9E",
                                 "F7 03 0E 00 0E 00 00 00 00 00 02 00 03 00 06 00 01 18 08"},
                      AnswerCase{"SearchProbeAtAddress1",
                                 1,
                                 {14, 1, 4, 0, 0, 2, 0},
                                 "01 03 00 00 00 01 84 0A",
                                 "01 03 02 00 0E 39 80"},
                      AnswerCase{"ReadOfTheModeAlone", 247, kWorked, "F7 03 00 03 00 01 60 9C",
                                 "F7 03 02 00 02 F1 90"},
                      AnswerCase{"SwitchOnRunsTheOnCommandMode", 247, kWorked,
                                 "F7 06 00 03 00 01 AC 9C", "F7 06 00 03 00 01 AC 9C", std::nullopt,
                                 std::nullopt, sim::TRegisters{14, 0, 0, 6, 3, 6, 1}},
                      AnswerCase{"SwitchOff", 247, kWorked, "F7 06 00 03 00 00 6D 5C",
                                 "F7 06 00 03 00 00 6D 5C", std::nullopt, std::nullopt,
                                 sim::TRegisters{14, 0, 0, 0, 3, 6, 1}},
                      AnswerCase{"PowerUpMode10", 247, kFresh, "F7 06 00 04 00 0A 5C 9A",
                                 "F7 06 00 04 00 0A 5C 9A", std::nullopt, std::nullopt,
                                 sim::TRegisters{14, 247, 4, 0, 10, 2, 0}},
                      AnswerCase{"OnCommandMode7", 247, kFresh, "F7 06 00 05 00 07 CC 9F",
                                 "F7 06 00 05 00 07 CC 9F", std::nullopt, std::nullopt,
                                 sim::TRegisters{14, 247, 4, 0, 0, 7, 0}},
                      AnswerCase{"RememberFlag", 247, kFresh, "F7 06 00 06 00 01 BC 9D",
                                 "F7 06 00 06 00 01 BC 9D", std::nullopt, std::nullopt,
                                 sim::TRegisters{14, 247, 4, 0, 0, 2, 1}},
                      AnswerCase{"NewAddressAfterTheEcho", 247, kFresh, "F7 06 00 01 00 05 0C 9F",
                                 "F7 06 00 01 00 05 0C 9F", 5, std::nullopt,
                                 sim::TRegisters{14, 5, 4, 0, 0, 2, 0}},
                      AnswerCase{"NewBaudCodeAfterTheEcho", 247, kFresh, "F7 06 00 02 00 06 BC 9E",
                                 "F7 06 00 02 00 06 BC 9E", std::nullopt, 6,
                                 sim::TRegisters{14, 247, 6, 0, 0, 2, 0}}),
    CaseName());

INSTANTIATE_TEST_SUITE_P(
    RefusedRequests, SlaveAnswers,
    ::testing::Values(
        AnswerCase{"ReadOfRegister9", 247, kWorked, "F7 03 00 09 00 01 40 9E", "F7 83 02 20 C3"},
        AnswerCase{"ReadPastRegister6", 247, kWorked, "F7 03 00 06 00 02 30 9C", "F7 83 02 20 C3"},
        AnswerCase{"ReadOfNoRegister", 247, kWorked, "F7 03 00 00 00 00 51 5C", "F7 83 03 E1 03"},
        AnswerCase{"WriteOfRegister9", 247, kWorked, "F7 06 00 09 00 01 8C 9E", "F7 86 02 23 93"},
        AnswerCase{"WriteOfTheId", 247, kWorked, "F7 06 00 00 00 0F DD 58", "F7 86 02 23 93"},
        AnswerCase{"OtherFunction", 247, kWorked, "F7 04 00 00 00 01 25 5C", "F7 84 01 62 F2"},
        AnswerCase{"Address0", 247, kFresh, "F7 06 00 01 00 00 CC 9C", "F7 86 03 E2 53"},
        AnswerCase{"Address248", 247, kFresh, "F7 06 00 01 00 F8 CD 1E", "F7 86 03 E2 53"},
        AnswerCase{"BaudCode9", 247, kFresh, "F7 06 00 02 00 09 FC 9A", "F7 86 03 E2 53"},
        AnswerCase{"Mode1IsNoMode", 247, kFresh, "F7 06 00 04 00 01 1D 5D", "F7 86 03 E2 53"},
        AnswerCase{"OtherAddress", 5, kWorked, "F7 03 00 00 00 07 10 9E", ""},
        AnswerCase{"BadCrc", 247, kWorked, "F7 03 00 00 00 07 10 9F", ""},
        AnswerCase{"TooShortForACrc", 247, kWorked, "F7 03 ", ""}),
    CaseName());

TEST(SlaveAnswers, ExceptionReplyHasTheWorkedLayout) {
  EXPECT_EQ(ToHex(sim::ExceptionReply(0xF7, 3, 2)), "F7 83 02 20 C3");
}

}  // namespace
