#include "MarkLog.h"

#include "common/BlockMark.h"

#include <cstdio>

namespace sink {

void MarkLog::onPayload(std::span<const uint8_t> payload, uint64_t arrivalUs) {
    for (const uint8_t b : payload) {
        if (b != blockmark::markByte) {
            run_ = 0;
            continue;
        }
        if (run_ == 0) runStartUs_ = arrivalUs;
        if (++run_ == blockmark::markRunBytes) arrivals_.push_back(runStartUs_);
    }
}

bool MarkLog::write(const std::string& path) const {
    FILE* f = std::fopen(path.c_str(), "w");
    if (!f) return false;
    for (const uint64_t us : arrivals_) std::fprintf(f, "%llu\n", static_cast<unsigned long long>(us));
    return std::fclose(f) == 0;
}

}  // namespace sink
