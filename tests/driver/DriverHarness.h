#pragma once
// A driver object made the way a host makes it: through the module's class factory, with its
// settings read from a private folder that the harness writes and removes again; and a host
// whose callbacks write recognisable bytes and record what they were told.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "com/Asio.h"
#include "driver/AsioVelmora.h"
#include "settings/TempFolder.h"

namespace drivertest {

// The class factory's driver reading "setting.inf" = settingsText from a private folder (and
// no factory file, on 4 cores). Throws when the factory fails.
class Driver {
public:
    explicit Driver(const std::string& settingsText = "");
    ~Driver();
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;
    IASIO* operator->() const { return asio; }
    // The object behind the interface, for setting up what init would have learned.
    AsioVelmora& object() const { return *static_cast<AsioVelmora*>(asio); }

    IASIO* asio = nullptr;

private:
    TempFolder folder_;
};

// In each call the host writes its call number into every byte of channel 0's half and the
// number + 0x40 into channel 1's (when given buffers); it records indices, time info and rates,
// counts its calls and the longest time between two of them, and takes the driver's reset
// requests unless told otherwise. The call records are vectors: read them only while the
// driver does not call in (before start, after stop); the counters are safe at any time.
struct Host {
    using Clock = std::chrono::steady_clock;
    static inline std::vector<std::int32_t> indices;
    static inline std::vector<uint32_t> timeInfoFlags;
    static inline std::vector<uint64_t> positions;
    static inline std::vector<double> rateChanges;
    static inline ASIOBufferInfo* infos = nullptr;
    static inline std::size_t halfBytes = 0;
    static inline bool timeInfo = false;   // answers kAsioSupportsTimeInfo
    // Runs inside every bufferSwitch after the buffers are written (the host's own work).
    static inline void (*during)(std::int32_t index) = nullptr;
    static inline std::atomic<int> switches{0};
    // Clock ticks of the first call (0: none yet) and the longest gap between two calls.
    static inline std::atomic<int64_t> firstTicks{0}, lastTicks{0}, longestGapTicks{0};
    static inline std::atomic<bool> takesReset{true};
    static inline std::atomic<int> selectorQueries{0}, resetRequests{0};
    // Runs inside the driver's reset request (hosts should not call the driver there, some do).
    static inline void (*duringReset)() = nullptr;

    static void reset(ASIOBufferInfo* bufferInfos = nullptr, std::size_t bytes = 0, bool withTimeInfo = false) {
        indices.clear();
        timeInfoFlags.clear();
        positions.clear();
        rateChanges.clear();
        infos = bufferInfos;
        halfBytes = bytes;
        timeInfo = withTimeInfo;
        during = nullptr;
        switches = 0;
        firstTicks = lastTicks = longestGapTicks = 0;
        takesReset = true;
        selectorQueries = resetRequests = 0;
        duringReset = nullptr;
    }
    static double longestGapMs() {
        return std::chrono::duration<double, std::milli>(Clock::duration(longestGapTicks.load())).count();
    }
    static void write(std::int32_t index) {
        const auto call = static_cast<uint8_t>(indices.size());
        indices.push_back(index);
        if (infos) {
            std::memset(infos[0].buffers[index], call, halfBytes);
            std::memset(infos[1].buffers[index], call + 0x40, halfBytes);
        }
        const int64_t now = Clock::now().time_since_epoch().count();
        int64_t none = 0;
        firstTicks.compare_exchange_strong(none, now);
        if (const int64_t last = lastTicks.exchange(now); last != 0 && now - last > longestGapTicks.load())
            longestGapTicks.store(now - last);
        ++switches;
        if (during) during(index);
    }
    static void bufferSwitch(std::int32_t index, ASIOBool) { write(index); }
    static ASIOTime* bufferSwitchTimeInfo(ASIOTime* time, std::int32_t index, ASIOBool) {
        timeInfoFlags.push_back(time->timeInfo.flags);
        positions.push_back(uint64_t{time->timeInfo.samplePosition.hi} << 32 | time->timeInfo.samplePosition.lo);
        write(index);
        return time;
    }
    static void sampleRateDidChange(ASIOSampleRate rate) { rateChanges.push_back(rate); }
    static std::int32_t asioMessage(std::int32_t selector, std::int32_t value, void*, double*) {
        if (selector == kAsioSupportsTimeInfo) return timeInfo ? 1 : 0;
        if (selector == kAsioSelectorSupported && value == kAsioResetRequest) {
            ++selectorQueries;
            return takesReset ? 1 : 0;
        }
        if (selector != kAsioResetRequest) return 0;
        ++resetRequests;
        if (duringReset) duringReset();
        return 1;
    }
    static inline ASIOCallbacks callbacks{&bufferSwitch, &sampleRateDidChange, &asioMessage, &bufferSwitchTimeInfo};
};

// Polls cond every `step` for at most `limit`.
template <class Cond>
bool eventually(Cond cond, std::chrono::milliseconds limit = std::chrono::seconds(5),
                std::chrono::milliseconds step = std::chrono::milliseconds(1)) {
    for (const auto end = std::chrono::steady_clock::now() + limit; !cond();) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(step);
    }
    return true;
}

inline double millisecondsSince(Host::Clock::time_point since) {
    return std::chrono::duration<double, std::milli>(Host::Clock::now() - since).count();
}

// Runs `call` and returns how long it took in milliseconds.
template <typename Call>
double timed(Call&& call) {
    const auto begin = Host::Clock::now();
    call();
    return millisecondsSince(begin);
}

// Host callbacks counted now and again after `pause`: a stopped driver adds none.
inline int callbacksAddedDuring(std::chrono::milliseconds pause) {
    const int before = Host::switches.load();
    std::this_thread::sleep_for(pause);
    return Host::switches.load() - before;
}

// What `get` writes into a buffer full of 'x' (the driver's texts): a missing terminator shows.
template <class Get>
std::string textFrom(Get get) {
    char text[128];
    std::memset(text, 'x', sizeof text - 1);
    text[sizeof text - 1] = '\0';
    get(text);
    return text;
}
inline std::string errorMessage(IASIO* asio) { return textFrom([&](char* text) { asio->getErrorMessage(text); }); }
inline std::string driverName(IASIO* asio) { return textFrom([&](char* text) { asio->getDriverName(text); }); }

// The host's PCM or DSD presentation (or a question about it, by selector).
inline ASIOError setIoFormat(IASIO* asio, ASIOIoFormatType type, std::int32_t selector = kAsioSetIoFormat) {
    ASIOIoFormat format{};
    format.FormatType = type;
    return asio->future(selector, &format);
}

// The sample type getChannelInfo reports for channel 0.
inline ASIOSampleType sampleType(IASIO* asio) {
    ASIOChannelInfo info{};
    EXPECT_EQ(asio->getChannelInfo(&info), ASE_OK);
    return info.type;
}

inline uint64_t samplePosition(IASIO* asio) {
    ASIOSamples position{};
    ASIOTimeStamp stamp{};
    EXPECT_EQ(asio->getSamplePosition(&position, &stamp), ASE_OK);
    return uint64_t{position.hi} << 32 | position.lo;
}

// A default driver and a fresh host for every test; d is the object behind the interface.
class DriverTest : public ::testing::Test {
protected:
    DriverTest() { Host::reset(); }
    // What init chose for the target: the sink's sample type and width, its channel count.
    void initialisedAs(uint64_t pcmFormat, uint32_t sampleBytes, uint32_t channels) {
        d.pcmFormat = pcmFormat;
        d.sampleBytes = sampleBytes;
        d.channelCount = channels;
    }
    Driver driver;
    AsioVelmora& d = driver.object();
};

}  // namespace drivertest
