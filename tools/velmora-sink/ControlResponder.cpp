#include "ControlResponder.h"

#include "sync/StreamFormat.h"

#include <algorithm>

namespace sink {

using VELMORA::StreamFormat;

namespace {
constexpr uint64_t kDsdLsbSet = 0x100000;
constexpr uint64_t kDsdMsbSet = 0x200000;
}  // namespace

ControlResponder::ControlResponder(const SinkConfig& config, uint16_t dataPort)
    : config_(config), dataPort_(dataPort), granted_(config.latency) {}

uint64_t ControlResponder::formatSummary() const {
    uint64_t s = config_.pcmCaps & StreamFormat::pcmTypeMask;
    s |= (config_.dsdLsbCaps | config_.dsdMsbCaps) & StreamFormat::dsdTypeMask;
    if (config_.dsdLsbCaps != 0) s |= kDsdLsbSet;
    if (config_.dsdMsbCaps != 0) s |= kDsdMsbSet;
    return s;
}

uint64_t ControlResponder::formatSet(uint64_t selector) const {
    if (selector == 0) return formatSummary();
    if (selector == kDsdLsbSet) return config_.dsdLsbCaps;
    if (selector == kDsdMsbSet) return config_.dsdMsbCaps;
    if ((selector & StreamFormat::pcmTypeMask) != 0 && (selector & ~StreamFormat::pcmTypeMask) == 0) return config_.pcmCaps;
    return 0;
}

bool ControlResponder::accepts(uint64_t format) const {
    const StreamFormat f(format);
    return f.isValid() && VELMORA::FormatCaps{config_.pcmCaps, config_.dsdLsbCaps, config_.dsdMsbCaps}.supports(f);
}

ControlResult ControlResponder::handle(Bytes request) {
    ControlResult r;
    const uint16_t cmd = command(request);
    const uint16_t p0 = readU16(request, 8);
    switch (cmd) {
    case FORMAT_REQ:
        r.answer = bytes(Header::wide(FORMAT_ANS, kHasData, formatSet(readU64(request, 8))));
        break;
    case NOPBREAK_REQ:
        r.answer = bytes(Header(FORMAT_ANS, 0));
        break;
    case LATENCY_REQ:
        granted_ = p0 != 0 ? std::min(p0, config_.latencyMax) : config_.latency;
        r.answer = bytes(Header(LATENCY_ANS, kHasData, granted_, config_.hwLatency));
        break;
    case DATASIZE_REQ:
        r.answer = bytes(Header(DATASIZE_ANS, kHasData, config_.mtu, config_.maxBurst));
        break;
    case PROFILE_REQ:
        r.answer = bytes(Header(PROFILE_ANS, kHasData, config_.profileMin, config_.profileMax, config_.profileFlags));
        break;
    case CONNECTPRE_REQ:
        r.answer = bytes(Header(CONNECTPRE_ANS, kHasData, 0, granted_));
        break;
    case NAME_REQ: {
        const Bytes name = payload(request);
        clientName_.assign(name.begin(), name.end());
        r.answer = bytes(Header(NAME_ANS, 0));
        break;
    }
    case CONNECT_REQ: {
        const uint64_t f = readU64(request, 8);
        if (!accepts(f)) {   // an answer without data: the driver sees no stream
            r.answer = bytes(Header(CONNECT_ANS, 0));
            break;
        }
        format_ = f;
        const uint16_t polarity = config_.invertPolarity ? kPolarityInvert : 0;
        r.answer = bytes(Header(CONNECT_ANS, static_cast<uint16_t>(kHasData | polarity), dataPort_));
        r.connected = true;
        break;
    }
    case DSICONNECT_REQ:
        r.answer = bytes(Header(DSICONNECT_ANS, 0));
        r.disconnected = true;
        break;
    case LOG_REQ:
        r.answer = bytes(Header(LOG_TEXT, 0));   // acknowledges; the lines follow with marker 2
        r.logRequest = p0 != 0;
        break;
    default:
        break;
    }
    return r;
}

std::vector<uint8_t> ControlResponder::logText(const std::string& line) {
    return frameWithText(Header(LOG_TEXT, kHasData, 2), line);
}

std::vector<uint8_t> ControlResponder::forged(const std::vector<uint8_t>& answer) {
    std::vector<uint8_t> f = answer;
    for (size_t i = 8; i < kHeaderBytes && i < f.size(); ++i) f[i] = static_cast<uint8_t>(~f[i]);
    return f;
}

}  // namespace sink
