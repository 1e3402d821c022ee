#pragma once
// An ASIO host: negotiates with the driver, creates buffers, starts, feeds every bufferSwitch
// from a signal source, and always stops, disposes the buffers and releases the driver.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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
    bool quiet = false;
};

class Player {
public:
    // Exit status: 0 when playback ran to its end, 2 on any driver error (the text is printed).
    int run(const PlayOptions& options);

    // Asks the playing loop to end (Ctrl-C).
    static void requestStop();

private:
    static void bufferSwitch(std::int32_t index, ASIOBool directProcess);
    static ASIOTime* bufferSwitchTimeInfo(ASIOTime* time, std::int32_t index, ASIOBool directProcess);
    static void sampleRateDidChange(ASIOSampleRate rate);
    static std::int32_t asioMessage(std::int32_t selector, std::int32_t value, void* message, double* opt);

    int fail(const char* step, ASIOError error);
    int negotiate(const PlayOptions& options);
    int playLoop(const PlayOptions& options);
    void feed(std::int32_t index);

    IASIO* driver_ = nullptr;
    HostLayout layout_;
    std::int32_t bufferSize_ = 0;
    std::vector<ASIOBufferInfo> buffers_;
    std::vector<uint8_t*> halves_;   // sized with buffers_, so the callback allocates nothing
    std::unique_ptr<SignalSource> source_;
    ASIOCallbacks callbacks_{};
    bool timeInfo_ = false;
    std::atomic<uint64_t> blocks_{0};
    std::atomic<bool> sourceEnded_{false};
    DriverLogWatch logWatch_;
};
