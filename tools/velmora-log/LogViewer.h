#pragma once
// Receives the driver's log datagrams on [::1] and shows them as they arrive: local arrival
// time, severity name, the message; coloured on a terminal. The driver's counter line becomes
// a status line that is redrawn in place below the other lines, with the changes since the
// line before; off a terminal it is printed like any line.

#include <cstdint>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sync/SessionCounters.h"

namespace TERNO {
class Socket;
}

struct ViewerOptions {
    int maxSeverity = 7;                  // show lines of this severity and more severe (lower)
    std::vector<std::string> include;     // when given, a line must contain one of them
    std::vector<std::string> exclude;     // a line that contains one of them is hidden
    std::string appendPath;               // the lines shown, as received, are appended here
    uint16_t port = 19640;
    double seconds = 0;                   // 0: until stopped
    double idleSeconds = 0;               // stop once no line came for this long after the first (0: never)
    enum class Colour { automatic, always, never } colour = Colour::automatic;
    bool noStatus = false;                // counter lines as ordinary lines, also on a terminal
};

// "error", "warning", "info", "debug" or a number 0..7; nothing for anything else.
std::optional<int> severityFromText(std::string_view text);

class LogViewer {
public:
    explicit LogViewer(ViewerOptions options);
    ~LogViewer();

    // Runs until stopped or the time is up: 0, or 1 when it cannot listen or write the file.
    int run();
    // Ends run() from a signal handler.
    static void requestStop();

private:
    void show(std::string_view datagram);
    bool passes(int severity, std::string_view message) const;
    void printLine(int severity, std::string_view message);
    void showStatus(std::string text);
    void drawStatus();
    void clearStatus();

    ViewerOptions options_;
    std::unique_ptr<TERNO::Socket> socket_;
    std::ofstream file_;
    bool terminal_ = false;
    bool colours_ = false;
    std::string status_;                  // the status line on screen, empty when none
    std::optional<VELMORA::CounterValues> counters_;
};
