#pragma once
// Counts the underruns the driver reports in its log, keeps the transfer method it logged
// at start and its latest session counters, and copies the lines to a file when asked. The driver sends each log line as a
// datagram to [::1]:19640 once its settings say Debug=enable (or debug); the player
// listens there while it plays. Another listener on the port (a log viewer) keeps it closed.

#include <cstdint>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include "sync/SessionCounters.h"

namespace TERNO {
class Socket;
}

class DriverLogWatch {
public:
    DriverLogWatch();
    ~DriverLogWatch();

    // Binds [::1]:19640; false when the port is taken or sockets are unavailable. Every line
    // received is also appended to copyPath when it is not empty.
    bool listen(const std::string& copyPath = {});
    bool listening() const;
    // Reads every line waiting and returns the underruns counted so far.
    uint64_t poll();
    // Lines received so far: zero means the driver's log is off (or went elsewhere).
    uint64_t lines() const { return lines_; }
    // The transfer method the driver chose at start ("VarASIO 1408x3", "FixAuto"...), or empty.
    const std::string& profile() const { return profile_; }
    // The driver's latest counter line, and the one before it.
    const std::optional<VELMORA::CounterValues>& counters() const { return counters_; }
    const std::optional<VELMORA::CounterValues>& previousCounters() const { return previous_; }

private:
    std::unique_ptr<TERNO::Socket> socket_;
    uint64_t lines_ = 0;
    uint64_t underruns_ = 0;
    std::string profile_;
    std::optional<VELMORA::CounterValues> counters_, previous_;
    std::ofstream copy_;
};
