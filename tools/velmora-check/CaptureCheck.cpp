#include "CaptureCheck.h"

#include <algorithm>
#include <map>
#include <optional>

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

namespace {

// The step that follows a gap of `packets` lost packets after step `from`: one of the next
// steps a datagram's worth of packets can hold. Nothing when the capture shows none of them.
std::optional<uint64_t> stepAfterGap(const WireLayout& l, const std::vector<uint8_t>& capture, size_t at,
                                     uint64_t from, uint64_t packets, size_t stepBytes) {
    std::vector<uint8_t> step;
    const uint64_t most = packets * (1500 / stepBytes + 1);
    for (uint64_t s = from; s <= from + most; ++s) {
        expectedStep(l, s, step);
        if (equalAt(capture, at, step)) return s;
    }
    return std::nullopt;
}

// Whole steps of silence at `at` after which step `next` follows: an underrun. 0 when not.
uint64_t silenceBeforeStep(const std::vector<uint8_t>& capture, size_t at, const std::vector<uint8_t>& silence,
                           const std::vector<uint8_t>& step) {
    uint64_t count = 0;
    while (equalAt(capture, at, silence)) {
        at += silence.size();
        ++count;
    }
    return count > 0 && equalAt(capture, at, step) ? count : 0;
}

std::string underrunText(const CheckResult& r, const Expectation& e) {
    std::string text = "underrun, ";
    if (e.blockSteps != 0 && r.silentSteps % e.blockSteps == 0)
        text += std::to_string(r.silentSteps / e.blockSteps) + " silent blocks";
    else
        text += std::to_string(r.silentSteps) + " silent steps";
    text += " in " + std::to_string(r.underruns) + (r.underruns == 1 ? " place" : " places") + " (first at byte " +
            std::to_string(r.firstUnderrun) + ")";
    return text;
}

}  // namespace

CheckResult checkCapture(const WireLayout& l, const std::vector<uint8_t>& capture, const std::vector<LostGap>& gaps,
                         const std::vector<uint64_t>& resumeAt, const Expectation& expect) {
    CheckResult r;
    std::vector<uint8_t> silence, step;
    silenceStep(l, silence);
    const size_t stepBytes = silence.size();
    if (stepBytes == 0) {
        r.message = "empty step layout";
        return r;
    }
    std::map<uint64_t, uint64_t> gapAt;   // byte offset -> packets lost there
    for (const LostGap& g : gaps) gapAt[g.atByte] += g.packets;
    // The worker's first packets carry silence made before the host's polarity applies, so the
    // silence before a run may come in either polarity.
    std::vector<uint8_t> complement(silence);
    for (uint8_t& b : complement) b = static_cast<uint8_t>(~b);
    size_t at = 0;
    auto skipSilence = [&] {
        while (equalAt(capture, at, silence) || equalAt(capture, at, complement)) at += stepBytes;
    };
    skipSilence();
    r.leadingBytes = at;
    uint64_t next = 0;        // the step expected at `at`
    size_t resumed = 0;       // gaps of the stream passed
    for (;;) {
        expectedStep(l, next, step);
        if (equalAt(capture, at, step)) {
            if (r.steps++ == 0) r.runs = 1;
            ++next;
            at += stepBytes;
            continue;
        }
        if (const auto gap = gapAt.find(at); gap != gapAt.end() && r.steps > 0) {
            if (const auto after = stepAfterGap(l, capture, at, next + 1, gap->second, stepBytes)) {
                r.missingSteps += *after - next;
                ++r.gapsInPattern;
                next = *after;
                gapAt.erase(gap);
                continue;
            }
        }
        // Silence, then the pattern where it stopped: an underrun, unless the player reported
        // that the signal resumed at that very step.
        if (r.steps > 0 && (resumed == resumeAt.size() || resumeAt[resumed] != next)) {
            if (const uint64_t silent = silenceBeforeStep(capture, at, silence, step)) {
                if (r.underruns++ == 0) r.firstUnderrun = at;
                r.silentSteps += silent;
                at += silent * stepBytes;
                continue;
            }
        }
        if (r.steps == 0 || resumed == resumeAt.size()) break;
        // The stream went and came back: silence, then exactly the step the player resumed at.
        const uint64_t resume = resumeAt[resumed++];
        if (resume < next) {
            r.firstMismatch = at;
            r.message = "run " + std::to_string(resumed + 1) + " resumes at step " + std::to_string(resume) +
                        ", before the end of run " + std::to_string(resumed) + " at step " + std::to_string(next);
            return r;
        }
        skipSilence();
        next = resume;
        expectedStep(l, next, step);
        if (!equalAt(capture, at, step)) {
            r.firstMismatch = at;
            r.message = "run " + std::to_string(resumed + 1) + " does not start with step " + std::to_string(resume) +
                        " at offset " + std::to_string(at);
            return r;
        }
        ++r.runs;
    }
    // A named gap strictly inside the pattern that the pattern ran straight through.
    for (const auto& [byte, packets] : gapAt) {
        if (r.steps > 0 && byte > r.leadingBytes && byte < at) {
            r.firstMismatch = byte;
            r.message = "the report names " + std::to_string(packets) + " lost packets at byte " + std::to_string(byte) +
                        " but the pattern runs on unbroken there";
            return r;
        }
        if (r.steps > 0 && byte >= at) r.packetsLostAfterEnd += packets;
    }
    // After the pattern only silence may follow (the stream ends with silence after stop); a
    // last partial step of silence is fine.
    r.trailingBytes = capture.size() - at;
    size_t tail = at;
    while (tail < capture.size() && capture[tail] == silence[(tail - at) % stepBytes]) ++tail;
    if (r.steps == 0) {
        r.message = "the pattern's first step was not found";
        r.firstMismatch = r.leadingBytes;
    } else if (resumed != resumeAt.size()) {
        r.firstMismatch = at;
        r.message = std::to_string(resumeAt.size()) + " gaps reported, the capture holds " + std::to_string(r.runs) +
                    " runs";
    } else if (tail != capture.size()) {
        r.firstMismatch = tail;
        r.message = "wrong byte at offset " + std::to_string(tail) + " after " + std::to_string(r.steps) + " good steps";
    } else if (r.underruns != 0) {
        r.message = underrunText(r, expect);
    } else if (next < expect.steps) {   // the pattern's last step, named losses and gaps included
        r.message = "the audio ends early: " + std::to_string(next) + " of " + std::to_string(expect.steps) +
                    " steps arrived" +
                    (r.packetsLostAfterEnd != 0 ? " (" + std::to_string(r.packetsLostAfterEnd) + " packets lost there)"
                                                : std::string(" (nothing named lost: the end never reached the sink)"));
    } else {
        r.exact = true;
        r.message = r.gapsInPattern == 0 ? "bit-exact"
                                         : "exact apart from " + std::to_string(r.gapsInPattern) + " named losses (" +
                                               std::to_string(r.missingSteps) + " steps)";
        if (r.packetsLostAfterEnd != 0)
            r.message += ", " + std::to_string(r.packetsLostAfterEnd) + " packets of silence after the end lost";
    }
    // A wrong byte after an underrun: name both.
    if (!r.exact && r.underruns != 0 && r.message.rfind("underrun", 0) != 0)
        r.message += "; before it " + underrunText(r, expect);
    return r;
}
