#pragma once
// Keeps every datagram the sink receives and sends, one file each, when the environment
// variable VELMORA_SINK_CAPTURE names a folder: "<n>-<side>-<in|out>", numbered in the order
// they passed. The fuzz targets' seed corpora are made from such captures of real runs.

#include <cstdint>
#include <span>

namespace sink {

// side: "sync" or "find"; incoming: received (true) or sent.
void capture(const char* side, bool incoming, std::span<const uint8_t> datagram);

}  // namespace sink
