// Core counting from /sys/devices/system/cpu: logical processors that share a package id and a
// core id are hyper-threads of one core.

#include "platform/posix/CpuTopology.h"

#include <cctype>
#include <filesystem>
#include <fstream>
#include <set>
#include <utility>

namespace platform::posix {

namespace {

bool readNumber(const std::filesystem::path& file, long& value) {
    std::ifstream in(file);
    return static_cast<bool>(in >> value);
}

bool isCpuFolderName(const std::string& name) {
    if (name.size() <= 3 || name.compare(0, 3, "cpu") != 0) return false;
    for (size_t i = 3; i < name.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) return false;
    return true;
}

}  // namespace

uint32_t countCoresInTopology(const std::string& cpuRoot) {
    std::set<std::pair<long, long>> cores;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(cpuRoot, error)) {
        if (!isCpuFolderName(entry.path().filename().string())) continue;
        const auto topology = entry.path() / "topology";
        long package = 0;
        long core = 0;
        if (readNumber(topology / "physical_package_id", package) && readNumber(topology / "core_id", core))
            cores.emplace(package, core);
    }
    return static_cast<uint32_t>(cores.size());
}

}  // namespace platform::posix
