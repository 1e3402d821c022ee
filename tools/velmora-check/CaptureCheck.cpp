#include "CaptureCheck.h"

#include <algorithm>

#include "common/CounterPattern.h"

void expectedFrame(const WireLayout& l, uint64_t frame, std::vector<uint8_t>& out) {
    out.clear();
    for (unsigned c = 0; c < l.channels; ++c) {
        const uint64_t n = frame * l.channels + c;
        if (l.dsd) {
            out.push_back(pattern::counterByte(n, 0));
            continue;
        }
        out.insert(out.end(), l.zeroPrefix, 0);
        for (unsigned k = 0; k < l.wireBytes - l.zeroPrefix; ++k) out.push_back(pattern::counterByte(n, l.hostOffset + k));
    }
}

CheckResult checkCapture(const WireLayout& l, const std::vector<uint8_t>& capture) {
    CheckResult r;
    std::vector<uint8_t> frame;
    expectedFrame(l, 0, frame);
    const size_t frameBytes = frame.size();
    if (frameBytes == 0) {
        r.message = "empty frame layout";
        return r;
    }
    // Leading silence: whole zero frames before the pattern's first frame.
    size_t start = 0;
    while (start + frameBytes <= capture.size() &&
           std::all_of(capture.begin() + static_cast<std::ptrdiff_t>(start),
                       capture.begin() + static_cast<std::ptrdiff_t>(start + frameBytes), [](uint8_t b) { return b == 0; }))
        start += frameBytes;
    r.leadingBytes = start;

    size_t at = start;
    for (uint64_t f = 0; at + frameBytes <= capture.size(); ++f, at += frameBytes) {
        expectedFrame(l, f, frame);
        if (!std::equal(frame.begin(), frame.end(), capture.begin() + static_cast<std::ptrdiff_t>(at))) break;
        r.frames = f + 1;
    }
    // What follows the pattern must be silence (the stream ends with silence after stop).
    const auto rest = capture.begin() + static_cast<std::ptrdiff_t>(at);
    const auto wrong = std::find_if(rest, capture.end(), [](uint8_t b) { return b != 0; });
    r.trailingBytes = capture.size() - at;
    if (r.frames == 0) {
        r.message = "the pattern's first frame was not found";
        r.firstMismatch = start;
    } else if (wrong != capture.end()) {
        r.firstMismatch = static_cast<uint64_t>(wrong - capture.begin());
        r.message = "wrong byte at offset " + std::to_string(r.firstMismatch) + " after " + std::to_string(r.frames) +
                    " good frames";
    } else {
        r.exact = true;
        r.message = "bit-exact";
    }
    return r;
}
