#pragma once
// Sample converters: copy stream bytes from the host's block into a data packet,
// changing the DSD layout or the polarity on the way.
//
// Every converter has the same shape, so the session can hold the current one as a
// plain function pointer. Destination and source never overlap.
//  - copy and invert handle every byte of any count;
//  - the six word converters handle count / 4 whole 32-bit words and leave the
//    1..3 remaining destination bytes untouched.
// None of them allocates.

#include <cstddef>

namespace VELMORA {

using SampleConverter = void (*)(void* destination, const void* source, size_t bytes);

namespace converters {
void copy(void* destination, const void* source, size_t bytes);
// Every byte complemented.
void invert(void* destination, const void* source, size_t bytes);
// The four bytes of each 32-bit word in reverse order.
void swap32(void* destination, const void* source, size_t bytes);
void swap32Invert(void* destination, const void* source, size_t bytes);
// As swap32, and the bits of each byte in reverse order (bit i to bit 7 - i).
void swap32BitReverse(void* destination, const void* source, size_t bytes);
void swap32BitReverseInvert(void* destination, const void* source, size_t bytes);
// The bits of each byte in reverse order, byte positions kept.
void bitReverse(void* destination, const void* source, size_t bytes);
void bitReverseInvert(void* destination, const void* source, size_t bytes);
}  // namespace converters

// The member of the converter's pair {plain, complemented} that matches `invert`:
// {swap32, swap32Invert}, {swap32BitReverse, swap32BitReverseInvert},
// {bitReverse, bitReverseInvert}; anything else maps into {copy, invert}.
SampleConverter polarityVariant(SampleConverter converter, bool invert);

// The polarity switch of a session: the stream is inverted when exactly one of the
// host setting and the sink's request asks for it. Logs both phases at severity 6
// and returns the converter to use from now on.
SampleConverter applyPolarity(SampleConverter converter, bool hostInvert, bool sinkInvert);

// A short name for logs and test output ("copy", "swap32Invert", ...; "other" for
// a function that is none of the eight).
const char* converterName(SampleConverter converter);

}  // namespace VELMORA
