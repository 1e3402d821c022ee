// Buffers, start and stop: turning the host's choices into a stream to the target.

#include <cstring>
#include <system_error>

#include "driver/AsioVelmora.h"
#include "driver/Guarded.h"
#include "driver/SampleTypes.h"
#include "driver/SessionRecovery.h"
#include "driver/StreamPlan.h"
#include "log/LogLine.h"
#include "platform/Clock.h"
#include "platform/Thread.h"
#include "platform/ThreadSnapshot.h"

using VELMORA::StreamFormat;

ASIOError AsioVelmora::createBuffers(ASIOBufferInfo* bufferInfos, std::int32_t numChannels, std::int32_t bufferSize,
                                     ASIOCallbacks* hostCallbacks) {
    return guarded(ASE_NotPresent, [&]() -> ASIOError {
        LogLine(6) << "createBuffer : " << bufferSize << " ch:" << numChannels
                   << " callback:" << (hostCallbacks ? "true" : "false") << "  s:" << sampleRate;
        if (!bufferInfos || numChannels < 0 || bufferSize <= 0) return ASE_InvalidParameter;
        // Buffers are only replaced while nothing streams from them.
        if (running.load() || delayedStart.joinable()) stopStream();
        releaseBuffers();
        bufferBytes = dsdMode ? static_cast<uint32_t>(bufferSize) / 8 : static_cast<uint32_t>(bufferSize) * sampleBytes;
        for (std::int32_t i = 0; i < numChannels; ++i) {
            ASIOBufferInfo& info = bufferInfos[i];
            if (info.isInput) continue;
            if (info.channelNum < 0 || static_cast<uint32_t>(info.channelNum) >= channelCount ||
                bufferCount >= maxBuffers) {
                disposeBuffers();
                return ASE_InvalidParameter;
            }
            buffers.push_back(std::make_unique<uint8_t[]>(2 * std::size_t{bufferBytes}));
            info.buffers[0] = buffers.back().get();
            info.buffers[1] = buffers.back().get() + bufferBytes;
            ++bufferCount;
        }
        callbacks.store(hostCallbacks);
        timeInfoMode = hostCallbacks && hostCallbacks->asioMessage &&
                       hostCallbacks->asioMessage(kAsioSupportsTimeInfo, 0, nullptr, nullptr) != 0;
        if (timeInfoMode) {
            asioTime = ASIOTime{};
            asioTime.timeInfo.speed = 1.0;
            asioTime.timeInfo.sampleRate = sampleRate;
            asioTime.timeInfo.flags = kSystemTimeValid | kSamplePositionValid | kSampleRateValid | kSpeedValid;
            asioTime.timeCode.speed = 1.0;
            asioTime.timeCode.flags = timeCodeRead ? 259 : 258;   // running, speed valid (+ valid)
        }
        LogLine(6) << "createBuffer done " << bufferBytes << "byte x " << settings.syncBufferCount;
        return ASE_OK;
    });
}

ASIOError AsioVelmora::disposeBuffers() {
    return guarded(ASE_NotPresent, [&]() -> ASIOError {
        LogLine(6) << "disposeBuffers";
        callbacks.store(nullptr);
        stopStream();
        releaseBuffers();
        return ASE_OK;
    });
}

void AsioVelmora::releaseBuffers() {
    buffers.clear();
    bufferCount = 0;
}

ASIOError AsioVelmora::stop() {
    return guarded(ASE_NotPresent, [&]() -> ASIOError {
        stopStream();
        return ASE_OK;
    });
}

void AsioVelmora::stopStream() {
    running.store(false);
    LogLine(6) << "stop";
    // A stream still being opened is called off, so that neither the delayed start
    // (waiting for the connection) nor the worker (waiting for CONNECT_ANS) holds us.
    sync.cancelConnect();
    if (delayedStart.joinable()) delayedStart.join();
    // No reset request after stop; from inside the host's asioMessage the requester's
    // thread is left to end when that call returns.
    resetRequester.finish();
    // From inside bufferSwitch (the buffer worker's thread) the buffer worker is told
    // to end but not joined: it ends when the callback returns.
    sync.disconnect();
}

ASIOError AsioVelmora::start() {
    return guarded(ASE_NotPresent, [&]() -> ASIOError { return startStream(); });
}

ASIOError AsioVelmora::startStream() {
    LogLine(6) << "start";
    // Inside bufferSwitch the ring that start would reconfigure is the one being filled;
    // inside asioMessage the thread that start would renew is the caller's.
    if (sync.onBufferWorkerThread() || resetRequester.onThread()) {
        LogLine(3) << "start in callback error";
        return ASE_NotPresent;
    }
    // start while running restarts: the running stream ends first. A stop made inside
    // bufferSwitch left its buffer worker to end by itself; it is collected here.
    if (running.load() || delayedStart.joinable()) stopStream();
    sync.joinBufferWorker();
    resetRequester.arm();
    logThreadSnapshot();

    StreamFormat format;
    if (!format.setRate(sampleRate)) {
        LogLine(3) << "speed error " << sampleRate;
        return ASE_NotPresent;
    }
    LogLine(6) << "start SPEED=" << format.rate();

    const uint64_t channelCode = channelCodeFor(bufferCount);
    if (channelCode == 0) {
        LogLine(3) << "ch error " << bufferCount;
        return ASE_NotPresent;
    }
    const bool pcm = sampleRate <= maxPcmRate && !dsdMode;
    if (pcm) {
        format.merge(StreamFormat(channelCode | pcmFormat));
        if (!sync.setFormat(format)) {
            LogLine(3) << "fmt error PCM";
            return ASE_NotPresent;
        }
    } else {
        format = StreamFormat((format.value() & StreamFormat::rateMask) | channelCode |
                              (settings.dsdMsb ? StreamFormat::dsdMsbBig : StreamFormat::dsdLsbLittle));
        if (!sync.setFormat(format)) {
            LogLine(3) << (settings.dsdMsb ? "fmt error DSDLSB" : "fmt error DSDMSB");
            return ASE_NotPresent;
        }
    }

    const uint8_t silence = format.silenceByte();
    for (uint32_t c = 0; c < bufferCount; ++c) std::memset(buffers[c].get(), silence, 2 * std::size_t{bufferBytes});

    const uint32_t multiplier = settings.asioBufferMulti ? bufferMultiplier(sampleRate, pcm) : 1;
    if (!chooseTransferProfile(format, multiplier)) return ASE_NotPresent;
    const VELMORA::ProfileEntry& profile = sync.transfer.entry(0);
    LogLine(6) << "start cycle=" << profile.cycle << "usec " << (profile.cycle ? 1000000.0 / profile.cycle : 0.0)
               << "Hz size=" << uint64_t{profile.count} * profile.fixedPayload;

    if (!callbacks.load()) {
        LogLine(3) << "error callbacks";
        return ASE_NotPresent;
    }
    samplePosition.store(0);
    bufferIndex = 0;
    hostFilledLastPeriod = false;
    running.store(true);

    const uint32_t framesPerBlock = dsdMode ? bufferBytes * 8 : bufferBytes / (sampleBytes ? sampleBytes : 1);
    sync.configure(framesPerBlock, static_cast<uint32_t>(settings.syncBufferCount) * multiplier);
    sync.hostPhaseInvert.store(settings.phaseInvert ? 1 : 0);
    if (!sync.connectPrepare()) {
        LogLine(3) << "connectPrepare error";
        return ASE_NotPresent;
    }
    if (!sync.VELMORA::Sync::connect()) {
        LogLine(3) << "connect error";
        if (!sync.control.isOpen()) sessionClosed();
        return ASE_NotPresent;
    }
    sync.disconnecting.store(false);
    sync.stopping.store(false);
    sync.stopped.store(false);
    if (!sync.startBufferWorker()) {
        LogLine(3) << "Buffer Worker Start Error";
        sync.close();
        LogLine(3) << "connect error";
        sessionClosed();
        return ASE_NotPresent;
    }
    startTime = platform::nowMicroseconds();
    try {
        delayedStart = std::thread(&AsioVelmora::delayedStartThread, this);
    } catch (const std::system_error&) {
        LogLine(3) << "start thread error";
        stopStream();
        return ASE_NotPresent;
    }
    LogLine(6) << "start done";
    return ASE_OK;
}

void AsioVelmora::sessionClosed() {
    // A failed connect closes the session's sockets: the next init opens it again
    // instead of answering at once.
    initialised = false;
    errorMessage = "Velmora connect err!";
}

bool AsioVelmora::chooseTransferProfile(StreamFormat hostFormat, uint32_t multiplier) {
    auto& transfer = sync.transfer;
    const VELMORA::ProfileInputs inputs{sync.sinkFormat, sync.packDataSize, sync.packDataCount};
    const uint32_t cycle = settings.cycleTime;
    if (settings.targetProfileLimitTime != 0) {
        LogLine(6) << "configTransfer profile";
        transfer.configTransferAuto(inputs, static_cast<uint32_t>(settings.targetProfileLimitTime), 0, cycle);
        if (transfer.entry(0).cycle >= 1000) sync.threadMode = settings.threadMode & ~uint32_t{0x4 | 0x800};
        return true;
    }
    if (settings.flexCycleFixAsio) {
        const bool pcm = sampleRate <= maxPcmRate && !dsdMode;
        transfer.VarASIO(inputs, bytesPerAsioCycle(hostFormat, bufferBytes, sampleBytes, multiplier, pcm));
        LogLine(6) << "configTransfer VarASIO " << transfer.entry(0).fixedPayload << "x" << transfer.entry(0).count;
        return true;
    }
    const char* failure = nullptr;
    if (settings.fragmentOptimize && settings.flexCycleVariable) {
        LogLine(6) << "configTransfer VarAuto";
        if (!transfer.VarAuto(inputs, cycle)) failure = "error configTransfer VarAuto";
    } else if (settings.fragmentOptimize) {
        LogLine(6) << "configTransfer FixAuto";
        if (!transfer.FixAuto(inputs, cycle, settings.flexCycleFixFix)) failure = "error configTransfer FixAuto";
    } else if (!settings.flexCycleVariable) {
        LogLine(6) << "configTransfer Fix";
        if (!transfer.Fix(inputs, cycle, settings.fragment, settings.flexCycleFixFix))
            failure = "error configTransfer Fix";
    } else {
        LogLine(6) << "configTransfer Var";
        if (!transfer.Var(inputs, cycle, settings.fragment)) failure = "error configTransfer Var";
    }
    if (failure) LogLine(3) << failure;
    return failure == nullptr;
}

void AsioVelmora::delayedStartThread() {
    guardedVoid([&] {
        if (!sync.connectWait()) {
            LogLine(6) << "connectWait error";
            return;
        }
        const uint32_t state = sync.state.load();
        if (state < 1 || state > 3) {
            LogLine(6) << "is_connect error";
            return;
        }
        const uint32_t elapsed = (platform::nowMicroseconds() - startTime) / 1000;
        const uint32_t sleep = startDelaySleepMilliseconds(elapsed, settings.startDelay);
        if (sleep == 0) {
            LogLine(6) << "start delay " << elapsed << "ms";
        } else {
            LogLine(6) << "start delay " << elapsed << "ms sleep " << sleep << "ms";
            platform::sleepMilliseconds(sleep);
        }
        sync.play();
        // The music is back: the outage (if any) ends here, and the host's error text with it.
        lostCause.store(VELMORA::StreamEnd::none, std::memory_order_relaxed);
        SessionRecovery& recovery = SessionRecovery::process();
        recovery.recovered(SessionRecovery::Clock::now());
        sync.counters.set(VELMORA::counter::sessionEnds, static_cast<int64_t>(recovery.sessionEnds()));
        sync.counters.set(VELMORA::counter::recoveries, static_cast<int64_t>(recovery.recoveries()));
    });
}

void AsioVelmora::logThreadSnapshot() {
    if (logLevel() < 7) return;
    for (uint32_t id : platform::processThreadIds()) LogLine(7) << "ThreadID = " << id;
}
