#include "SinkSession.h"

#include "Capture.h"
#include "SinkClock.h"
#include "platform/Net.h"

#include <cstdio>
#include <fstream>

namespace sink {

namespace {
constexpr int32_t receiveBufferBytes = 4 << 20;
}

SinkSession::SinkSession(const SinkConfig& config)
    : config_(config), writer_(config.wavPath, config.dsdPath, config.rawPath), responder_(config, 0),
      receiver_(config, writer_, [this](Bytes frame) {
          if (driver_) send(frame, *driver_);
      }) {}

bool SinkSession::start() {
    TERNO::Address listen{};
    if (!listen.parse(config_.listenAddress)) {
        error_ = "not an address: " + config_.listenAddress;
        return false;
    }
    TERNO::Address at = listen;
    at.setPortNumber(config_.controlPort);
    if (!socket_.open(TERNO::Socket::Udp6) || !socket_.bind(at)) {
        error_ = "cannot listen on [" + config_.listenAddress + "]:" + std::to_string(config_.controlPort);
        return false;
    }
    socket_.receiveSize = 65536;
    // Room for a few tens of milliseconds of the largest streams, so that a sink descheduled
    // for a moment loses nothing in the kernel; best effort (Linux caps it at rmem_max).
    platform::setNetOption(socket_.handle, platform::NetOption::ReceiveBuffer, receiveBufferBytes);
    port_ = at.portNumber();
    responder_.setDataPort(port_);   // data arrives on the control port
    if (config_.faults.foreignAnswers != "off" || config_.faults.floodRate != 0) {
        TERNO::Address other = listen;
        other.setPortNumber(0);
        if (!foreign_.open(TERNO::Socket::Udp6) || !foreign_.bind(other)) {
            error_ = "cannot open the second port for foreign answers";
            return false;
        }
    }
    if (config_.logPort != 0 && !remoteLog_.start(listen, config_.logPort) && !config_.quiet)
        std::fprintf(stderr, "velmora-sink: log port %u unavailable, no remote log\n", config_.logPort);
    if (!config_.portFile.empty()) {
        const std::string temp = config_.portFile + ".tmp";
        {
            std::ofstream f(temp);
            f << port_ << '\n';
        }
        std::rename(temp.c_str(), config_.portFile.c_str());   // readers see all or nothing
    }
    return true;
}

bool SinkSession::silent() const { return nowUs() < silentUntilUs_.load(std::memory_order_relaxed); }

bool SinkSession::faultsApply() const {
    return config_.faults.faultStreams == 0 || report_.connects <= config_.faults.faultStreams;
}

void SinkSession::send(std::span<const uint8_t> frame, const TERNO::Address& to) {
    if (silent()) return;
    capture("sync", false, frame);
    socket_.sendTo(frame.data(), static_cast<uint32_t>(frame.size()), to, true);
}

void SinkSession::say(const std::string& text) {
    if (!config_.quiet) std::fprintf(stderr, "velmora-sink: %s\n", text.c_str());
    remoteLog_.line(text);
}

void SinkSession::onControl(const std::vector<uint8_t>& bytes, const TERNO::Address& from, uint64_t nowUs) {
    const ControlResult r = responder_.handle(bytes);
    if (r.answer && !silent()) {
        const std::string& mode = config_.faults.foreignAnswers;
        if (mode == "decoy") {
            const std::vector<uint8_t> forged = ControlResponder::forged(*r.answer);
            foreign_.sendTo(forged.data(), static_cast<uint32_t>(forged.size()), from, true);
        }
        if (mode == "only") foreign_.sendTo(r.answer->data(), static_cast<uint32_t>(r.answer->size()), from, true);
        else send(*r.answer, from);
    }
    // A CONNECT_REQ from another address, or after the stream ended, is a driver that lost
    // its stream and came back.
    if (r.connected && (!streamStarted_ || (driver_ && (!(from == *driver_) || endingSince_) && nextStream()))) {
        beginStream(from, nowUs);
    } else if (command(bytes) == CONNECT_REQ && !r.connected) {
        report_.format = readU64(bytes, 8);
        say("connect refused " + describeFormat(report_.format));
    }
    if (r.disconnected && driver_ && from == *driver_) {
        report_.closingHandshake = true;
        report_.endReason = "disconnect";
        if (!endingSince_) endingSince_ = nowUs;
        say("disconnect");
    }
}

void SinkSession::beginStream(const TERNO::Address& from, uint64_t nowUs) {
    driver_ = from;
    streamStarted_ = true;
    ++report_.connects;
    report_.format = responder_.format();
    report_.formatAccepted = true;
    report_.clientName = responder_.clientName();
    report_.latencyGranted = responder_.grantedLatency();
    if (!writer_.begin(responder_.format())) say("output: " + writer_.error());
    receiver_.begin(responder_.format(), nowUs);
    lastDataUs_ = nowUs;
    floodFromUs_ = nowUs;
    floodRandom_ = config_.faults.seed;
    say("connect " + describeFormat(responder_.format()) + " from " + responder_.clientName());
}

bool SinkSession::nextStream() {
    if (config_.streams != 0 && report_.connects >= config_.streams) return false;
    say("stream over (" + report_.endReason + "), ready for the next");
    driver_.reset();
    streamStarted_ = false;
    closedBySink_ = false;
    endingSince_.reset();
    silenceBegun_ = false;
    return true;
}

void SinkSession::onDatagram(const std::vector<uint8_t>& bytes, const TERNO::Address& from, uint64_t nowUs) {
    capture("sync", true, bytes);
    if (!isFrame(bytes)) {
        ++report_.malformed;
        return;
    }
    if (command(bytes) != DATA) {
        onControl(bytes, from, nowUs);
        return;
    }
    if (!driver_ || !(from == *driver_) || closedBySink_) return;
    lastDataUs_ = nowUs;
    receiver_.onData(bytes, nowUs);
    const FaultConfig& f = config_.faults;
    const uint64_t packets = receiver_.streamPackets();
    if (faultsApply() && f.stopAnsweringAfter != 0 && packets >= f.stopAnsweringAfter && !silenceBegun_)
        beginSilence(nowUs);
    if (faultsApply() && f.closeAfter != 0 && packets >= f.closeAfter) closeByTheSink(nowUs);
}

// Datagrams a stream must survive, in turn: garbage, a resend request and a stream end from
// another port; a frame whose length word claims more than arrived, a truncated header and an
// unknown command from the stream's own port.
void SinkSession::flood(uint64_t nowUs) {
    const uint32_t rate = config_.faults.floodRate;
    if (rate == 0 || !driver_ || endingSince_) return;
    const uint64_t due = (nowUs - floodFromUs_) * rate / 1000000;
    for (; report_.floodSent < due; ++report_.floodSent) {
        floodRandom_ = floodRandom_ * 6364136223846793005ull + 1442695040888963407ull;
        const uint16_t r = static_cast<uint16_t>(floodRandom_ >> 48);
        const uint64_t kind = report_.floodSent % 6;
        const Header h(kind == 2 ? DSICONNECT_ANS : kind == 5 ? 99 : STATUS, kResendRequest, 0, r);
        std::vector<uint8_t> d(h.bytes, h.bytes + kHeaderBytes);
        if (kind == 0) d.assign(1 + r % 300, static_cast<uint8_t>(r));   // garbage
        if (kind == 3) writeU16(d.data() + 2, 0xFFF8);                    // claims 65,528 bytes
        if (kind == 4) d.resize(8);                                       // a truncated header
        TERNO::Socket& from = kind < 3 ? foreign_ : socket_;
        from.sendTo(d.data(), static_cast<uint32_t>(d.size()), *driver_, true);
    }
}

void SinkSession::beginSilence(uint64_t nowUs) {
    silenceBegun_ = true;
    const uint32_t ms = config_.faults.silentMs;
    silentUntilUs_.store(ms != 0 ? nowUs + uint64_t{ms} * 1000 : UINT64_MAX, std::memory_order_relaxed);
    say("answers stop");
}

void SinkSession::closeByTheSink(uint64_t nowUs) {
    if (!driver_ || closedBySink_) return;
    const Header close(DSICONNECT_ANS, 0);
    send(close.view(), *driver_);
    closedBySink_ = true;
    report_.endReason = "closed";
    endingSince_ = nowUs;
    say("stream closed by the sink");
}

void SinkSession::run(const std::atomic<bool>& stopRequested, FaultTriggers& triggers) {
    const uint64_t startUs = nowUs();
    const uint64_t limitUs = static_cast<uint64_t>(config_.timeLimitS * 1e6);
    const uint64_t idleUs = static_cast<uint64_t>(config_.idleTimeoutS * 1e6);
    std::vector<uint8_t> bytes;
    bytes.reserve(65536);
    say("listening on port " + std::to_string(port_));
    for (;;) {
        uint64_t now = nowUs();
        if (stopRequested.load(std::memory_order_relaxed)) {
            if (report_.endReason.empty()) report_.endReason = "signal";
            break;
        }
        if (now - startUs >= limitUs) {
            if (report_.endReason.empty()) report_.endReason = "time-limit";
            break;
        }
        if (endingSince_ && now - *endingSince_ >= uint64_t{config_.lingerMs} * 1000) {
            if (!nextStream()) break;
            continue;
        }
        if (streamStarted_ && !endingSince_ && now - lastDataUs_ >= idleUs) {
            report_.endReason = "idle";
            if (!nextStream()) break;
            continue;
        }
        if (triggers.silence.exchange(false)) beginSilence(now);
        if (triggers.close.exchange(false)) closeByTheSink(now);
        const uint64_t waitUs = receiver_.nextDueUs(now, 20000);
        const TERNO::WaitResult w = socket_.waitReadable(static_cast<uint32_t>(waitUs));
        if (w == TERNO::WaitResult::Error) {
            report_.endReason = "socket error";
            break;
        }
        // Take everything that is waiting before doing timed work.
        for (int n = 0; n < 256 && (n == 0 ? w : socket_.poll()) == TERNO::WaitResult::Ready; ++n) {
            TERNO::Address from{};
            socket_.receiveFrom(bytes, from);
            now = nowUs();
            if (!bytes.empty()) onDatagram(bytes, from, now);
        }
        receiver_.poll(nowUs());
        flood(nowUs());
    }
    receiver_.finish(report_);
    writer_.end();
    const ControlResponder& r = responder_;
    report_.profileMin = config_.profileMin;
    report_.profileMax = config_.profileMax;
    report_.profileFlags = config_.profileFlags;
    report_.polarityInverted = config_.invertPolarity;
    if (report_.clientName.empty()) report_.clientName = r.clientName();
    remoteLog_.stop();
    if (!config_.reportPath.empty() && !writeReport(config_.reportPath, report_))
        std::fprintf(stderr, "velmora-sink: cannot write %s\n", config_.reportPath.c_str());
}

}  // namespace sink
