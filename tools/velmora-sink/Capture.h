#pragma once
// Keeps every datagram the sink receives and sends, one file each, when the environment
// variable VELMORA_SINK_CAPTURE names a folder: "<n>-<side>-<in|out>", numbered in the order
// they passed. The fuzz targets' seed corpora are made from such captures of real runs.
// Header-only: the Find responder is built into several programs.

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

namespace sink {

// side: "sync" or "find"; incoming: received (true) or sent.
inline void capture(const char* side, bool incoming, std::span<const uint8_t> datagram) {
    static const char* folder = std::getenv("VELMORA_SINK_CAPTURE");
    static std::atomic<uint32_t> count{0};
    if (folder == nullptr || *folder == '\0') return;
    char name[64];
    std::snprintf(name, sizeof name, "/%06u-%s-%s", count.fetch_add(1), side, incoming ? "in" : "out");
    if (std::FILE* f = std::fopen((std::string(folder) + name).c_str(), "wb")) {
        std::fwrite(datagram.data(), 1, datagram.size(), f);
        std::fclose(f);
    }
}

}  // namespace sink
