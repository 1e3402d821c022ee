#include "platform/Process.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>

#include "platform/Files.h"

extern char** environ;

namespace platform {

ChildProcess::~ChildProcess() { release(); }

ChildProcess::ChildProcess(ChildProcess&& other) noexcept : handle_(other.handle_) { other.handle_ = 0; }

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this != &other) {
        release();
        handle_ = other.handle_;
        other.handle_ = 0;
    }
    return *this;
}

bool ChildProcess::launch(const std::string& program, const std::vector<std::string>& arguments) {
    if (handle_ != 0) return false;
    const std::string path = nativePath(program);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return false;
    handle_ = pid;
    return true;
}

int ChildProcess::wait() {
    if (handle_ == 0) return -1;
    const auto pid = static_cast<pid_t>(handle_);
    handle_ = 0;
    int status = 0;
    pid_t done;
    do {
        done = ::waitpid(pid, &status, 0);
    } while (done < 0 && errno == EINTR);
    if (done != pid) return -1;
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

void ChildProcess::release() {
    // The program keeps running; reap it now if it has already ended.
    if (handle_ != 0) {
        int status = 0;
        ::waitpid(static_cast<pid_t>(handle_), &status, WNOHANG);
        handle_ = 0;
    }
}

}  // namespace platform
