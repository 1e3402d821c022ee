#include "Capture.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace sink {

void capture(const char* side, bool incoming, std::span<const uint8_t> datagram) {
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
