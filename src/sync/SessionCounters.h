#pragma once
// Session counters: what the Sync worker and the ring count while a stream runs, written
// once a second as the driver's "counters" log line. The table below names every counter;
// the line is written and read from it as key=value pairs, so the driver, velmora-log and
// velmora-play agree on one format:
//
//   counters sent=4410 resent=3 resends=1 late=0 latemax=0 silence=0 fill=14 ppm=-12 debt=0
//            over=0 profile=0 info=20 feedback=20 ends=1 recovered=1
//
// Every counter has one writer, the Sync worker thread (the ring's counters are kept in
// getNewStream, which runs on it), so a count is a relaxed load and store without a locked
// read-modify-write. The process's session ends and recoveries are the exception: the
// driver writes them once, when a new stream starts playing. connect() zeroes them all
// before the worker starts. A reader on another thread sees each value whole, in no order against
// the others. Nothing is counted, computed or sent while the log level is below 6.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string_view>

class LogLine;

namespace VELMORA {

namespace counter {
// In the order of the line: what tells most about a dropout comes first.
enum Id : size_t {
    packetsSent,     // new data packets sent
    packetsResent,   // packets sent again on the sink's request
    resendRequests,  // resend requests served
    lateBursts,      // bursts that missed their whole cycle
    maxLateUs,       // the largest lateness of one burst, µs
    silentBlocks,    // blocks of silence handed out because the ring was empty
    ringFill,        // blocks ready in the ring after the last one was handed out
    correctionPpm,   // clock feedback correction, ppm of the nominal rate
    debtUs,          // lateness not yet caught up, µs
    overload,        // overload score, 0..1000
    profile,         // index of the transfer profile in use
    infoRequests,    // info requests sent (flag 0x20 on a data packet)
    infoAnswers,     // status messages with clock feedback received
    sessionEnds,     // streams of this process that ended by themselves
    recoveries,      // streams of this process that played again after such an end
    count
};
}  // namespace counter

struct CounterField {
    std::string_view key;       // name in the log line
    bool grows;                 // only grows during a stream (viewers show its change), else a current value
    std::string_view meaning;   // for people
};

inline constexpr std::array<CounterField, counter::count> counterFields{{
    {"sent", true, "data packets sent"},
    {"resent", true, "packets resent"},
    {"resends", true, "resend requests served"},
    {"late", true, "late bursts"},
    {"latemax", true, "largest lateness (us)"},
    {"silence", true, "silent blocks (ring empty)"},
    {"fill", false, "ring fill (blocks ready)"},
    {"ppm", false, "clock correction (ppm)"},
    {"debt", false, "lateness debt (us)"},
    {"over", false, "overload score"},
    {"profile", false, "transfer profile"},
    {"info", true, "info requests"},
    {"feedback", true, "feedback answers"},
    {"ends", true, "session ends (process)"},
    {"recovered", true, "recoveries (process)"},
}};

// The message of the counter line starts with this word.
inline constexpr std::string_view counterLineWord = "counters";

using CounterValues = std::array<int64_t, counter::count>;

class SessionCounters {
public:
    // Counting is on while the log level lets the counter line (severity 6) through.
    static bool wanted();

    // Called by the one writer only.
    void add(counter::Id id, int64_t n = 1) {
        values_[id].store(values_[id].load(std::memory_order_relaxed) + n, std::memory_order_relaxed);
    }
    void set(counter::Id id, int64_t value) { values_[id].store(value, std::memory_order_relaxed); }
    void raise(counter::Id id, int64_t value) {
        if (value > values_[id].load(std::memory_order_relaxed)) set(id, value);
    }
    void reset();

    // Any thread.
    int64_t get(counter::Id id) const { return values_[id].load(std::memory_order_relaxed); }
    CounterValues snapshot() const;

    // Writes the counter line (severity 6).
    void log() const;

private:
    std::array<std::atomic<int64_t>, counter::count> values_{};
};

// Appends the counter line's message to line: "counters key=value ..." in table order.
void appendCounters(LogLine& line, const CounterValues& values);

// Reads a counter line's message (the text after the log header). False unless it starts
// with the counter word and names every counter of the table exactly once with a decimal
// value; unknown keys (from a newer driver) are skipped.
bool parseCounterLine(std::string_view message, CounterValues& values);

}  // namespace VELMORA
