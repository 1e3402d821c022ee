// The IASIO operations that answer questions or change simple state.

#include <atomic>
#include <cstring>

#include "driver/AsioVelmora.h"
#include "driver/Guarded.h"
#include "driver/SampleTypes.h"
#include "driver/SessionRecovery.h"
#include "log/LogLine.h"
#include "platform/Timer.h"

namespace {

void copyText(char* destination, const std::string& text, std::size_t maxCharacters) {
    const std::size_t length = std::min(text.size(), maxCharacters);
    std::memcpy(destination, text.data(), length);
    destination[length] = '\0';
}

void splitHalves(uint64_t value, uint32_t& hi, uint32_t& lo) {
    hi = static_cast<uint32_t>(value >> 32);
    lo = static_cast<uint32_t>(value);
}

}  // namespace

void AsioVelmora::setTimeInfoFlag(uint32_t flag) {
    std::atomic_ref<uint32_t>(asioTime.timeInfo.flags).fetch_or(flag, std::memory_order_relaxed);
}

void AsioVelmora::getDriverName(char* name) {
    guardedVoid([&] {
        LogLine(6) << "getDriverName " << sync.driverName;
        if (name) copyText(name, sync.driverName, 31);
    });
}

std::int32_t AsioVelmora::getDriverVersion() { return 1; }

void AsioVelmora::getErrorMessage(char* string) {
    guardedVoid([&] {
        if (!string) return;
        // A stream that ended by itself says why until init or a new stream succeeds.
        const VELMORA::StreamEnd lost = lostCause.load(std::memory_order_relaxed);
        const std::string text = lost != VELMORA::StreamEnd::none ? streamEndText(lost) : errorMessage;
        copyText(string, text, text.size());
    });
}

ASIOError AsioVelmora::getChannels(std::int32_t* numInputChannels, std::int32_t* numOutputChannels) {
    return guarded(ASE_NotPresent, [&]() -> ASIOError {
        LogLine(6) << "getCh " << channelCount;
        if (!numInputChannels || !numOutputChannels) return ASE_InvalidParameter;
        *numInputChannels = 0;
        *numOutputChannels = static_cast<std::int32_t>(channelCount);
        return ASE_OK;
    });
}

ASIOError AsioVelmora::getLatencies(std::int32_t* inputLatency, std::int32_t* outputLatency) {
    if (inputLatency) *inputLatency = 0;
    if (outputLatency) *outputLatency = 0;
    return ASE_OK;
}

ASIOError AsioVelmora::getBufferSize(std::int32_t* minSize, std::int32_t* maxSize, std::int32_t* preferredSize,
                                     std::int32_t* granularity) {
    return guarded(ASE_NotPresent, [&]() -> ASIOError {
        LogLine(6) << "getBufferSize";
        if (!minSize || !maxSize || !preferredSize || !granularity) return ASE_InvalidParameter;
        const std::int32_t scale = dsdMode ? 32 : 1;
        if (settings.asioBufferSize != 0) {
            *minSize = *maxSize = *preferredSize = settings.asioBufferSize * scale;
            *granularity = 0;
        } else {
            *minSize = settings.asioBufferSizeMin * scale;
            *maxSize = settings.asioBufferSizeMax * scale;
            *preferredSize = settings.asioBufferSizePre * scale;
            *granularity = -1;
        }
        return ASE_OK;
    });
}

ASIOError AsioVelmora::canSampleRate(ASIOSampleRate rate) {
    return guarded(ASE_NotPresent, [&]() -> ASIOError {
        LogLine(6) << "canSa " << rate;
        const bool pcm = rate <= maxPcmRate && !dsdMode;
        VELMORA::StreamFormat candidate(pcm ? pcmFormat : VELMORA::StreamFormat::typeDsd1);
        // Only finite positive rates that fit the format word are candidates (NaN fails every test).
        if (!(rate > 0 && rate < 4294967296.0) || !candidate.setRate(static_cast<uint64_t>(rate))) return ASE_NoClock;
        uint64_t mask;
        if (pcm)
            mask = sync.pcmCaps;
        else if (candidate & VELMORA::StreamFormat::dsdLsbFirst)
            mask = sync.dsdLsbCaps;
        else if (candidate & VELMORA::StreamFormat::dsdMsbFirst)
            mask = sync.dsdMsbCaps;
        else
            mask = sync.dsdLsbCaps | sync.dsdMsbCaps;
        return (candidate.value() & mask) == candidate.value() ? ASE_OK : ASE_NoClock;
    });
}

ASIOError AsioVelmora::getSampleRate(ASIOSampleRate* rate) {
    return guarded(ASE_NotPresent, [&]() -> ASIOError {
        if (!rate) return ASE_InvalidParameter;
        *rate = sampleRate;
        LogLine(6) << "getSa " << *rate;
        return ASE_OK;
    });
}

ASIOError AsioVelmora::setSampleRate(ASIOSampleRate rate) {
    return guarded(ASE_NotPresent, [&]() -> ASIOError {
        LogLine(6) << "SetSa " << rate;
        if (rate == static_cast<double>(sampleRate)) return ASE_OK;
        sampleRate = rate > 0 && rate < 4294967296.0 ? static_cast<uint32_t>(rate) : 0;
        asioTime.timeInfo.sampleRate = rate;
        setTimeInfoFlag(kSampleRateChanged);
        const ASIOCallbacks* host = callbacks.load();
        if (host && host->sampleRateDidChange) host->sampleRateDidChange(sampleRate);
        return ASE_OK;
    });
}

ASIOError AsioVelmora::getClockSources(ASIOClockSource* clocks, std::int32_t* numSources) {
    return guarded(ASE_NotPresent, [&]() -> ASIOError {
        LogLine(6) << "getCS";
        if (!clocks || !numSources) return ASE_InvalidParameter;
        clocks->index = 0;
        clocks->associatedChannel = -1;
        clocks->associatedGroup = -1;
        clocks->isCurrentSource = 1;
        copyText(clocks->name, "Internal", 31);
        *numSources = 1;
        return ASE_OK;
    });
}

ASIOError AsioVelmora::setClockSource(std::int32_t reference) {
    return guarded(ASE_NotPresent, [&]() -> ASIOError {
        LogLine(6) << "setCS";
        if (reference != 0) return ASE_NotPresent;
        setTimeInfoFlag(kClockSourceChanged);
        return ASE_OK;
    });
}

ASIOError AsioVelmora::getSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp) {
    if (!sPos || !tStamp) return ASE_InvalidParameter;
    splitHalves(samplePosition.load(std::memory_order_relaxed), sPos->hi, sPos->lo);
    splitHalves(uint64_t{platform::tickMilliseconds()} * 1000000u, tStamp->hi, tStamp->lo);
    return ASE_OK;
}

ASIOError AsioVelmora::getChannelInfo(ASIOChannelInfo* info) {
    return guarded(ASE_NotPresent, [&]() -> ASIOError {
        if (!info || info->channel < 0 || static_cast<uint32_t>(info->channel) >= channelCount || info->isInput)
            return ASE_InvalidParameter;
        info->channelGroup = 0;
        info->isActive = static_cast<uint32_t>(info->channel) < bufferCount ? 1 : 0;
        copyText(info->name, sync.driverName, 30);
        if (sampleRate > maxPcmRate || dsdMode)
            info->type = settings.dsdMsb ? ASIOSTDSDInt8MSB1 : ASIOSTDSDInt8LSB1;
        else if (settings.convertS32)
            info->type = ASIOSTInt32LSB;
        else
            info->type = asioSampleType(pcmFormat);
        LogLine(6) << "getChannelInfo : " << info->channel << " : " << info->type << " "
                   << (info->isActive ? "true" : "false");
        return ASE_OK;
    });
}

ASIOError AsioVelmora::outputReady() { return ASE_NotPresent; }

ASIOError AsioVelmora::future(std::int32_t selector, void* opt) {
    return guarded(ASE_NotPresent, [&]() -> ASIOError {
        LogLine(6) << "future " << selector;
        auto* io = static_cast<ASIOIoFormat*>(opt);
        switch (selector) {
        case kAsioEnableTimeCodeRead: timeCodeRead = true; return ASE_SUCCESS;
        case kAsioDisableTimeCodeRead: timeCodeRead = false; return ASE_SUCCESS;
        case kAsioSetInputMonitor:
        case kAsioCanInputMonitor:
        case kAsioCanTimeInfo:
        case kAsioCanTimeCode: return ASE_SUCCESS;
        case kAsioSetIoFormat:
            if (!io) return ASE_InvalidParameter;
            dsdMode = io->FormatType == kASIODSDFormat;
            LogLine(6) << "kAsioSetIoFormat " << (dsdMode ? "DSD" : "PCM");
            return ASE_SUCCESS;
        case kAsioGetIoFormat:
            if (!io) return ASE_InvalidParameter;
            io->FormatType = dsdMode ? kASIODSDFormat : kASIOPCMFormat;
            return ASE_SUCCESS;
        case kAsioCanDoIoFormat:
            if (!io) return ASE_InvalidParameter;
            if (io->FormatType == kASIODSDFormat)
                return (sync.dsdLsbCaps || sync.dsdMsbCaps) ? ASE_SUCCESS : ASE_NotPresent;
            if (io->FormatType == kASIOPCMFormat) return sync.pcmCaps ? ASE_SUCCESS : ASE_NotPresent;
            return ASE_SUCCESS;
        default: return ASE_NotPresent;
        }
    });
}
