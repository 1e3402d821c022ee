#include "SinkProcess.h"

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
using Clock = std::chrono::steady_clock;

namespace {

std::string ipProgram() {
    for (const char* path : {"/usr/sbin/ip", "/sbin/ip", "/usr/bin/ip", "/bin/ip"})
        if (fs::exists(path)) return path;
    return "ip";
}

}  // namespace

SinkProcess::SinkProcess(std::vector<std::string> extraArgs, double timeLimitS, bool rawOut) {
    char pattern[] = "/tmp/velmora-engine-XXXXXX";
    const char* made = ::mkdtemp(pattern);
    dir_ = made ? made : "/tmp";
    std::vector<std::string> args{VELMORA_SINK_PROGRAM, "--port", "0", "--time-limit", std::to_string(timeLimitS)};
    if (rawOut) {
        args.push_back("--raw-out");
        args.push_back(dir_ + "/raw.bin");
    }
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    spawn(std::move(args));
}

SinkProcess::SinkProcess(const std::string& space, const std::vector<std::string>& options) : answersDiscovery_(true) {
    char pattern[] = "/tmp/velmora-sink-XXXXXX";
    const char* made = ::mkdtemp(pattern);
    dir_ = made ? made : "/tmp";
    // "ip netns exec" replaces itself with the sink, so the child's pid is the sink's own.
    std::vector<std::string> args{ipProgram(), "netns", "exec", space, VELMORA_SINK_PROGRAM, "--listen", "::",
                                  "--port", std::to_string(syncPort), "--time-limit", "300", "--find"};
    args.insert(args.end(), options.begin(), options.end());
    spawn(std::move(args));
}

void SinkProcess::spawn(std::vector<std::string> args) {
    args.insert(args.end(), {"--log-port", "0", "--port-file", dir_ + "/port", "--report", dir_ + "/report.json", "--quiet"});
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) == 0) pid_ = pid;
}

SinkProcess::~SinkProcess() {
    stop();   // asked to end, not killed: the sink writes its report and coverage counters on exit
    std::error_code ec;
    if (dir_ != "/tmp") fs::remove_all(dir_, ec);
}

bool SinkProcess::waitListening(std::chrono::milliseconds timeout) {
    const auto end = Clock::now() + timeout;
    while (pid_ > 0 && Clock::now() < end) {
        std::ifstream f(dir_ + "/port");
        unsigned port = 0;
        if (f >> port && port != 0) {
            port_ = static_cast<uint16_t>(port);
            // Discovery answers start right after the port is written.
            if (answersDiscovery_) std::this_thread::sleep_for(std::chrono::milliseconds(100));
            return true;
        }
        if (::waitpid(pid_, nullptr, WNOHANG) == pid_) pid_ = -1;   // it ended without listening
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

int SinkProcess::waitExit(std::chrono::milliseconds timeout) {
    if (pid_ <= 0) return -1;
    const auto end = Clock::now() + timeout;
    int status = 0;
    while (Clock::now() < end) {
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
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

void SinkProcess::stop(int signal) {
    if (pid_ <= 0) return;
    ::kill(pid_, signal);
    if (signal != SIGKILL) waitExit(std::chrono::seconds(3));   // kills it when it outlives the wait
    if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
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
