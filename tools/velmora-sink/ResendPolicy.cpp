#include "ResendPolicy.h"

namespace sink {

bool ResendPolicy::due(std::optional<uint16_t> firstMissing, uint64_t nowUs) {
    if (!firstMissing) {
        hole_.reset();
        asked_ = false;
        return false;
    }
    if (hole_ != firstMissing) {   // a new oldest hole: start watching it
        hole_ = firstMissing;
        holeSince_ = nowUs;
        asked_ = false;
    }
    if (nowUs - holeSince_ < delayUs_) return false;
    if (asked_ && nowUs - askedAt_ < retryUs_) return false;
    asked_ = true;
    askedAt_ = nowUs;
    ++requests_;
    return true;
}

}  // namespace sink
