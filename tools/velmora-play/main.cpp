// velmora-play: an ASIO host for testing and for real use.

#include <CLI/CLI.hpp>

#include <csignal>

#include "Player.h"

namespace {
void onSignal(int) { Player::requestStop(); }
}  // namespace

int main(int argc, char** argv) {
    PlayOptions options;
    CLI::App app{"Plays a signal or a sound file through the Velmora ASIO driver."};
    app.add_option("--module", options.module, "Load this driver module file instead of the registered driver");
    app.add_option("--driver", options.driverName, "Name of the registered ASIO driver");
    app.add_option("--rate", options.rate, "Sample rate in Hz (default: the driver's)");
    app.add_option("--channels", options.channels, "Output channels to use (default: all)");
    app.add_option("--buffer", options.bufferSize, "Buffer size in frames (default: the driver's preferred)");
    app.add_option("--seconds", options.seconds, "How long to play")->check(CLI::PositiveNumber);
    app.add_option("--pattern,--signal", options.signal, "counter, sine, sweep, or a sound file (Linux)");
    app.add_option("--file", options.signal, "A WAV or FLAC file to play");
    app.add_option("--frequency", options.frequency, "Sine frequency in Hz");
    app.add_flag("--time-info", options.timeInfo, "Ask the driver for bufferSwitchTimeInfo");
    app.add_flag("--dsd", options.dsd, "Use the driver's DSD presentation");
    app.add_flag("--control-panel", options.controlPanel,
                 "Open the driver's control panel after init and play with what it leaves");
    app.add_flag("--no-reset", options.noReset, "Act as a host that does not take the driver's reset requests");
    app.add_flag("--quiet", options.quiet, "No progress line");
    app.add_option("--driver-log", options.driverLog, "Append the driver's log lines to this file (Debug=enable)");
    app.add_option("--mark-every", options.markEvery,
                   "Fill every N'th block with the latency mark (velmora-sink --mark-log times its arrival)")
        ->check(CLI::NonNegativeNumber);
    app.add_option("--mark-log", options.markLog, "Write the steady-clock time (us) each marked block's callback returned");
    CLI11_PARSE(app, argc, argv);

    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    Player player;
    return player.run(options);
}
