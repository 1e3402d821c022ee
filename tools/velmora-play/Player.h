#pragma once
// An ASIO host: negotiates with the driver, creates buffers, starts, feeds every bufferSwitch
// from a signal source, and always stops, disposes the buffers and releases the driver.
//
// The driver's reset request is answered as hosts do, later and on the player's own thread:
// the driver goes and comes back (stop, disposeBuffers, release, create, init, createBuffers,
// start), tried again every quarter second while init fails; the signal goes on where it was.
// Each gap is reported: when the request came, why, when the callbacks came back and at which
// frame of the signal.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "DriverLoader.h"
#include "DriverLogWatch.h"
#include "SignalSource.h"
#include "com/Asio.h"

struct PlayOptions {
    std::string module;                       // load this module file instead of the registered driver
    std::string driverName = "TOLVENIK Velmora";
    double rate = 0;                          // 0: the driver's current rate
    int channels = 0;                         // 0: every output the driver offers
    int bufferSize = 0;                       // 0: the driver's preferred size
    double seconds = 10;
    std::string signal = "sine";              // counter, sine, sweep or a sound file
    double frequency = 1000;
    bool timeInfo = false;                    // ask for bufferSwitchTimeInfo instead of bufferSwitch
    bool dsd = false;                         // DSD presentation (kAsioSetIoFormat)
    bool controlPanel = false;                // open the driver's control panel after init, as a host's button does
    bool noReset = false;                     // a host that does not take reset requests
    bool quiet = false;
    std::string driverLog;                    // copy the driver's log lines here (Debug=enable)
    int markEvery = 0;                        // fill every this many'th block with the latency mark (0: none)
    std::string markLog;                      // when each marked block's bufferSwitch returned
};

class Player {
public:
    // Exit status: 0 when playback ran to its end, 2 on any driver error (the text is printed).
    int run(const PlayOptions& options);

    // Asks the playing loop to end (Ctrl-C).
    static void requestStop();

private:
    using Clock = std::chrono::steady_clock;

    static void bufferSwitch(std::int32_t index, ASIOBool directProcess);
    static ASIOTime* bufferSwitchTimeInfo(ASIOTime* time, std::int32_t index, ASIOBool directProcess);
    static void sampleRateDidChange(ASIOSampleRate rate);
    static std::int32_t asioMessage(std::int32_t selector, std::int32_t value, void* message, double* opt);

    int fail(const char* step, ASIOError error);
    // Creates the driver and leads it through init to createBuffers; 0 or an exit status.
    int openDriver(const PlayOptions& options, bool report);
    int negotiate(const PlayOptions& options, bool report);
    // stop, disposeBuffers, release.
    void closeDriver();
    int startDriver();
    int playLoop(const PlayOptions& options);
    // The driver comes back after its reset request; false when play time ran out first.
    bool restart(const PlayOptions& options, Clock::time_point end);
    void reportGap();
    void feed(std::int32_t index);
    // Sizes the record of marked blocks for the whole play time (the callback allocates nothing).
    void prepareMarks(const PlayOptions& options);
    void writeMarks(const std::string& path) const;

    DriverLoader loader_;
    IASIO* driver_ = nullptr;
    HostLayout layout_;
    std::int32_t bufferSize_ = 0;
    std::vector<ASIOBufferInfo> buffers_;
    std::vector<uint8_t*> halves_;   // sized with buffers_, so the callback allocates nothing
    std::unique_ptr<SignalSource> source_;
    ASIOCallbacks callbacks_{};
    bool timeInfo_ = false;
    bool takesReset_ = true;
    std::atomic<uint64_t> blocks_{0};
    std::atomic<uint64_t> units_{0};          // frames (DSD: bytes) of the signal fed so far
    std::atomic<bool> sourceEnded_{false};
    // Latency marks: the steady clock (us) as each marked block's callback returns.
    uint64_t markEvery_ = 0;
    std::vector<int64_t> markTimes_;
    std::atomic<size_t> marks_{0};
    DriverLogWatch logWatch_;

    // Callback timing: the longest time without one while a driver was started, and the
    // first start and first callback of the run (the steady clock, us).
    std::atomic<int64_t> lastFeedUs_{0}, longestGapUs_{0};
    int64_t startedUs_ = 0;
    std::atomic<int64_t> firstFeedUs_{0};
    // A gap: the reset request, then the first callback after the driver came back.
    std::atomic<bool> resetRequested_{false}, awaitingResume_{false};
    std::atomic<int64_t> requestedAtUs_{0}, resumedAtUs_{0};
    std::atomic<uint64_t> resumeUnits_{0};
    bool inGap_ = false;
    int64_t gapStartUs_ = 0;
    std::string gapCause_;
    int restarts_ = 0;
    int gaps_ = 0;
};
