#pragma once
// The system's one time base: unsigned 32-bit microseconds from the performance counter.
// The value wraps every 2^32 us (about 71.6 minutes), so times are compared only through
// compareTime / isEarlier / isLater, never with a plain less-than. Also the wall clock,
// broken down into local time, for the log's header.

#include <cstdint>
#include <ctime>

namespace platform {

// Microseconds since an arbitrary start, low 32 bits.
uint32_t nowMicroseconds();

// -1 when a is earlier than b, 0 when equal, +1 when a is later, by wrap-around distance.
// At a distance of exactly 2^31 the numerically smaller value counts as the later one.
int compareTime(uint32_t a, uint32_t b);
bool isEarlier(uint32_t a, uint32_t b);
bool isLater(uint32_t a, uint32_t b);

// counter * 1,000,000 / frequency, truncated, low 32 bits; exact for every counter value.
// frequency 0 yields 0.
uint32_t counterToMicroseconds(uint64_t counter, uint64_t frequency);

// The raw performance counter and its ticks per second (backends).
uint64_t performanceCounter();
uint64_t performanceFrequency();

// Whole seconds since 1970 from the system clock (read in 100 ns units).
int64_t secondsSince1970();

// Local calendar time of seconds since 1970; all fields zero if the conversion fails.
std::tm localCalendarTime(int64_t secondsSince1970);

}  // namespace platform
