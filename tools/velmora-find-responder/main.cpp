// velmora-find-responder: the sink's Find side on its own, for trying discovery without a
// full sink. Answers on UDP port 19642 until interrupted or until its time limit.

#include <CLI/CLI.hpp>

#include <atomic>
#include <chrono>
#include <csignal>
#include <iostream>
#include <thread>

#include "find/FindOptions.h"
#include "find/FindResponder.h"

namespace {
std::atomic<bool> interrupted{false};
extern "C" void onSignal(int) { interrupted.store(true, std::memory_order_relaxed); }
}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Answers Velmora Find requests like a sink would."};
    sink::FindResponderConfig config;
    sink::FindOptionTexts texts;
    double timeLimit = 0;
    sink::addFindOptions(app, config, texts);
    app.add_option("--time-limit", timeLimit, "Seconds to run (0: until interrupted)");
    CLI11_PARSE(app, argc, argv);
    std::string error;
    if (!sink::finishFindOptions(texts, config, error)) {
        std::cerr << "velmora-find-responder: " << error << "\n";
        return 2;
    }

    sink::FindResponder responder(config);
    if (!responder.start()) {
        std::cerr << "velmora-find-responder: cannot listen on UDP port " << config.port << "\n";
        return 1;
    }
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::cout << "listening on port " << config.port << " with " << config.outputs.size() << " output(s)"
              << std::endl;
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeLimit);
    while (!interrupted.load(std::memory_order_relaxed) &&
           (timeLimit <= 0 || std::chrono::steady_clock::now() < end))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    responder.stop();
    std::cout << "answered " << responder.answered() << " request(s)" << std::endl;
    return 0;
}
