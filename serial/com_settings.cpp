#include "serial/com_settings.h"

#include "serial/com_port.h"

namespace {

// Stores value and reports a change; an equal value changes nothing.
template <typename T, typename Changed>
void Store(T& field, T value, Changed changed) {
  if (field == value) return;
  field = value;
  changed();
}

}  // namespace

// ---- TComTimeouts

void TComTimeouts::Changed() {
  if (owner_) owner_->ApplyTimeouts();
}
void TComTimeouts::SetReadInterval(std::int32_t value) {
  Store(readInterval_, value, [this] { Changed(); });
}
void TComTimeouts::SetReadTotalMultiplier(std::int32_t value) {
  Store(readTotalMultiplier_, value, [this] { Changed(); });
}
void TComTimeouts::SetReadTotalConstant(std::int32_t value) {
  Store(readTotalConstant_, value, [this] { Changed(); });
}
void TComTimeouts::SetWriteTotalMultiplier(std::int32_t value) {
  Store(writeTotalMultiplier_, value, [this] { Changed(); });
}
void TComTimeouts::SetWriteTotalConstant(std::int32_t value) {
  Store(writeTotalConstant_, value, [this] { Changed(); });
}

// ---- TComFlowControl

void TComFlowControl::Changed() {
  if (owner_) owner_->ApplyLineSettings();
}

TFlowControl TComFlowControl::FlowControl() const {
  if (controlRTS_ == rtsHandshake && outCTSFlow_ && !xonXoffIn_ && !xonXoffOut_) return fcHardware;
  if (controlRTS_ == rtsDisable && !outCTSFlow_ && xonXoffIn_ && xonXoffOut_) return fcSoftware;
  if (controlRTS_ == rtsDisable && !outCTSFlow_ && !xonXoffIn_ && !xonXoffOut_) return fcNone;
  return fcCustom;
}

void TComFlowControl::SetFlowControl(TFlowControl value) {
  if (value != fcCustom) {
    controlRTS_ = rtsDisable;
    outCTSFlow_ = false;
    xonXoffIn_ = false;
    xonXoffOut_ = false;
    if (value == fcHardware) {
      controlRTS_ = rtsHandshake;
      outCTSFlow_ = true;
    } else if (value == fcSoftware) {
      xonXoffIn_ = true;
      xonXoffOut_ = true;
    }
  }
  Changed();
}

void TComFlowControl::SetOutCTSFlow(bool value) {
  Store(outCTSFlow_, value, [this] { Changed(); });
}
void TComFlowControl::SetOutDSRFlow(bool value) {
  Store(outDSRFlow_, value, [this] { Changed(); });
}
void TComFlowControl::SetControlDTR(TDTRFlowControl value) {
  Store(controlDTR_, value, [this] { Changed(); });
}
void TComFlowControl::SetControlRTS(TRTSFlowControl value) {
  Store(controlRTS_, value, [this] { Changed(); });
}
void TComFlowControl::SetXonXoffOut(bool value) {
  Store(xonXoffOut_, value, [this] { Changed(); });
}
void TComFlowControl::SetXonXoffIn(bool value) {
  Store(xonXoffIn_, value, [this] { Changed(); });
}
void TComFlowControl::SetDSRSensitivity(bool value) {
  Store(dsrSensitivity_, value, [this] { Changed(); });
}
void TComFlowControl::SetTxContinueOnXoff(bool value) {
  Store(txContinueOnXoff_, value, [this] { Changed(); });
}
void TComFlowControl::SetXonChar(char value) {
  Store(xonChar_, value, [this] { Changed(); });
}
void TComFlowControl::SetXoffChar(char value) {
  Store(xoffChar_, value, [this] { Changed(); });
}

// ---- TComParity

void TComParity::Changed() {
  if (owner_) owner_->ApplyLineSettings();
}
void TComParity::SetBits(TParityBits value) {
  Store(bits_, value, [this] { Changed(); });
}
void TComParity::SetCheck(bool value) {
  Store(check_, value, [this] { Changed(); });
}
void TComParity::SetReplace(bool value) {
  Store(replace_, value, [this] { Changed(); });
}
void TComParity::SetReplaceChar(char value) {
  Store(replaceChar_, value, [this] { Changed(); });
}

// ---- TComBuffer

namespace {
// The queue sizes are kept even: an odd size becomes the even number below it.
int EvenBelow(int value) {
  return value - (value & 1);
}
}  // namespace

void TComBuffer::Changed() {
  if (owner_) owner_->ApplyBuffer();
}
void TComBuffer::SetInputSize(int value) {
  Store(inputSize_, EvenBelow(value), [this] { Changed(); });
}
void TComBuffer::SetOutputSize(int value) {
  Store(outputSize_, EvenBelow(value), [this] { Changed(); });
}
