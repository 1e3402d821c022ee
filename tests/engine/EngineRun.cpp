#include "EngineRun.h"

#include "AudioWriter.h"   // dsdWordToDsf: the sink's own reading of DSD words

#include "sync/SampleConverters.h"
#include "sync/StreamFormat.h"

#include <algorithm>
#include <sstream>
#include <thread>

namespace engine_test {

TERNO::Address loopback(uint16_t port) {
    TERNO::Address a{};
    a.bytes[15] = 1;
    a.setPortNumber(port);
    return a;
}

StreamOutcome openStream(PatternSource& s, const SinkProcess& sink, const StreamPlan& plan) {
    StreamOutcome o;
    auto fail = [&o](std::string step) {
        o.failed = std::move(step);
        return o;
    };
    // getInfo waits 10 ms per try and 30 ms per request. On a loaded machine the sink can
    // miss that window: the request then fails, or a late answer and the answer to the
    // repeated request both arrive, and as the capability requests share one answer
    // command every later mask is read from its predecessor's answer. Such a session is
    // opened again (a fresh socket drops stray answers), at most four times.
    for (o.infoAttempts = 1;; ++o.infoAttempts) {
        if (!s.open(plan.threadMode, plan.infoCycleUs, 0, "engine test")) return fail("open");
        if (s.getInfo(loopback(sink.port()), 0, false) && s.pcmCaps == plan.pcmCaps &&
            s.dsdLsbCaps == plan.dsdLsbCaps && s.dsdMsbCaps == plan.dsdMsbCaps)
            break;
        if (o.infoAttempts == 4) {
            std::ostringstream caps;
            caps << "getInfo never learned the sink's capability sets: " << std::hex << s.pcmCaps << ' '
                 << s.dsdLsbCaps << ' ' << s.dsdMsbCaps;
            return fail(caps.str());
        }
        s.close();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    s.hostPhaseInvert.store(plan.hostInvert ? 1 : 0);
    if (!s.setFormat(plan.hostFormat)) return fail("setFormat");
    o.sinkFormat = s.sinkFormat;
    if (!s.transfer.FixAuto({s.sinkFormat, s.packDataSize, s.packDataCount}, plan.cycleUs, false))
        return fail("FixAuto");
    s.configure(plan.framesPerBlock, plan.blockCount);
    if (!s.connectPrepare()) return fail("connectPrepare");
    if (!s.connect()) return fail("connect");
    s.connectWait();
    o.stateAfterConnect = s.state.load();
    if (o.stateAfterConnect != VELMORA::stateStreaming) return fail("connectWait");
    o.converter = VELMORA::converterName(s.converter);
    return o;
}

StreamOutcome runStream(PatternSource& s, const SinkProcess& sink, const StreamPlan& plan) {
    StreamOutcome o = openStream(s, sink, plan);
    if (!o.failed.empty()) return o;
    s.play();
    // Every pattern block has been taken and used up once one block beyond them was filled
    // with the ring full again.
    const uint32_t enough = s.patternBlocks() + plan.blockCount + 1;
    const auto end = std::chrono::steady_clock::now() + plan.deadline;
    while (s.filled() < enough && s.state.load() == VELMORA::stateStreaming && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    o.patternSent = s.filled() >= enough;
    if (o.patternSent) std::this_thread::sleep_for(plan.tail);
    s.disconnect();
    return o;
}

namespace {

std::vector<uint8_t> timeOrder(const std::vector<uint8_t>& bytes, uint64_t format) {
    if (!VELMORA::StreamFormat(format).isDsd()) return bytes;
    std::vector<uint8_t> out(bytes.size() / 4 * 4);
    for (size_t i = 0; i + 4 <= bytes.size(); i += 4) sink::dsdWordToDsf(format, &bytes[i], &out[i]);
    return out;
}

bool uniform(const uint8_t* p, size_t n) { return std::all_of(p, p + n, [&](uint8_t b) { return b == p[0]; }); }

}  // namespace

PatternMatch matchPattern(const std::vector<uint8_t>& raw, const PatternSource& source, uint64_t hostFormat,
                          uint64_t sinkFormat, bool invert) {
    PatternMatch m;
    const size_t block = source.blockBytes;
    const std::vector<uint8_t> received = timeOrder(raw, sinkFormat);
    std::vector<uint8_t> expected = timeOrder(source.pattern(), hostFormat);
    if (invert)
        for (uint8_t& b : expected) b = static_cast<uint8_t>(~b);
    if (block == 0 || expected.size() < block) {
        m.problem = "no pattern";
        return m;
    }
    auto pos = std::search(received.begin(), received.end(), expected.begin(), expected.begin() + static_cast<long>(block));
    if (pos == received.end()) {
        m.problem = "the first pattern block never arrived (" + std::to_string(received.size()) + " bytes received)";
        return m;
    }
    size_t at = static_cast<size_t>(pos - received.begin());
    while (m.blocksMatched < source.patternBlocks()) {
        if (at + block > received.size()) {
            m.problem = "output ends after " + std::to_string(m.blocksMatched) + " pattern blocks";
            return m;
        }
        const uint8_t* here = &received[at];
        const uint8_t* want = &expected[m.blocksMatched * block];
        if (std::equal(here, here + block, want)) {
            ++m.blocksMatched;
        } else if (!uniform(here, block)) {   // a whole silent block is a ring underrun: passed over
            const size_t off = static_cast<size_t>(std::mismatch(here, here + block, want).first - here);
            m.problem = "pattern block " + std::to_string(m.blocksMatched) + " differs at byte " + std::to_string(off);
            return m;
        }
        at += block;
    }
    return m;
}

}  // namespace engine_test
