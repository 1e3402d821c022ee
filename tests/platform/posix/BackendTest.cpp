#include "platform/Thread.h"
#include "platform/posix/CpuTopology.h"

#include <gtest/gtest.h>

#include <errno.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

TEST(CpuTopology, HyperThreadsShareACore) {
    const fs::path root = fs::temp_directory_path() / ("velmora-cpu-" + std::to_string(getpid()));
    fs::remove_all(root);
    EXPECT_EQ(platform::posix::countCoresInTopology((root / "missing").string()), 0u);
    // name, package, core: cpu2/cpu3 are siblings of cpu0/cpu1, cpu4 another package.
    const std::tuple<const char*, int, int> cpus[] = {{"cpu0", 0, 0}, {"cpu1", 0, 1},    {"cpu2", 0, 0},
                                                      {"cpu3", 0, 1}, {"cpu4", 1, 0},    {"cpufreq", 9, 9},
                                                      {"cpu6x", 9, 8}};
    for (const auto& [name, package, core] : cpus) {
        fs::create_directories(root / name / "topology");
        std::ofstream(root / name / "topology" / "physical_package_id") << package << "\n";
        std::ofstream(root / name / "topology" / "core_id") << core << "\n";
    }
    fs::create_directories(root / "cpu5");   // offline: no topology
    EXPECT_EQ(platform::posix::countCoresInTopology(root.string()), 3u);
    fs::remove_all(root);
}

// A child process lowers its own priority (below normal) and reports the level it reads.
TEST(ProcessPriority, BelowNormalProcessIsLevel3) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        errno = 0;
        const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));
        if (errno != 0) _exit(101);
        if (nice <= 0 && setpriority(PRIO_PROCESS, static_cast<id_t>(getpid()), 5) != 0) _exit(100);
        _exit(platform::processPriorityLevel());
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3);
}

}  // namespace
