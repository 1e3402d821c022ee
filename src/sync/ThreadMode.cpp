#include "sync/ThreadMode.h"

#include "platform/Thread.h"

namespace VELMORA {

ThreadModeDecision decideThreadMode(uint32_t mode, uint32_t cores, uint32_t firstCycleUs,
                                    uint16_t latency) {
    ThreadModeDecision decision;
    if (!(mode & threadmode::noSleepForce) && cores < 3) {
        // A small machine cannot give a processor away to spinning, and a short
        // cycle is better served by the last (longer) profile.
        mode &= ~threadmode::noSleep4Core;
        if (firstCycleUs < 1000) decision.lowCpu = true;
    }
    // With 200 ms or less of latency there is no room to catch up lateness.
    if (latency <= 2000) mode &= ~threadmode::noFastFeedback;
    decision.mode = mode;
    return decision;
}

std::optional<int32_t> workerPriorityLevel(uint32_t mode, int32_t processLevel) {
    if (processLevel == platform::priorityLevelRealtime) return std::nullopt;
    return (mode & threadmode::critical) ? platform::priorityLevelRealtime : platform::priorityLevelHigh;
}

std::string threadModeLogText(uint32_t mode, uint32_t cores, uint32_t infoCycleUs) {
    std::string text = "wth start ";
    if (mode & threadmode::critical) text += "CRITICAL ";
    if (mode & threadmode::noShortSleep) text += "NOSHORTSLEEP ";
    if (mode & threadmode::noSleep4Core) text += "NOSLEEP4CORE ";
    if (mode & threadmode::noSleepForce) text += "NOSLEEPFORCE ";
    if (mode & threadmode::socketNoBlock) text += "SOCKETNOBLOCK ";
    if (mode & threadmode::occupied) text += "OCCUPIED ";
    text += "CPU:" + std::to_string(cores);
    text += " FEEDBACK:" + std::to_string(feedbackDepth(mode));
    text += (mode & threadmode::noFastFeedback) ? " NOFASTFEEDBACK " : " ";
    text += " Info=" + std::to_string(infoCycleUs / 1000);
    return text;
}

BurstWaitPolicy::Step BurstWaitPolicy::next(uint32_t remainingUs) {
    Step step;
    if (mode_ & threadmode::yieldAlways) {
        step.yield = true;
        yielded_ = true;
    } else if ((mode_ & threadmode::yieldOnce) && !yielded_) {
        step.yield = true;
        yielded_ = true;
    }
    step.spin = spins(remainingUs);
    return step;
}

bool BurstWaitPolicy::spins(uint32_t remainingUs) const {
    return (mode_ & (threadmode::noSleep4Core | threadmode::noSleepForce)) ||
           ((mode_ & threadmode::noShortSleep) && remainingUs <= 100);
}

}  // namespace VELMORA
