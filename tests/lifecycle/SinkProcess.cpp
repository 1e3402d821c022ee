#include "lifecycle/SinkProcess.h"

#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

extern char** environ;

namespace lifecycle {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

std::string ipProgram() {
    for (const char* path : {"/usr/sbin/ip", "/sbin/ip", "/usr/bin/ip", "/bin/ip"})
        if (std::filesystem::exists(path)) return path;
    return "ip";
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

SinkProcess::SinkProcess(const std::string& space, const std::vector<std::string>& options) {
    std::string folder = (std::filesystem::temp_directory_path() / "velmora-sink.XXXXXX").string();
    if (!::mkdtemp(folder.data())) {
        error_ = "mkdtemp: " + std::string(std::strerror(errno));
        return;
    }
    folder_ = folder;
    std::vector<std::string> args{ipProgram(), "netns", "exec", space, VELMORA_SINK_PROGRAM,
                                  "--listen", "::", "--port", std::to_string(syncPort), "--log-port", "0",
                                  "--port-file", (folder_ / "port").string(), "--report", (folder_ / "report.json").string(),
                                  "--time-limit", "300", "--quiet", "--find"};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    // "ip netns exec" replaces itself with the sink, so this pid is the sink's own.
    if (const int e = posix_spawn(&pid_, argv[0], nullptr, nullptr, argv.data(), environ); e != 0) {
        pid_ = 0;
        error_ = "posix_spawn: " + std::string(std::strerror(e));
    }
}

SinkProcess::~SinkProcess() {
    stop();
    std::error_code ignored;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
}

uint16_t SinkProcess::port() {
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (pid_ && Clock::now() < deadline) {
        std::ifstream in(folder_ / "port");
        unsigned value = 0;
        if (in >> value && value) {
            // Discovery answers start right after the port is written.
            std::this_thread::sleep_for(milliseconds(100));
            return static_cast<uint16_t>(value);
        }
        if (int status = 0; ::waitpid(pid_, &status, WNOHANG) == pid_) {
            error_ = "(it exited with status " + std::to_string(status) + ")";
            pid_ = 0;
        }
        std::this_thread::sleep_for(milliseconds(20));
    }
    return 0;
}

void SinkProcess::stop(int signal) {
    if (!pid_) return;
    ::kill(pid_, signal);
    if (!waitForExit(std::chrono::seconds(3))) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    pid_ = 0;
}

bool SinkProcess::waitForExit(milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (pid_ && ::waitpid(pid_, nullptr, WNOHANG) == 0) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(milliseconds(10));
    }
    pid_ = 0;
    return true;
}

bool SinkProcess::sawClosingHandshake() const {
    std::ifstream in(folder_ / "report.json");
    const std::string report((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return report.find("\"closing_handshake\": true") != std::string::npos;
}

}  // namespace lifecycle
