// The four settings objects of the serial component. Each belongs to one component, which it
// tells about a change so that the component can apply that group of settings at once.
#pragma once

#include <cstdint>

#include "serial/com_types.h"

class TCustomComPort;

// Time-outs in milliseconds (the multipliers per byte); -1 stands for the platform maximum.
class TComTimeouts {
 public:
  std::int32_t ReadInterval() const { return readInterval_; }
  void SetReadInterval(std::int32_t value);
  std::int32_t ReadTotalMultiplier() const { return readTotalMultiplier_; }
  void SetReadTotalMultiplier(std::int32_t value);
  std::int32_t ReadTotalConstant() const { return readTotalConstant_; }
  void SetReadTotalConstant(std::int32_t value);
  std::int32_t WriteTotalMultiplier() const { return writeTotalMultiplier_; }
  void SetWriteTotalMultiplier(std::int32_t value);
  std::int32_t WriteTotalConstant() const { return writeTotalConstant_; }
  void SetWriteTotalConstant(std::int32_t value);

 private:
  friend class TCustomComPort;
  void Changed();
  TCustomComPort* owner_ = nullptr;
  std::int32_t readInterval_ = -1;
  std::int32_t readTotalMultiplier_ = 0;
  std::int32_t readTotalConstant_ = 0;
  std::int32_t writeTotalMultiplier_ = 100;
  std::int32_t writeTotalConstant_ = 1000;
};

class TComFlowControl {
 public:
  // Derived from the switches below; writing it sets them.
  TFlowControl FlowControl() const;
  void SetFlowControl(TFlowControl value);
  bool OutCTSFlow() const { return outCTSFlow_; }
  void SetOutCTSFlow(bool value);
  bool OutDSRFlow() const { return outDSRFlow_; }
  void SetOutDSRFlow(bool value);
  TDTRFlowControl ControlDTR() const { return controlDTR_; }
  void SetControlDTR(TDTRFlowControl value);
  TRTSFlowControl ControlRTS() const { return controlRTS_; }
  void SetControlRTS(TRTSFlowControl value);
  bool XonXoffOut() const { return xonXoffOut_; }
  void SetXonXoffOut(bool value);
  bool XonXoffIn() const { return xonXoffIn_; }
  void SetXonXoffIn(bool value);
  bool DSRSensitivity() const { return dsrSensitivity_; }
  void SetDSRSensitivity(bool value);
  bool TxContinueOnXoff() const { return txContinueOnXoff_; }
  void SetTxContinueOnXoff(bool value);
  char XonChar() const { return xonChar_; }
  void SetXonChar(char value);
  char XoffChar() const { return xoffChar_; }
  void SetXoffChar(char value);

 private:
  friend class TCustomComPort;
  void Changed();
  TCustomComPort* owner_ = nullptr;
  bool outCTSFlow_ = false;
  bool outDSRFlow_ = false;
  TDTRFlowControl controlDTR_ = dtrDisable;
  TRTSFlowControl controlRTS_ = rtsDisable;
  bool xonXoffOut_ = false;
  bool xonXoffIn_ = false;
  bool dsrSensitivity_ = false;
  bool txContinueOnXoff_ = false;
  char xonChar_ = 0x11;
  char xoffChar_ = 0x13;
};

class TComParity {
 public:
  TParityBits Bits() const { return bits_; }
  void SetBits(TParityBits value);
  bool Check() const { return check_; }
  void SetCheck(bool value);
  bool Replace() const { return replace_; }
  void SetReplace(bool value);
  char ReplaceChar() const { return replaceChar_; }
  void SetReplaceChar(char value);

 private:
  friend class TCustomComPort;
  void Changed();
  TCustomComPort* owner_ = nullptr;
  TParityBits bits_ = prNone;
  bool check_ = false;
  bool replace_ = false;
  char replaceChar_ = 0;
};

// Queue sizes in bytes; an odd size is stored as the even number below it.
class TComBuffer {
 public:
  int InputSize() const { return inputSize_; }
  void SetInputSize(int value);
  int OutputSize() const { return outputSize_; }
  void SetOutputSize(int value);

 private:
  friend class TCustomComPort;
  void Changed();
  TCustomComPort* owner_ = nullptr;
  int inputSize_ = 1024;
  int outputSize_ = 1024;
};
