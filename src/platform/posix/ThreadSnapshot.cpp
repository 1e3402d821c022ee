#include "platform/ThreadSnapshot.h"

#include <cstdlib>
#include <filesystem>

namespace platform {

// The threads of this process, from /proc.
std::vector<uint32_t> processThreadIds() {
    std::vector<uint32_t> ids;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task", ec))
        ids.push_back(static_cast<uint32_t>(std::strtoul(entry.path().filename().c_str(), nullptr, 10)));
    return ids;
}

}  // namespace platform
