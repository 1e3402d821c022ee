#include "Player.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "common/BlockMark.h"
#include "common/CounterText.h"
#include "platform/Console.h"
#include "platform/ProcessUsage.h"

namespace {
// The ASIO callbacks carry no context: one player plays at a time.
Player* activePlayer = nullptr;
std::atomic<bool> stopRequested{false};

const char* typeName(ASIOSampleType type) {
    switch (type) {
    case ASIOSTInt16LSB: return "Int16LSB";
    case ASIOSTInt24LSB: return "Int24LSB";
    case ASIOSTInt32LSB: return "Int32LSB";
    case ASIOSTFloat32LSB: return "Float32LSB";
    case ASIOSTFloat64LSB: return "Float64LSB";
    case ASIOSTDSDInt8LSB1: return "DSDInt8LSB1";
    case ASIOSTDSDInt8MSB1: return "DSDInt8MSB1";
    default: return "unknown";
    }
}

int64_t epochUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

int64_t steadyUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

constexpr auto retryPause = std::chrono::milliseconds(250);
}  // namespace

void Player::requestStop() { stopRequested.store(true); }

void Player::bufferSwitch(std::int32_t index, ASIOBool) {
    if (activePlayer) activePlayer->feed(index);
}

ASIOTime* Player::bufferSwitchTimeInfo(ASIOTime* time, std::int32_t index, ASIOBool) {
    if (activePlayer) activePlayer->feed(index);
    return time;
}

void Player::sampleRateDidChange(ASIOSampleRate) {}

std::int32_t Player::asioMessage(std::int32_t selector, std::int32_t value, void*, double*) {
    Player* p = activePlayer;
    switch (selector) {
    case kAsioSelectorSupported:
        return value == kAsioSupportsTimeInfo || value == kAsioEngineVersion ||
               (value == kAsioResetRequest && p && p->takesReset_);
    case kAsioEngineVersion: return 2;
    case kAsioSupportsTimeInfo: return p && p->timeInfo_ ? 1 : 0;
    case kAsioResetRequest:
        // Never from inside the driver's call: the playing loop restarts the driver.
        if (!p || !p->takesReset_) return 0;
        p->requestedAtUs_.store(epochUs());
        p->resetRequested_.store(true);
        return 1;
    default: return 0;
    }
}

void Player::feed(std::int32_t index) {
    const int64_t now = steadyUs();
    if (firstFeedUs_.load(std::memory_order_relaxed) == 0) firstFeedUs_.store(now, std::memory_order_relaxed);
    if (const int64_t last = lastFeedUs_.exchange(now); last != 0 && now - last > longestGapUs_.load())
        longestGapUs_.store(now - last);
    if (awaitingResume_.load(std::memory_order_relaxed)) {
        resumeUnits_.store(units_.load());
        resumedAtUs_.store(epochUs());
        awaitingResume_.store(false, std::memory_order_release);
    }
    for (size_t c = 0; c < buffers_.size(); ++c) halves_[c] = static_cast<uint8_t*>(buffers_[c].buffers[index & 1]);
    const size_t units = layout_.dsd ? static_cast<size_t>(bufferSize_) / 8 : static_cast<size_t>(bufferSize_);
    if (!source_->fill(halves_.data(), units)) sourceEnded_.store(true);
    units_.fetch_add(units, std::memory_order_relaxed);
    const uint64_t block = blocks_.fetch_add(1, std::memory_order_relaxed);
    if (markEvery_ != 0 && block % markEvery_ == markEvery_ - 1) {
        const size_t bytes = layout_.dsd ? units : units * layout_.sampleBytes;
        for (uint8_t* half : halves_) std::memset(half, blockmark::markByte, bytes);
        // The mark's time is the callback's return: nothing of the host's work follows.
        if (const size_t n = marks_.load(std::memory_order_relaxed); n < markTimes_.size()) {
            markTimes_[n] = steadyUs();
            marks_.store(n + 1, std::memory_order_release);
        }
    }
}

void Player::prepareMarks(const PlayOptions& o) {
    markEvery_ = o.markEvery > 0 ? static_cast<uint64_t>(o.markEvery) : 0;
    if (markEvery_ == 0) return;
    const double blocksPerSecond = layout_.sampleRate / std::max(1, bufferSize_);
    markTimes_.assign(static_cast<size_t>(o.seconds * blocksPerSecond / static_cast<double>(markEvery_)) + 16, 0);
}

void Player::writeMarks(const std::string& path) const {
    FILE* f = std::fopen(path.c_str(), "w");
    if (!f) {
        std::fprintf(stderr, "velmora-play: cannot write %s\n", path.c_str());
        return;
    }
    const size_t n = marks_.load(std::memory_order_acquire);
    for (size_t i = 0; i < n; ++i) std::fprintf(f, "%lld\n", static_cast<long long>(markTimes_[i]));
    std::fclose(f);
    std::printf("marks:       %zu blocks marked, every %llu (%s)\n", n, static_cast<unsigned long long>(markEvery_),
                path.c_str());
}

int Player::fail(const char* step, ASIOError error) {
    char message[256] = {};
    if (driver_) driver_->getErrorMessage(message);
    std::fprintf(stderr, "velmora-play: %s failed (ASIO error %d)%s%s\n", step, static_cast<int>(error),
                 message[0] ? ": " : "", message);
    return 2;
}

int Player::run(const PlayOptions& options) {
    activePlayer = this;
    takesReset_ = !options.noReset;
    int status = openDriver(options, true);
    if (status == 0) status = playLoop(options);
    // Whatever happened: stop, give the buffers back, release the driver; how long each took.
    if (driver_) {
        const auto timed = [](auto&& call) {
            const auto begin = std::chrono::steady_clock::now();
            call();
            return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count();
        };
        const double stopMs = timed([this] { driver_->stop(); });
        const double disposeMs = timed([this] { driver_->disposeBuffers(); });
        const double releaseMs = timed([this] { driver_->Release(); });
        std::printf("teardown:    stop %.0f ms, disposeBuffers %.0f ms, release %.0f ms\n", stopMs, disposeMs, releaseMs);
        driver_ = nullptr;
    }
    activePlayer = nullptr;
    return status;
}

int Player::openDriver(const PlayOptions& options, bool report) {
    driver_ = options.module.empty() ? loader_.createRegistered(options.driverName)
                                     : loader_.createFromModule(options.module, velmoraClassId);
    if (!driver_) {
        std::fprintf(stderr, "velmora-play: cannot create the driver: %s\n", loader_.error().c_str());
        return 2;
    }
    return negotiate(options, report);
}

void Player::closeDriver() {
    if (!driver_) return;
    driver_->stop();
    driver_->disposeBuffers();
    driver_->Release();
    driver_ = nullptr;
}

int Player::startDriver() {
    lastFeedUs_.store(0);
    if (ASIOError e = driver_->start(); e != ASE_OK) return fail("start", e);
    return 0;
}

int Player::negotiate(const PlayOptions& o, bool report) {
    if (driver_->init(nullptr) != 1) return report ? fail("init", ASE_NotPresent) : 2;
    if (o.controlPanel && report) {
        // The driver waits for its panel; when the settings changed it reads them and runs init again.
        const ASIOError e = driver_->controlPanel();
        if (e != ASE_OK && e != 1) return fail(e == ASE_NotPresent ? "controlPanel" : "init after the control panel", e);
        std::printf("panel:       %s\n", e == ASE_OK ? "closed, settings unchanged" : "settings changed, driver initialised again");
    }
    char name[32] = {};
    driver_->getDriverName(name);
    if (o.dsd) {
        ASIOIoFormat format{};
        format.FormatType = kASIODSDFormat;
        if (ASIOError e = driver_->future(kAsioSetIoFormat, &format); e != ASE_SUCCESS) return fail("DSD mode", e);
    }
    std::int32_t inputs = 0, outputs = 0;
    if (ASIOError e = driver_->getChannels(&inputs, &outputs); e != ASE_OK) return fail("getChannels", e);
    std::int32_t minSize = 0, maxSize = 0, preferred = 0, granularity = 0;
    if (ASIOError e = driver_->getBufferSize(&minSize, &maxSize, &preferred, &granularity); e != ASE_OK)
        return fail("getBufferSize", e);

    ASIOSampleRate rate = o.rate;
    if (rate == 0 && driver_->getSampleRate(&rate) != ASE_OK) return fail("getSampleRate", ASE_NotPresent);
    if (ASIOError e = driver_->canSampleRate(rate); e != ASE_OK) return fail("canSampleRate", e);
    if (ASIOError e = driver_->setSampleRate(rate); e != ASE_OK) return fail("setSampleRate", e);

    const int channels = o.channels > 0 ? o.channels : outputs;
    if (channels < 1 || channels > outputs) {
        std::fprintf(stderr, "velmora-play: the driver offers %d outputs, %d asked for\n", outputs, channels);
        return 2;
    }
    ASIOChannelInfo info{};
    info.channel = 0;
    if (ASIOError e = driver_->getChannelInfo(&info); e != ASE_OK) return fail("getChannelInfo", e);

    bufferSize_ = o.bufferSize > 0 ? o.bufferSize : preferred;
    layout_.type = info.type;
    layout_.channels = static_cast<unsigned>(channels);
    layout_.sampleBytes = hostSampleBytes(info.type);
    layout_.sampleRate = rate;
    layout_.dsd = info.type == ASIOSTDSDInt8LSB1 || info.type == ASIOSTDSDInt8MSB1;
    if (layout_.sampleBytes == 0) {
        std::fprintf(stderr, "velmora-play: sample type %d is not one the player writes\n", static_cast<int>(info.type));
        return 2;
    }
    // A restarted driver goes on with the signal where it was.
    if (!source_) {
        std::string error;
        source_ = makeSource(o.signal, layout_, o.frequency, error);
        if (!source_) {
            std::fprintf(stderr, "velmora-play: %s\n", error.c_str());
            return 2;
        }
    }

    buffers_.assign(static_cast<size_t>(channels), ASIOBufferInfo{});
    halves_.assign(buffers_.size(), nullptr);
    for (int c = 0; c < channels; ++c) {
        buffers_[static_cast<size_t>(c)].isInput = 0;
        buffers_[static_cast<size_t>(c)].channelNum = c;
    }
    timeInfo_ = o.timeInfo;
    callbacks_.bufferSwitch = &Player::bufferSwitch;
    callbacks_.sampleRateDidChange = &Player::sampleRateDidChange;
    callbacks_.asioMessage = &Player::asioMessage;
    callbacks_.bufferSwitchTimeInfo = &Player::bufferSwitchTimeInfo;
    if (ASIOError e = driver_->createBuffers(buffers_.data(), channels, bufferSize_, &callbacks_); e != ASE_OK)
        return fail("createBuffers", e);
    std::int32_t inLatency = 0, outLatency = 0;
    driver_->getLatencies(&inLatency, &outLatency);
    if (!report) return 0;

    std::printf("driver:      %s (version %d)\n", name, static_cast<int>(driver_->getDriverVersion()));
    std::printf("format:      %s, %.0f Hz, %d of %d channels\n", typeName(info.type), rate, channels, outputs);
    std::printf("buffer:      %d frames (driver offers %d..%d, preferred %d)\n", static_cast<int>(bufferSize_),
                static_cast<int>(minSize), static_cast<int>(maxSize), static_cast<int>(preferred));
    std::printf("latency:     %d frames out\n", static_cast<int>(outLatency));
    std::printf("callback:    %s\n", timeInfo_ ? "bufferSwitchTimeInfo" : "bufferSwitch");
    std::printf("signal:      %s\n", o.signal.c_str());
    std::fflush(stdout);
    return 0;
}

int Player::playLoop(const PlayOptions& o) {
    logWatch_.listen(o.driverLog);
    prepareMarks(o);
    startedUs_ = steadyUs();
    if (int status = startDriver(); status != 0) return status;
    const auto begin = Clock::now();
    const auto end = begin + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(o.seconds));
    auto nextReport = begin;
    size_t shownWidth = 0;
    while (!stopRequested.load() && !sourceEnded_.load() && Clock::now() < end) {
        if (resetRequested_.exchange(false)) {
            if (!restart(o, end)) break;
            continue;
        }
        // Reported a second after the callbacks came back, so that what the process holds has settled.
        if (inGap_ && !awaitingResume_.load(std::memory_order_acquire) && epochUs() - resumedAtUs_.load() >= 1000000)
            reportGap();
        // Read the log as it comes: its socket holds only a few hundred lines.
        const unsigned long long underruns = logWatch_.poll();
        if (!o.quiet && Clock::now() >= nextReport) {
            ASIOSamples position{};
            ASIOTimeStamp stamp{};
            driver_->getSamplePosition(&position, &stamp);
            const uint64_t frames = (uint64_t{position.hi} << 32) | position.lo;
            const double elapsed = std::chrono::duration<double>(Clock::now() - begin).count();
            // The driver's counters follow the underruns.
            char head[160];
            std::snprintf(head, sizeof head, "playing %6.1f s  blocks %8llu  position %10llu  gaps %d  underruns %s",
                          elapsed, static_cast<unsigned long long>(blocks_.load()),
                          static_cast<unsigned long long>(frames), gaps_,
                          logWatch_.listening() ? std::to_string(underruns).c_str() : "?");
            std::string line = head;
            if (const auto& counters = logWatch_.counters()) {
                const auto& before = logWatch_.previousCounters();
                line += "  " + describeCounters(*counters, before ? &*before : nullptr);
            }
            // One line redrawn in place: never wider than the terminal.
            const int columns = platform::terminalColumns(platform::StandardStream::error);
            if (columns > 1 && line.size() >= static_cast<size_t>(columns)) line.resize(static_cast<size_t>(columns) - 1);
            std::fprintf(stderr, "\r%-*s", static_cast<int>(shownWidth), line.c_str());   // blanks over a longer one
            shownWidth = line.size();
            nextReport += std::chrono::milliseconds(250);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!o.quiet) std::fprintf(stderr, "\n");
    // Stopping ends the stream: the driver logs its counters' totals, which the summary shows.
    if (driver_) driver_->stop();
    if (inGap_ && !awaitingResume_.load(std::memory_order_acquire)) reportGap();
    if (inGap_) {
        std::printf("gap %d: reset request at %.3f, not over when play ended: %s\n", gaps_ + 1, gapStartUs_ / 1e6,
                    gapCause_.c_str());
    }
    if (!o.markLog.empty()) writeMarks(o.markLog);
    std::printf("played:      %llu blocks%s\n", static_cast<unsigned long long>(blocks_.load()),
                stopRequested.load() ? " (interrupted)" : "");
    std::printf("gaps:        %d\n", gaps_ + (inGap_ ? 1 : 0));
    std::printf("callbacks:   at most %.1f ms apart while the driver ran\n", longestGapUs_.load() / 1000.0);
    // The host's block rate once the stream runs: the calls after the first against the time
    // from the first to the last (what connecting and filling the ring took comes before it).
    if (const int64_t first = firstFeedUs_.load(); first != 0 && blocks_.load() > 1) {
        std::printf("first call:  %.1f ms after start; %llu more in %.6f s to the last\n", (first - startedUs_) / 1000.0,
                    static_cast<unsigned long long>(blocks_.load() - 1), (lastFeedUs_.load() - first) / 1e6);
    }
    const unsigned long long underruns = logWatch_.poll();
    if (!logWatch_.listening())
        std::printf("underruns:   unknown (another program holds the driver's log port 19640)\n");
    else if (logWatch_.lines() == 0)
        std::printf("underruns:   none logged (the driver logs them with Debug=enable in its settings)\n");
    else
        std::printf("underruns:   %llu (from the driver's log)\n", underruns);
    if (!logWatch_.profile().empty()) std::printf("profile:     %s (from the driver's log)\n", logWatch_.profile().c_str());
    if (const auto& counters = logWatch_.counters())
        std::printf("counters:    (the driver's last counter line)\n%s", tabulateCounters(*counters, "  ").c_str());
    return 0;
}

bool Player::restart(const PlayOptions& o, Clock::time_point end) {
    if (!inGap_) {
        char message[256] = {};
        driver_->getErrorMessage(message);
        gapCause_ = message[0] ? message : "no reason given";
        gapStartUs_ = requestedAtUs_.load();
        inGap_ = true;
    }
    closeDriver();
    // Callbacks of the next driver end the gap; a second request before them continues it.
    awaitingResume_.store(true);
    for (;;) {
        ++restarts_;
        if (openDriver(o, false) == 0 && startDriver() == 0) return true;
        closeDriver();
        if (stopRequested.load() || Clock::now() + retryPause >= end) return false;
        std::this_thread::sleep_for(retryPause);
    }
}

void Player::reportGap() {
    const int64_t requested = gapStartUs_, resumed = resumedAtUs_.load();
    const platform::ProcessUsage usage = platform::processUsage();
    ++gaps_;
    std::printf("gap %d: reset request at %.3f, callbacks back at %.3f (%.3f s), resumed at frame %llu after %d "
                "restarts, threads %u handles %u: %s\n",
                gaps_, requested / 1e6, resumed / 1e6, (resumed - requested) / 1e6,
                static_cast<unsigned long long>(resumeUnits_.load()), restarts_, usage.threads, usage.handles,
                gapCause_.c_str());
    std::fflush(stdout);
    inGap_ = false;
    restarts_ = 0;
}
