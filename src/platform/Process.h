#pragma once
// Launching another program and waiting for it to end.

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// One launched program. Windows: the shell's execute call with the default verb and a
// normal window, holding the process handle; POSIX: posix_spawn, reaped with waitpid.
// Destroying a process object that was not waited for does not end the program.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts program (a UTF-8 path) with the given arguments. False when the system could not
    // start it (missing file, not executable...). A process object holds one program at a time:
    // launching while one is held fails.
    bool launch(const std::string& program, const std::vector<std::string>& arguments = {});

    bool launched() const { return handle_ != 0; }

    // Blocks without limit until the program ends and returns its exit status (POSIX: the exit
    // code, or 128 + signal number when a signal ended it). -1 when nothing was launched or
    // the wait failed. The object holds no program afterwards.
    int wait();

private:
    void release();
    intptr_t handle_ = 0;   // Windows: process HANDLE; POSIX: pid
};

}  // namespace platform
