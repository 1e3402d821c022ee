// The real velmora-sink, started with its Find side inside a sink namespace, found by
// the driver's discovery and by velmora-find.

#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "TestNet.h"
#include "find/Find.h"
#include "find/ProductTag.h"

using namespace testnet;

#ifdef VELMORA_SINK_PROGRAM

namespace {

// A child process whose first output line is waited for; killed and reaped on destruction.
class Child {
public:
    explicit Child(const std::vector<std::string>& argv) {
        int out[2];
        if (pipe(out) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], STDOUT_FILENO);
            ::close(out[0]);
            ::close(out[1]);
            std::vector<char*> args;
            for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            execvp(args[0], args.data());
            _exit(127);
        }
        ::close(out[1]);
        out_ = out[0];
    }
    ~Child() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            int status = 0;
            for (int i = 0; i < 100 && waitpid(pid_, &status, WNOHANG) == 0; ++i) usleep(20'000);
            if (waitpid(pid_, &status, WNOHANG) == 0) {
                kill(pid_, SIGKILL);
                waitpid(pid_, &status, 0);
            }
        }
        if (out_ >= 0) ::close(out_);
    }
    // The first line of output, waiting at most timeoutMs.
    std::string firstLine(int timeoutMs) {
        std::string line;
        pollfd p{out_, POLLIN, 0};
        while (line.find('\n') == std::string::npos && poll(&p, 1, timeoutMs) == 1) {
            char c;
            if (read(out_, &c, 1) != 1) break;
            line += c;
        }
        return line;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
};

}  // namespace

TEST(VelmoraSinkProgram, FoundWithItsOwnSyncPort) {
    TESTNET_REQUIRED();
    const std::vector<std::string> sinks = sinkNamespaces();
    ASSERT_GE(sinks.size(), 1u);
    Child sink({"ip", "netns", "exec", sinks[0], VELMORA_SINK_PROGRAM, "--find", "--find-description", "Real sink",
                "--find-info", "at [myaddress]", "--listen", "::", "--port", "0", "--time-limit", "30", "--quiet"});
    const std::string line = sink.firstLine(10'000);
    unsigned port = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "velmora-sink port %u", &port), 1) << line;

    VELMORA::Find find({VELMORA::findID, 1, std::string(VELMORA::productName), false});
    ASSERT_TRUE(find.open(linkIndex("link1")));
    VELMORA::TargetMap targets;
    ASSERT_TRUE(find.getTargetList(targets));
    ASSERT_EQ(targets.size(), 1u);
    EXPECT_EQ(targets.begin()->first.toString(), "fe80::101");
    EXPECT_EQ(targets.begin()->first.portNumber(), port);
    EXPECT_EQ(targets.begin()->second.description, "Real sink");
    EXPECT_EQ(targets.begin()->second.infoText, "at [fe80::101]");
}

#endif
