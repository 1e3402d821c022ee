#include "TestNet.h"

#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <thread>

namespace testnet {

namespace {

std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::vector<std::string> words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> out;
    for (std::string word; in >> word;) out.push_back(word);
    return out;
}

}  // namespace

bool inside(std::string* whyNot) {
    const std::string host = env("VELMORA_TESTNET_HOST");
    auto fail = [&](const std::string& reason) {
        if (whyNot) *whyNot = reason;
        return false;
    };
    if (host.empty()) return fail("not run inside the test network (run through tests/netns/testnet.sh)");
    struct stat own {}, expected {};
    if (stat("/proc/self/ns/net", &own) != 0) return fail("cannot read this process's network namespace");
    if (stat(("/run/netns/" + host).c_str(), &expected) != 0) return fail("test network namespace " + host + " is gone");
    if (own.st_ino != expected.st_ino || own.st_dev != expected.st_dev)
        return fail("this process is not in the test network's host namespace");
    return true;
}

std::vector<std::string> sinkNamespaces() { return words(env("VELMORA_TESTNET_SINKS")); }

std::string placement(size_t sink) {
    const std::vector<std::string> place = words(env("VELMORA_TESTNET_PLACE"));
    return sink >= 1 && sink <= place.size() ? place[sink - 1] : "";
}

uint16_t linkIndex(const std::string& link) { return static_cast<uint16_t>(if_nametoindex(link.c_str())); }

TERNO::Address sinkAddress(size_t sink, int segment) {
    char text[32];
    std::snprintf(text, sizeof text, "fe80::%d%02zx", segment, sink);
    TERNO::Address address{};
    address.parse(text);
    return address;
}

bool inNamespace(const std::string& ns, const std::function<void()>& fn) {
    bool entered = false;
    std::thread worker([&] {
        const int fd = ::open(("/run/netns/" + ns).c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return;
        entered = setns(fd, CLONE_NEWNET) == 0;
        ::close(fd);
        if (entered) fn();
    });
    worker.join();
    return entered;
}

}  // namespace testnet
