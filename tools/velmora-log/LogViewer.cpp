#include "LogViewer.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "common/CounterText.h"
#include "common/LogListener.h"
#include "log/LogHeader.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "terno/Address.h"
#include "terno/Socket.h"

namespace {

std::atomic<bool> stopRequested{false};

constexpr const char* severityNames[8] = {"emerg", "alert", "crit", "error", "warning", "notice", "info", "debug"};

// ANSI colours: errors red, warnings yellow, detail dimmed, the status line bold.
const char* colourOf(int severity) {
    if (severity < 0) return "";
    if (severity <= 3) return "\x1b[31m";
    if (severity == 4) return "\x1b[33m";
    if (severity == 5) return "\x1b[36m";
    if (severity == 7) return "\x1b[2m";
    return "";
}
constexpr const char* colourReset = "\x1b[0m";
constexpr const char* statusColour = "\x1b[1m";
constexpr const char* eraseLine = "\r\x1b[2K";

// "14:03:09.123": the local time the line arrived.
std::string arrivalTime() {
    using namespace std::chrono;
    const auto now = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    const std::tm local = platform::localCalendarTime(now / 1000);
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(now % 1000));
    return text;
}

bool contains(std::string_view text, const std::vector<std::string>& words) {
    for (const std::string& w : words)
        if (text.find(w) != std::string_view::npos) return true;
    return false;
}

}  // namespace

std::optional<int> severityFromText(std::string_view text) {
    if (text.size() == 1 && text[0] >= '0' && text[0] <= '7') return text[0] - '0';
    for (int s = 0; s < 8; ++s)
        if (text == severityNames[s]) return s;
    return std::nullopt;
}

LogViewer::LogViewer(ViewerOptions options) : options_(std::move(options)) {}
LogViewer::~LogViewer() = default;

void LogViewer::requestStop() { stopRequested.store(true); }

int LogViewer::run() {
    using platform::StandardStream;
    terminal_ = platform::isTerminal(StandardStream::output);
    const bool escapes = terminal_ && platform::enableEscapeSequences(StandardStream::output);
    colours_ = options_.colour == ViewerOptions::Colour::always ||
               (options_.colour == ViewerOptions::Colour::automatic && escapes);
    terminal_ = escapes;   // redrawing the status line needs the escape sequences too

    if (!options_.appendPath.empty()) {
        file_.open(std::filesystem::path(std::u8string(options_.appendPath.begin(), options_.appendPath.end())),
                   std::ios::app | std::ios::binary);
        if (!file_) {
            std::fprintf(stderr, "velmora-log: cannot append to %s\n", options_.appendPath.c_str());
            return 1;
        }
    }
    socket_ = listenForDriverLog(options_.port);
    if (!socket_) {
        std::fprintf(stderr, "velmora-log: cannot listen on [::1]:%u (another log viewer, or velmora-play, may hold it)\n",
                     options_.port);
        return 1;
    }
    std::fprintf(stderr, "velmora-log: listening on [::1]:%u\n", options_.port);

    using Clock = std::chrono::steady_clock;
    const auto secondsSince = [](Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); };
    const auto begin = Clock::now();
    std::optional<Clock::time_point> lastLine;
    std::vector<uint8_t> datagram;
    while (!stopRequested.load()) {
        if (options_.seconds > 0 && secondsSince(begin) >= options_.seconds) break;
        if (options_.idleSeconds > 0 && lastLine && secondsSince(*lastLine) >= options_.idleSeconds) break;
        const TERNO::WaitResult waited = socket_->waitReadable(100000);
        if (waited == TERNO::WaitResult::Error) break;
        if (waited != TERNO::WaitResult::Ready) continue;
        TERNO::Address from{};
        if (!socket_->receiveFrom(datagram, from) || datagram.empty()) continue;
        lastLine = Clock::now();
        show(std::string_view(reinterpret_cast<const char*>(datagram.data()), datagram.size()));
    }
    if (!status_.empty()) std::fputs("\n", stdout);
    std::fflush(stdout);
    return 0;
}

bool LogViewer::passes(int severity, std::string_view message) const {
    if (severity > options_.maxSeverity) return false;
    if (!options_.include.empty() && !contains(message, options_.include)) return false;
    return !contains(message, options_.exclude);
}

void LogViewer::show(std::string_view datagram) {
    while (!datagram.empty() && (datagram.back() == '\0' || datagram.back() == '\n')) datagram.remove_suffix(1);
    const logheader::LineParts parts = logheader::split(datagram);
    const int severity = parts.priority < 0 ? -1 : parts.priority & 7;
    const bool shown = passes(severity, parts.message);
    if (shown && file_) {
        file_ << datagram << '\n';
        file_.flush();
    }

    VELMORA::CounterValues values{};
    if (!VELMORA::parseCounterLine(parts.message, values)) {
        if (shown) printLine(severity, parts.message);
        return;
    }
    const std::optional<VELMORA::CounterValues> before = counters_;
    counters_ = values;
    const std::string described = describeCounters(values, before ? &*before : nullptr);
    if (terminal_ && !options_.noStatus) {
        showStatus(described);
    } else if (shown) {
        printLine(severity, std::string(VELMORA::counterLineWord) + " " + described);
    }
}

void LogViewer::printLine(int severity, std::string_view message) {
    clearStatus();
    const char* name = severity < 0 ? "-" : severityNames[severity];
    const char* colour = colours_ ? colourOf(severity) : "";
    std::printf("%s %s%-7s %.*s%s\n", arrivalTime().c_str(), colour, name, static_cast<int>(message.size()),
                message.data(), colours_ && *colour ? colourReset : "");
    drawStatus();
}

void LogViewer::showStatus(std::string text) {
    const int columns = platform::terminalColumns(platform::StandardStream::output);
    if (columns > 1 && text.size() >= static_cast<size_t>(columns)) text.resize(static_cast<size_t>(columns) - 1);
    status_ = std::move(text);
    std::fputs(eraseLine, stdout);
    drawStatus();
}

void LogViewer::drawStatus() {
    if (!status_.empty()) std::printf("%s%s%s", colours_ ? statusColour : "", status_.c_str(), colours_ ? colourReset : "");
    std::fflush(stdout);
}

void LogViewer::clearStatus() {
    if (!status_.empty()) std::fputs(eraseLine, stdout);
}
