// velmora-sink: the reference network audio sink. Listens on one UDP port for the Sync
// control protocol and the paced stream, writes what arrives and reports on exit.

#include "SinkOptions.h"
#include "SinkSession.h"
#include "find/FindSide.h"

#include <atomic>
#include <csignal>
#include <cstdio>

namespace {
std::atomic<bool> stopRequested{false};
sink::FaultTriggers triggers;
extern "C" void onSignal(int) { stopRequested.store(true, std::memory_order_relaxed); }
extern "C" void onSilence(int) { triggers.silence.store(true, std::memory_order_relaxed); }
extern "C" void onClose(int) { triggers.close.store(true, std::memory_order_relaxed); }
}  // namespace

int main(int argc, char** argv) {
    sink::SinkConfig config;
    std::vector<std::string> args{argv, argv + argc};
    sink::FindSide findSide;  // discovery answers, when --find or a --find-* option is given
    std::string findError;
    if (!findSide.takeOptions(args, findError)) {
        std::fprintf(stderr, "velmora-sink: %s\n", findError.c_str());
        return 2;
    }
    const sink::ParseResult parsed = sink::parseOptions(args, config);
    if (!parsed.ok) {
        std::fputs(parsed.message.c_str(), parsed.exitCode == 0 ? stdout : stderr);
        std::fputc('\n', parsed.exitCode == 0 ? stdout : stderr);
        return parsed.exitCode;
    }
    if (findSide.enabled() && config.logPort == findSide.config().port) {
        config.logPort = 0;  // the Find side owns that port; no remote log beside it
    }
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGUSR1, onSilence);   // a test's fault at a moment it chooses
    std::signal(SIGUSR2, onClose);

    sink::SinkSession session(config);
    if (!session.start()) {
        std::fprintf(stderr, "velmora-sink: %s\n", session.error().c_str());
        return 1;
    }
    if (!findSide.start(session.port(), [&session] { return session.silent(); }, findError)) {
        std::fprintf(stderr, "velmora-sink: %s\n", findError.c_str());
        return 1;
    }
    std::printf("velmora-sink port %u\n", session.port());
    std::fflush(stdout);
    session.run(stopRequested, triggers);
    findSide.stop();
    return 0;
}
