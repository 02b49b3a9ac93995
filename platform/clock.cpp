#include "platform/clock.h"

#include <ctime>
#include <thread>
#include <chrono>

namespace hs::platform {

uint32_t MillisecondClock() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 1000u +
                               static_cast<uint64_t>(ts.tv_nsec) / 1000000u);
}

int64_t CalendarTime() { return static_cast<int64_t>(std::time(nullptr)); }

void SleepMilliseconds(uint32_t ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace hs::platform
