// EComPort: the one exception of the serial component, with a numbered message.
#pragma once

#include <stdexcept>
#include <string>

// Rows of the message table (FailureCode).
enum TComFailure : int {
  CError_OpenFailed = 1,
  CError_WriteFailed = 2,
  CError_ReadFailed = 3,
  CError_InvalidAsync = 4,
  CError_PurgeFailed = 5,
  CError_AsyncCheck = 6,
  CError_SetStateFailed = 7,
  CError_TimeoutsFailed = 8,
  CError_SetupComFailed = 9,
  CError_ClearComFailed = 10,
  CError_ModemStatFailed = 11,
  CError_EscapeComFailed = 12,
  CError_TransmitFailed = 13,
  CError_ConnChangeProp = 14,
  CError_EnumPortsFailed = 15,
  CError_StoreFailed = 16,
  CError_LoadFailed = 17,
  CError_RegFailed = 18,
  CError_LedStateFailed = 19,
  CError_ThreadCreated = 20,
  CError_WaitFailed = 21,
  CError_HasLink = 22,
  CError_RegError = 23,
};

class EComPort : public std::runtime_error {
 public:
  // Codes 4 and 14 carry the table text alone and SystemErrorCode -1; every other code carries
  // the table text followed by " (win error code: %d)" with systemErrorCode in place of %d.
  EComPort(int failureCode, int systemErrorCode);

  int SystemErrorCode;
  int FailureCode;
};

// Builds the message table once, passing each text through the message catalogue (call after
// the catalogues are set up). Without a call the texts stay as written.
void BuildComMessageTable();
// The table text of a code 1..23 (empty for any other code).
const std::string& ComMessageText(int failureCode);
