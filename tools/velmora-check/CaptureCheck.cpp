#include "CaptureCheck.h"

#include <algorithm>

#include "common/CounterPattern.h"

namespace {

uint8_t reverseBits(uint8_t b) {
    uint8_t r = 0;
    for (int i = 0; i < 8; ++i)
        if (b & (1u << i)) r = static_cast<uint8_t>(r | (1u << (7 - i)));
    return r;
}

// What the stream does to host bytes on the way to the wire.
void transform(const WireLayout& l, std::vector<uint8_t>& bytes) {
    if (l.swap32)
        for (size_t i = 0; i + 4 <= bytes.size(); i += 4) std::reverse(bytes.begin() + i, bytes.begin() + i + 4);
    for (uint8_t& b : bytes) {
        if (l.bitReverse) b = reverseBits(b);
        if (l.invert) b = static_cast<uint8_t>(~b);
    }
}

// Host-side bytes of one step.
void hostStep(const WireLayout& l, uint64_t s, std::vector<uint8_t>& out) {
    out.clear();
    for (unsigned c = 0; c < l.channels; ++c) {
        if (l.dsd) {
            const unsigned perChannel = l.dsdWords ? 4 : 1;
            for (unsigned k = 0; k < perChannel; ++k)
                out.push_back(pattern::counterByte((s * perChannel + k) * l.channels + c, 0));
            continue;
        }
        const uint64_t n = s * l.channels + c;
        out.insert(out.end(), l.zeroPrefix, 0);
        for (unsigned k = 0; k < l.wireBytes - l.zeroPrefix; ++k) out.push_back(pattern::counterByte(n, l.hostOffset + k));
    }
}

bool equalAt(const std::vector<uint8_t>& capture, size_t at, const std::vector<uint8_t>& step) {
    return at + step.size() <= capture.size() &&
           std::equal(step.begin(), step.end(), capture.begin() + static_cast<std::ptrdiff_t>(at));
}

}  // namespace

void expectedStep(const WireLayout& l, uint64_t step, std::vector<uint8_t>& out) {
    hostStep(l, step, out);
    transform(l, out);
}

void silenceStep(const WireLayout& l, std::vector<uint8_t>& out) {
    hostStep(l, 0, out);
    std::fill(out.begin(), out.end(), l.hostSilence);
    transform(l, out);
}

CheckResult checkCapture(const WireLayout& l, const std::vector<uint8_t>& capture) {
    CheckResult r;
    std::vector<uint8_t> silence, step;
    silenceStep(l, silence);
    const size_t stepBytes = silence.size();
    if (stepBytes == 0) {
        r.message = "empty step layout";
        return r;
    }
    // The worker's first packets carry silence made before the host's polarity applies, so the
    // leading silence may come in either polarity.
    std::vector<uint8_t> complement(silence);
    for (uint8_t& b : complement) b = static_cast<uint8_t>(~b);
    size_t at = 0;
    while (equalAt(capture, at, silence) || equalAt(capture, at, complement)) at += stepBytes;
    r.leadingBytes = at;

    for (uint64_t s = 0;; ++s, at += stepBytes) {
        expectedStep(l, s, step);
        if (!equalAt(capture, at, step)) break;
        r.steps = s + 1;
    }
    // After the pattern only silence may follow (the stream ends with silence after stop); a
    // last partial step of silence is fine.
    r.trailingBytes = capture.size() - at;
    size_t tail = at;
    while (tail < capture.size() && capture[tail] == silence[(tail - at) % stepBytes]) ++tail;
    if (r.steps == 0) {
        r.message = "the pattern's first step was not found";
        r.firstMismatch = r.leadingBytes;
    } else if (tail != capture.size()) {
        r.firstMismatch = tail;
        r.message = "wrong byte at offset " + std::to_string(tail) + " after " + std::to_string(r.steps) + " good steps";
    } else {
        r.exact = true;
        r.message = "bit-exact";
    }
    return r;
}
