#include "SinkProcess.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace engine_test {

namespace fs = std::filesystem;

std::string sinkProgram() { return VELMORA_SINK_PROGRAM; }

SinkProcess::SinkProcess(std::vector<std::string> extraArgs, double timeLimitS, bool rawOut) {
    char pattern[] = "/tmp/velmora-engine-XXXXXX";
    const char* made = ::mkdtemp(pattern);
    dir_ = made ? made : "/tmp";
    std::vector<std::string> args{sinkProgram(),
                                  "--port", "0",
                                  "--log-port", "0",
                                  "--port-file", dir_ + "/port",
                                  "--report", dir_ + "/report.json",
                                  "--time-limit", std::to_string(timeLimitS),
                                  "--quiet"};
    if (rawOut) {
        args.push_back("--raw-out");
        args.push_back(dir_ + "/raw.bin");
    }
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) == 0) pid_ = pid;
}

SinkProcess::~SinkProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    std::error_code ec;
    if (dir_ != "/tmp") fs::remove_all(dir_, ec);
}

bool SinkProcess::waitListening(std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (pid_ > 0 && std::chrono::steady_clock::now() < end) {
        std::ifstream f(dir_ + "/port");
        unsigned port = 0;
        if (f >> port && port != 0) {
            port_ = static_cast<uint16_t>(port);
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

int SinkProcess::waitExit(std::chrono::milliseconds timeout) {
    if (pid_ <= 0) return -1;
    const auto end = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    while (std::chrono::steady_clock::now() < end) {
        const pid_t r = ::waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
    return -1;
}

std::vector<uint8_t> SinkProcess::rawOutput() const {
    std::ifstream f(dir_ + "/raw.bin", std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

std::string SinkProcess::report() const {
    std::ifstream f(dir_ + "/report.json");
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

namespace {
// The text after "key": in the report, inside the named object when key has a dot.
std::string fieldText(const std::string& json, const std::string& key) {
    size_t from = 0;
    std::string name = key;
    if (const size_t dot = key.find('.'); dot != std::string::npos) {
        from = json.find("\"" + key.substr(0, dot) + "\"");
        if (from == std::string::npos) return {};
        name = key.substr(dot + 1);
    }
    const size_t at = json.find("\"" + name + "\":", from);
    if (at == std::string::npos) return {};
    size_t v = at + name.size() + 3;
    while (v < json.size() && json[v] == ' ') ++v;
    const size_t end = json.find_first_of(",}\n", v);
    return json.substr(v, end - v);
}
}  // namespace

double SinkProcess::reportNumber(const std::string& key) const {
    const std::string t = fieldText(report(), key);
    return t.empty() ? -1.0 : std::strtod(t.c_str(), nullptr);
}

bool SinkProcess::reportFlag(const std::string& key) const { return fieldText(report(), key) == "true"; }

}  // namespace engine_test
