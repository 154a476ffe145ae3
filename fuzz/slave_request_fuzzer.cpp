// The virtual device's side of a request: any frame against any device state through
// AnswerRequest, and the content faults and pacing of the reply it sends.
//
// Input: [address] [baud code] [14 bytes of registers] [fault byte] [frame bytes ...].
#include <cstdio>
#include <cstdlib>
#include <random>
#include <span>

#include "fuzz/property_check.h"
#include "sim/crc16.h"
#include "sim/modbus_slave.h"
#include "sim/transmission.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 17) return 0;
  sim::TSlaveState state;
  state.address = data[0];
  state.baudCode = data[1];
  for (std::size_t r = 0; r < sim::kRegisterCount; ++r)
    state.registers[r] = static_cast<std::uint16_t>(data[2 + 2 * r] << 8 | data[3 + 2 * r]);
  const std::uint8_t faultByte = data[16];
  const std::span<const std::uint8_t> frame(data + 17, size - 17);

  const sim::TSlaveState before = state;
  const bool forMe = sim::IsRequestFor(state.address, frame);
  const sim::TAnswer answer = sim::AnswerRequest(state, frame);
  if (!forMe) {
    CHECK(answer.reply.empty() && !answer.newAddress && !answer.newBaudCode);
    CHECK(state.registers == before.registers);
    return 0;
  }
  // Every answer is a whole frame from this device, for the function asked.
  CHECK(answer.reply.size() >= 5);
  CHECK(sim::HasValidCrc(answer.reply));
  CHECK(answer.reply[0] == state.address);
  CHECK((answer.reply[1] & 0x7F) == (frame[1] & 0x7F));
  CHECK(state.address == before.address && state.baudCode == before.baudCode);
  if (answer.reply[1] & 0x80) {
    CHECK(answer.reply.size() == 5 && answer.reply[2] >= 1 && answer.reply[2] <= 3);
    CHECK(state.registers == before.registers);
  } else if (frame[1] == 3) {
    CHECK(answer.reply.size() == 5u + answer.reply[2]);
  } else {
    CHECK(frame[1] == 6 && answer.reply.size() == 8);
    CHECK(std::equal(answer.reply.begin(), answer.reply.end(), frame.begin(), frame.end()));
  }
  if (answer.newAddress) CHECK(*answer.newAddress >= 1 && *answer.newAddress <= 247);
  if (answer.newBaudCode) CHECK(*answer.newBaudCode >= 1 && *answer.newBaudCode <= 8);
  CHECK(state.registers[0] == before.registers[0]);  // the id is read-only

  // The reply on the line, with faults drawn from the fault byte.
  sim::TFaults faults;
  if (faultByte & 1) faults.corruptByte = faultByte >> 3;
  if (faultByte & 2) faults.garbageBytes = faultByte >> 2;
  if (faultByte & 4) faults.garbage = sim::TGarbage::kInstead;
  if (faultByte & 8) faults.extraBytes.assign(faultByte & 7, 0x55);
  std::mt19937 random(faultByte);
  const std::vector<std::uint8_t> wire = sim::ApplyContentFaults(answer.reply, faults, random);
  if (faults.garbageBytes == 0) {
    CHECK(wire.size() == answer.reply.size() + faults.extraBytes.size());
    if (faults.corruptByte) CHECK(!sim::HasValidCrc(std::span(wire).first(answer.reply.size())));
  }
  const std::vector<std::size_t> gaps = {faultByte % 7u, faultByte % 11u};
  const auto start = sim::Clock::now();
  const sim::TTransmission sent =
      sim::Pace(wire, start, std::chrono::microseconds(174), gaps, std::chrono::milliseconds(3));
  CHECK(sent.bytes.size() == wire.size());
  for (std::size_t k = 0; k < sent.bytes.size(); ++k) {
    CHECK(sent.bytes[k].value == wire[k]);
    if (k > 0) CHECK(sent.bytes[k].at > sent.bytes[k - 1].at);
  }
  if (!sent.bytes.empty()) CHECK(sent.end == sent.bytes.back().at && sent.start >= start);
  return 0;
}
