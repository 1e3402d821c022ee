#include "lifecycle/SinkProcess.h"

#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

extern char** environ;

namespace lifecycle {

namespace {

using Clock = std::chrono::steady_clock;

std::string ipProgram() {
    for (const char* path : {"/usr/sbin/ip", "/sbin/ip", "/usr/bin/ip", "/bin/ip"})
        if (std::filesystem::exists(path)) return path;
    return "ip";
}

std::filesystem::path makeFolder(const char* pattern) {
    std::string name = (std::filesystem::temp_directory_path() / pattern).string();
    if (!::mkdtemp(name.data())) return {};
    return name;
}

}  // namespace

std::vector<std::string> sinkNamespaces() {
    std::vector<std::string> names;
    if (const char* list = std::getenv("VELMORA_TESTNET_SINKS")) {
        std::istringstream words(list);
        for (std::string name; words >> name;) names.push_back(name);
    }
    return names;
}

SinkProcess::SinkProcess(const std::string& space, const std::vector<std::string>& options)
    : folder_(makeFolder("velmora-lifecycle-sink.XXXXXX")) {
    std::vector<std::string> args{ipProgram(), "netns", "exec", space, VELMORA_SINK_PROGRAM,
                                  "--listen", "::", "--port", "4000", "--log-port", "0",
                                  "--port-file", (folder_ / "port").string(), "--report", (folder_ / "report.json").string(),
                                  "--time-limit", "300", "--quiet", "--find"};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    // "ip netns exec" replaces itself with the sink, so this pid is the sink's own.
    if (posix_spawn(&pid_, argv[0], nullptr, nullptr, argv.data(), environ) != 0) pid_ = 0;
}

SinkProcess::~SinkProcess() {
    stop(SIGTERM);
    std::error_code ignored;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
}

bool SinkProcess::ready() {
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (pid_ && Clock::now() < deadline) {
        std::ifstream in(folder_ / "port");
        unsigned port = 0;
        if (in >> port && port) {
            // Discovery answers start right after the port is written.
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

void SinkProcess::stop(int signal) {
    if (!pid_) return;
    ::kill(pid_, signal);
    int status = 0;
    const auto deadline = Clock::now() + std::chrono::seconds(3);
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
        if (Clock::now() > deadline) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid_ = 0;
}

bool SinkProcess::running() {
    if (!pid_) return false;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) pid_ = 0;
    return pid_ != 0;
}

bool SinkProcess::waitForExit(std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (running()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

bool SinkProcess::sawClosingHandshake() const {
    std::ifstream in(folder_ / "report.json");
    const std::string report((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return report.find("\"closing_handshake\": true") != std::string::npos;
}

SettingsFolder::SettingsFolder(const std::vector<std::string>& lines)
    : folder_(makeFolder("velmora-lifecycle-config.XXXXXX")) {
    const auto dir = folder_ / "TOLVENIK Velmora";
    std::filesystem::create_directories(dir);
    std::ofstream out(dir / "setting.inf", std::ios::binary);
    out << "Version=1_100_0\r\n";
    for (const auto& line : lines) out << line << "\r\n";
    ::setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
}

SettingsFolder::~SettingsFolder() {
    ::unsetenv("XDG_CONFIG_HOME");
    std::error_code ignored;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
}

}  // namespace lifecycle
