// velmora-log: the driver's log as it happens. The driver sends its log lines to [::1]:19640
// once its settings say Debug=enable (or debug); this program listens there and shows them.

#include <CLI/CLI.hpp>

#include <csignal>

#include "LogViewer.h"

namespace {
void onSignal(int) { LogViewer::requestStop(); }
}  // namespace

int main(int argc, char** argv) {
    ViewerOptions options;
    std::string level = "debug", colour = "auto";
    CLI::App app{"Shows the Velmora driver's log lines as they arrive, with its session counters as a status line."};
    app.add_option("--level", level, "Show lines of this severity and more severe: error, warning, info, debug or 0..7")
        ->check([](const std::string& text) { return severityFromText(text) ? "" : "not a severity: " + text; })
        ->capture_default_str();
    app.add_option("--grep", options.include, "Show only lines that contain this text (repeat for any of several)");
    app.add_option("--exclude", options.exclude, "Hide lines that contain this text (repeatable)");
    app.add_option("--append", options.appendPath, "Append the lines shown, as received, to this file");
    app.add_option("--port", options.port, "UDP port on [::1] to listen on")->capture_default_str();
    app.add_option("--seconds", options.seconds, "Stop after this many seconds (default: at Ctrl-C)")
        ->check(CLI::NonNegativeNumber);
    app.add_option("--idle", options.idleSeconds, "Stop once no line has come for this many seconds (after the first)")
        ->check(CLI::NonNegativeNumber);
    app.add_option("--colour,--color", colour, "auto, always or never")
        ->check(CLI::IsMember({"auto", "always", "never"}))
        ->capture_default_str();
    app.add_flag("--no-status", options.noStatus,
                 "Print the counter lines as ordinary lines instead of a status line (off a terminal they always are)");
    app.footer("The filters choose the lines shown and appended; on a terminal the counter status line is always kept.");
    CLI11_PARSE(app, argc, argv);

    options.maxSeverity = *severityFromText(level);
    options.colour = colour == "always"  ? ViewerOptions::Colour::always
                     : colour == "never" ? ViewerOptions::Colour::never
                                         : ViewerOptions::Colour::automatic;
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    LogViewer viewer(options);
    return viewer.run();
}
