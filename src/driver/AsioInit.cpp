// init: find the target, open the session, learn the target's formats and choose what the
// driver offers the host.

#include <memory>

#include "driver/AsioVelmora.h"
#include "driver/Guarded.h"
#include "driver/SampleTypes.h"
#include "driver/SessionRecovery.h"
#include "log/LogLine.h"
#include "find/Find.h"
#include "find/ProductTag.h"

namespace {

// The failure's log line (severity 3) and the text getErrorMessage gives the host.
ASIOBool fail(std::string& errorMessage, const char* logText, const char* message, ASIOBool result = 0) {
    LogLine(3) << logText;
    errorMessage = message;
    return result;
}

}  // namespace

ASIOBool AsioVelmora::init(void* sysHandle) {
    return guarded<ASIOBool>(0, [&] {
        hostWindow = sysHandle;
        // After a stream that ended by itself the sink is found again: it may be back
        // elsewhere, and a host answers the reset request with init.
        if (lostCause.exchange(VELMORA::StreamEnd::none, std::memory_order_relaxed) != VELMORA::StreamEnd::none)
            initialised = false;
        if (initialised) return ASIOBool{1};
        // While the sink is away, tries to reach it keep the process's back-off; a host that
        // keeps calling init meanwhile is answered at once, without network traffic.
        SessionRecovery& recovery = SessionRecovery::process();
        const auto now = SessionRecovery::Clock::now();
        if (const auto wait = recovery.waitBeforeAttempt(now); wait > wait.zero()) {
            const auto ms = std::chrono::ceil<std::chrono::milliseconds>(wait).count();
            LogLine(3) << "init back-off " << ms << "ms";
            errorMessage = "sink not answering, next try in " + std::to_string(ms) + " ms";
            return ASIOBool{0};
        }
        const ASIOBool result = initialise();
        if (!initialised) recovery.attemptFailed(SessionRecovery::Clock::now());
        return result;
    });
}

ASIOBool AsioVelmora::initialise() {
    LogLine(6) << "init ProductID=" << productId;
    LogLine(6) << "init FindID=" << findId;

    VELMORA::FindParams params;
    params.productFilter = findId;
    params.maxVersion = 1;
    params.name = std::string(VELMORA::productName);
    params.nopBreak = settings.nopBreak;
    // The finder lives only for this call; its socket closes when it goes.
    auto finder = std::make_unique<VELMORA::Find>(params);
    if (!finder->open(settings.interfaceIndex))
        return fail(errorMessage, "Velmora Find open err", "Velmora Find open err!");
    finder->extraDestinations = settings.findIP;

    TERNO::Address streamAddress{};
    VELMORA::Target target;
    if (VELMORA::isZeroAddress(settings.targetAddress)) {
        VELMORA::TargetMap targets;
        if (!finder->getTargetList(targets)) return fail(errorMessage, "Velmora Find err", "Velmora Find err!");
        if (targets.empty()) return fail(errorMessage, "Velmora can not Find", "Velmora can not Find");
        streamAddress = targets.begin()->first;
        target = targets.begin()->second;
        LogLine(6) << "Velmora Find OK";
    } else {
        if (!finder->getTarget(settings.targetAddress, settings.targetPO, streamAddress, target))
            return fail(errorMessage, "Velmora get Target err", "Velmora get Target err!");
        if (VELMORA::isZeroAddress(streamAddress))
            return fail(errorMessage, "Velmora can not find", "Velmora can not ReFind");
        LogLine(6) << "Velmora get Target OK";
    }
    finder.reset();

    if (!sync.open(settings.threadMode, static_cast<uint32_t>(settings.infoCycle), streamAddress.scope,
                   std::string(VELMORA::productName)))
        return fail(errorMessage, "Velmora Sync open err", "Velmora Sync open err!");
    // A failed information request leaves the driver uninitialised but reports success, so that
    // the host's next init tries again.
    if (!sync.getInfo(streamAddress, static_cast<uint32_t>(settings.latencyBuffer), settings.nopBreak))
        return fail(errorMessage, "Velmora get info err", "Velmora get info err!", 1);
    // Sizes the driver cannot honour: no payload fits the sink's MTU, or no packet its burst.
    if (sync.packDataSize == 0 || sync.packDataCount == 0)
        return fail(errorMessage, "Velmora sink datasize err", "Velmora sink datasize err!");
    LogLine(6) << "Velmora connect Sink " << sync.pcmCaps << " " << sync.dsdLsbCaps << " " << sync.dsdMsbCaps;

    const auto choice = choosePcmFormat(sync.pcmCaps, settings.pcmRequest, settings.convertS32);
    if (!choice) {
        const bool fixedWidth = settings.pcmRequest >= 32 && settings.pcmRequest < 64 && settings.convertS32;
        LogLine(3) << (fixedWidth ? "format miss err pcm32Fix" : "format miss err ") << settings.pcmRequest;
        errorMessage = "format miss err!";
        return ASIOBool{0};
    }
    pcmFormat = choice->pcmFormat;
    sampleBytes = choice->sampleBytes;
    channelCount = channelCountOf(sync.pcmCaps);
    sync.driverName = target.description;
    if (!target.outputName.empty()) sync.driverName += "(" + target.outputName + ")";

    initialised = true;
    dsdMode = false;
    LogLine(6) << "init compleat mode:" << pcmFormat << " wid:" << sampleBytes << " ch:" << channelCount;
    return ASIOBool{1};
}
