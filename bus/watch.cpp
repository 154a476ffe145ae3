#include "bus/watch.h"

#include <condition_variable>
#include <mutex>

void PauseUnlessStopped(const std::stop_token& stop, std::chrono::milliseconds pause) {
  if (pause.count() <= 0) return;
  std::mutex mutex;
  std::condition_variable_any wake;
  std::unique_lock lock(mutex);
  wake.wait_for(lock, stop, pause, [] { return false; });
}

void TWatch::Run(const std::stop_token& stop) {
  while (!stop.stop_requested() && (plan_.count == 0 || tally_.reads < plan_.count)) {
    if (tally_.reads > 0) {
      PauseUnlessStopped(stop, plan_.interval);
      if (stop.stop_requested()) break;
    }
    ReadOnce();
  }
}

void TWatch::ReadOnce() {
  TWatchRead read;
  read.number = ++tally_.reads;
  observer_.ReadBegins(read.number, std::chrono::system_clock::now());
  try {
    read.reading = ReadParameterBlock(line_, target_);
    read.previous = previous_;
    tally_.replyMs.push_back(read.reading->replyTime.count());
    previous_ = read.reading->block;
  } catch (const TDeviceFault& fault) {
    ++tally_.faultsByKind[FaultKindName(fault.Kind)];
    read.fault = fault;
  }
  observer_.ReadEnded(read);
}
