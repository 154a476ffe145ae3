// The message table of EComPort and the texts of the exceptions, without a catalogue.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "serial/com_exception.h"

namespace {

const char* const kTable[] = {
    "Unable to open com port",
    "WriteFile function failed",
    "ReadFile function failed",
    "Invalid Async parameter",
    "PurgeComm function failed",
    "Unable to get async status",
    "SetCommState function failed",
    "SetCommTimeouts failed",
    "SetupComm function failed",
    "ClearCommError function failed",
    "GetCommModemStatus function failed",
    "EscapeCommFunction function failed",
    "TransmitCommChar function failed",
    "Cannot set property while connected",
    "EnumPorts function failed",
    "Failed to store settings",
    "Failed to load settings",
    "Link (un)registration failed",
    "Cannot change led state if ComPort is selected",
    "Cannot wait for event if event thread is created",
    "WaitForEvent method failed",
    "A component is linked to OnRxBuf event",
    "Registry error",
};

TEST(ComMessageTable, HoldsTheTwentyThreeTextsWithoutACatalogue) {
  BuildComMessageTable();  // no catalogue is bound in this program: the texts stay as written
  for (int code = 1; code <= 23; ++code) {
    EXPECT_EQ(ComMessageText(code), kTable[code - 1]) << "code " << code;
  }
  EXPECT_EQ(ComMessageText(0), "");
  EXPECT_EQ(ComMessageText(24), "");
}

TEST(ComException, CarriesTheSystemCodeInTheSuffix) {
  for (int code = 1; code <= 23; ++code) {
    if (code == 4 || code == 14) continue;
    const EComPort e(code, ENOENT);
    EXPECT_EQ(std::string(e.what()),
              std::string(kTable[code - 1]) + " (win error code: " + std::to_string(ENOENT) + ")");
    EXPECT_EQ(e.FailureCode, code);
    EXPECT_EQ(e.SystemErrorCode, ENOENT);
  }
  const EComPort negative(CError_ReadFailed, -7);
  EXPECT_STREQ(negative.what(), "ReadFile function failed (win error code: -7)");
}

TEST(ComException, CodesFourAndFourteenHaveNoSuffixAndNoSystemCode) {
  const EComPort property(CError_ConnChangeProp, 13);
  EXPECT_STREQ(property.what(), "Cannot set property while connected");
  EXPECT_EQ(property.SystemErrorCode, -1);
  EXPECT_EQ(property.FailureCode, 14);
  const EComPort async(CError_InvalidAsync, -1);
  EXPECT_STREQ(async.what(), "Invalid Async parameter");
  EXPECT_EQ(async.SystemErrorCode, -1);
}

}  // namespace
