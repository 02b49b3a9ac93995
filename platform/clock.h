// Monotonic millisecond clock. Wraps after 49.7 days like a 32-bit tick count;
// differences of two readings stay correct across the wrap.
#pragma once

#include <cstdint>

namespace hs::platform {

uint32_t MillisecondClock();
// Seconds since 1 January 1970 (wall clock), for time stamps in files.
int64_t CalendarTime();
void SleepMilliseconds(uint32_t ms);

}  // namespace hs::platform
