// The paced stream. Every cycle the worker sends a burst of numbered data packets
// to the sink's data port; between bursts it waits on the control socket for the
// sink's status messages: resend requests (served from the packet ring) and clock
// feedback (which trims the cycle time or the frames per packet).
//
// Everything the loop needs is reserved before the stream opens; the loop itself
// allocates nothing.
#include "sync/SyncWorker.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "log/LogLine.h"
#include "platform/Clock.h"
#include "platform/Thread.h"
#include "sync/Sync.h"
#include "sync/SyncFeedback.h"
#include "sync/SyncPacing.h"
#include "sync/SyncWire.h"
#include "sync/ThreadMode.h"
#include "terno/Message.h"

namespace VELMORA {

namespace {

constexpr uint32_t connectTimeoutUs = 10000000;
constexpr uint32_t disconnectWaitUs = 500000;
constexpr int disconnectAttempts = 4;
constexpr uint32_t receiveCapacity = 4096;
constexpr uint32_t maxEndResendRounds = 16;   // resend rounds a sink may ask for at the end
constexpr uint32_t countersPeriodUs = 1000000;

constexpr uint16_t flagInfoRequest = 0x20;
constexpr uint16_t flagBurstEnd = 0x40;
constexpr uint16_t flagResendRequest = 0x08;

// End phases of a stream that is being finished.
enum EndPhase { running = 0, finalPrepared = 1, finalSent = 2, infoRequested = 3, sinkAnswered = 4 };

bool sameEndpoint(const TERNO::Address& a, const TERNO::Address& b) {
    return a.bytes == b.bytes && a.port == b.port && a.scope == b.scope;
}

bool sinkAsksInversion(uint16_t flags) { return (flags & 0x180) == 0x100; }

class StreamingWorker {
public:
    explicit StreamingWorker(Sync& session) : s_(session), socket_(session.control) {}

    StreamEnd run() {
        if (!prepare()) return StreamEnd::workerError;
        socket_.preparePacedWaits();
        const char* chosenWait = socket_.waitMethod();
        LogLine(6) << "wth wait " << chosenWait;
        if (openStream()) {
            startLoop();
            loop();
            if (counting_) logCounters(platform::nowMicroseconds());  // the totals of the whole stream
        }
        // The wait may have given up what it chose (a timer that proved coarse on Windows).
        if (std::strcmp(socket_.waitMethod(), chosenWait) != 0) LogLine(6) << "wth wait " << socket_.waitMethod();
        socket_.releasePacedWaits();
        return end_;
    }

private:
    struct Slot {
        uint8_t* bytes = nullptr;
        uint32_t payload = 0;   // payload bytes
        uint32_t datagram = 0;  // bytes sent for a new packet
        bool final = false;
    };

    // --- start ---

    bool prepare() {
        const uint32_t valid = s_.transfer.validCount();
        const ProfileEntry& first = s_.transfer.entry(0);
        if (valid == 0 || first.cycle == 0 || first.count == 0) {
            LogLine(3) << "wth profile none";
            return false;
        }
        mode_ = s_.threadMode;
        policy_ = BurstWaitPolicy(mode_);
        frameBytes_ = s_.sinkFormat.frameBytes();
        infoTimeout_ = infoTimeoutUs(s_.infoCycle);
        feedback_ = FeedbackFilter(feedbackDepth(mode_));

        // Each slot holds the largest packet any valid profile makes, resent ones
        // included (two bytes more).
        uint32_t largest = s_.packDataSize;
        for (uint32_t i = 0; i < valid; ++i) {
            const ProfileEntry& e = s_.transfer.entry(i);
            largest = std::max({largest, e.capacity, e.fixedPayload});
        }
        slotBytes_ = frameBytesFor(largest + 2);
        const uint32_t ringSize = packetRingSize(first.cycle, first.count, slotBytes_);
        ringMask_ = ringSize - 1;
        ring_.assign(static_cast<size_t>(ringSize) * slotBytes_, 0);
        slots_.resize(ringSize);
        for (uint32_t i = 0; i < ringSize; ++i) slots_[i].bytes = ring_.data() + static_cast<size_t>(i) * slotBytes_;
        receive_.assign(receiveCapacity, 0);

        profileIndex_ = 0;
        if (s_.lowCpu && valid > 1) {
            profileIndex_ = valid - 1;
            LogLine(6) << "low cpu change profile " << profileIndex_;
        }
        useProfile(profileIndex_);
        return true;
    }

    void useProfile(uint32_t index) {
        profileIndex_ = index;
        profile_ = s_.transfer.entry(index);
        cycleTime_ = profile_.cycle;
        frames_ = profile_.framesPerPacket;
    }

    // CONNECT_REQ: the sink accepts the stream and names its data port.
    bool openStream() {
        std::vector<uint8_t> answer;
        TERNO::MessageHeader request(command::connectReq, s_.sinkFormat.value());
        // close and cancelConnect call the exchange off by leaving state 1.
        const ExchangeWatch watch{&s_.state, stateConnecting};
        if (!Sync::sendAck(socket_, s_.target, request.frame, request.frameSize, command::connectAns, answer,
                           connectTimeoutUs, watch)) {
            if (watch.calledOff()) {
                LogLine(6) << "wth CR cancel";
                return false;
            }
            LogLine(3) << "wth CR send err";
            return ended(StreamEnd::networkError);
        }
        if (answer.empty()) {
            LogLine(6) << "wth CR ack none";
            return ended(StreamEnd::sinkRefused);
        }
        sinkInvert_ = sinkAsksInversion(wire::flags(answer.data()));
        hostInvert_ = s_.hostPhaseInvert.load(std::memory_order_relaxed) != 0;
        s_.applyPolarity(hostInvert_, sinkInvert_);
        destination_ = s_.target;
        destination_.port = TERNO::Address::toNetworkOrder(wire::u16(answer.data(), 8));
        if (socket_.interfaceIndex != 0) destination_.scope = static_cast<uint16_t>(socket_.interfaceIndex);
        socket_.address = destination_;
        // Only a session still connecting opens: close or cancelConnect may have ended
        // it meanwhile. After the swap only a notification follows; a second store of 2
        // would overwrite a disconnect (3) or close (0) made in between.
        uint32_t expected = stateConnecting;
        const bool opened =
            s_.state.compare_exchange_strong(expected, stateStreaming, std::memory_order_relaxed);
        s_.notifyStateChanged();
        return opened;
    }

    void startLoop() {
        // The first packets of the profile go out as silence.
        const uint8_t silence = s_.sinkFormat.silenceByte() ^ (sinkInvert_ ? 0xFF : 0x00);
        const uint32_t framesFirst = profile_.framesPerPacket >> 14;
        const uint32_t firstPayload =
            std::min(framesFirst * frameBytes_, slotBytes_ - 16 - 2);
        for (uint32_t seq = 0; seq < profile_.count; ++seq) {
            Slot& slot = slots_[seq & ringMask_];
            writeHeader(slot, static_cast<uint16_t>(seq), firstPayload);
            std::memset(slot.bytes + 16, silence, firstPayload);
        }
        nextSeq_ = 0;
        prepareSkips_ = profile_.count - 1u;
        const uint32_t now = platform::nowMicroseconds();
        pacer_.start(now, cycleTime_);
        lastReceive_ = lastInfo_ = lastCounters_ = now;
        pendingResends_ = 0;
        accumulator_.reset();
        LogLine(6) << "redy to play loop start" << s_.playing.load(std::memory_order_relaxed);
    }

    // --- the loop ---

    bool streaming() const {
        const uint32_t st = s_.state.load(std::memory_order_relaxed);
        return st == stateStreaming || st == stateDisconnecting;
    }

    void loop() {
        bool readable = false;   // the last wait found the socket readable
        uint32_t lastWait = 0;   // length of the wait just before a burst
        while (streaming()) {
            if (endPhase_ == sinkAnswered) {
                closeStream();
                return;
            }
            uint32_t now = platform::nowMicroseconds();
            if (pacer_.due(now)) {
                const uint32_t lateness =
                    pacer_.advance(now, cycleTime_, !(mode_ & threadmode::noFastFeedback));
                if (lateness != 0) {
                    count(counter::lateBursts);
                    if (counting_) s_.counters.raise(counter::maxLateUs, lateness);
                    LogLine(6) << "over time " << lateness << " " << lastWait << " " << pacer_.debt() << " "
                               << pacer_.overCount();
                }
                if (!burst(now, readable)) return;
                readable = false;
                lastWait = 0;
                continue;
            }
            const BurstWaitPolicy::Step step = policy_.next(pacer_.remaining(now));
            if (step.yield) platform::yieldProcessor();
            if (step.spin) continue;
            now = platform::nowMicroseconds();
            if (pacer_.due(now)) continue;
            const uint32_t left = pacer_.remaining(now);
            if (socket_.waitSeesPending(left)) pollOwed_ = false;
            const TERNO::WaitResult waited = socket_.waitReadable(left);
            if (waited == TERNO::WaitResult::Error) {
                LogLine(3) << "wth udp wait error";
                ended(StreamEnd::networkError);
                return;
            }
            const uint32_t after = platform::nowMicroseconds();
            lastWait += after - now;
            readable = waited == TERNO::WaitResult::Ready;
            if (pacer_.due(after)) continue;  // read after the burst
            if (!receiveCheck(after, readable)) return;
            readable = false;
        }
    }

    bool burst(uint32_t now, bool readableBefore) {
        const uint32_t packets = pacer_.burstSize(cycleTime_, profile_.count, catchUpLimit());
        const bool switchBlocking = burstSwitchesBlocking(mode_, packets, profile_.count);
        if (switchBlocking) socket_.setBlocking(false);
        const bool infoDue = now - lastInfo_ >= s_.infoCycle;
        streamCalled_ = false;
        counting_ = SessionCounters::wanted();

        for (uint32_t i = 0; i < packets; ++i) {
            const bool last = i + 1 == packets;
            if (last && switchBlocking) socket_.setBlocking(true);
            if (pendingResends_ > 0) {
                Slot& slot = slots_[resendSequence(nextSeq_, pendingResends_) & ringMask_];
                const uint16_t flags = static_cast<uint16_t>((wire::flags(slot.bytes) & ~(flagInfoRequest | flagBurstEnd)) |
                                                             (last ? flagBurstEnd : 0));
                wire::putU16(slot.bytes, 6, flags);
                if (!send(slot.bytes, frameBytesFor(slot.payload + 2))) return false;
                count(counter::packetsResent);
                --pendingResends_;
                continue;
            }
            Slot& slot = slots_[nextSeq_ & ringMask_];
            uint16_t flags = 0;
            if (last) {
                flags = flagBurstEnd;
                if (infoDue) {
                    flags |= flagInfoRequest;
                    LogLine(6) << "Request Info " << now;
                    count(counter::infoRequests);
                    lastInfo_ = now;
                    if (endPhase_ == finalSent) endPhase_ = infoRequested;
                }
            }
            wire::putU16(slot.bytes, 6, flags);
            if (!send(slot.bytes, slot.datagram)) return false;
            count(counter::packetsSent);
            if (slot.final) endPhase_ = std::max(endPhase_, static_cast<int>(finalSent));
            ++nextSeq_;
            if (packetsSent_ < slots_.size()) ++packetsSent_;
            if (prepareSkips_ > 0) {
                --prepareSkips_;
            } else if (!preparePacket(slots_[nextSeq_ & ringMask_])) {
                return false;
            }
        }
        policy_.burstSent();
        if (streamCalled_) s_.streamSent();
        if (counting_ && now - lastCounters_ >= countersPeriodUs) logCounters(now);

        const uint32_t after = platform::nowMicroseconds();
        bool readable = readableBefore;
        // A wait that follows at once and looks at the socket as it starts reads what came
        // during the burst just as soon: the poll is left to it, but never twice in a row
        // without such a wait in between.
        const bool leftToWait = !readable && !pollOwed_ && waitFollowsAndSeesPending(after);
        if (!readable && !leftToWait) {
            const TERNO::WaitResult polled = socket_.poll();
            if (polled == TERNO::WaitResult::Error) {
                LogLine(3) << "wth udp wait2 error";
                return ended(StreamEnd::networkError);
            }
            readable = polled == TERNO::WaitResult::Ready;
        }
        pollOwed_ = leftToWait;
        return receiveCheck(after, readable);
    }

    bool waitFollowsAndSeesPending(uint32_t now) const {
        const uint32_t left = pacer_.remaining(now);
        return left > 0 && !policy_.spins(left) && socket_.waitSeesPending(left);
    }

    // The most packets one burst may carry: the sink's packet count, and while playing no more
    // than the producer has ready, so that catching up never hands out silence in place of
    // audio the host has not delivered yet (each packet sent prepares the next, taking at most
    // nextPayloadAtMost bytes).
    uint32_t catchUpLimit() const {
        const bool fromRing = s_.playing.load(std::memory_order_relaxed) == 1 && endPhase_ == running;
        if (!fromRing) return s_.packDataCount;   // silence: always at hand
        const uint32_t perPacket = std::max(nextPayloadAtMost(), 1u);
        const uint64_t packets = blockLeft_ / perPacket + s_.bytesReady() / perPacket;
        return static_cast<uint32_t>(std::min<uint64_t>(packets, s_.packDataCount));
    }

    // The most bytes the next new packet takes: the frames per packet rounded up.
    uint32_t nextPayloadAtMost() const { return payloadOf((frames_ + 0x3FFF) >> 14); }

    // Payload of a new packet of `frames` whole frames (the fixed payload where the profile has
    // one), within its slot.
    uint32_t payloadOf(uint32_t frames) const {
        const uint32_t payload = payloadBytes(profile_.fixedPayload, profile_.fixedPayload ? 0 : frames, frameBytes_,
                                              s_.packDataSize);
        return std::min(payload, slotBytes_ - 16 - 2);
    }

    bool send(const uint8_t* bytes, uint32_t size) {
        if (socket_.sendTo(bytes, size, destination_, true)) return true;
        LogLine(3) << "wth udp send error " << socket_.lastError;
        return ended(StreamEnd::networkError);
    }

    // Header of a new packet in its slot, and the sizes it goes out with.
    void writeHeader(Slot& slot, uint16_t seq, uint32_t payload) {
        uint8_t* p = slot.bytes;
        const uint32_t total = frameBytesFor(payload);
        const uint32_t pad = (8 - payload % 8) % 8;
        wire::putU16(p, 0, 100);
        wire::putU16(p, 2, static_cast<uint16_t>(total | pad));
        wire::putU16(p, 4, command::data);
        wire::putU16(p, 6, 0);
        wire::putU16(p, 8, seq);
        std::memset(p + 10, 0, 6);
        // Pad and any spare room of a fixed-size datagram go out as zeros.
        std::memset(p + 16 + payload, 0, slotBytes_ - 16 - payload);
        slot.payload = payload;
        slot.final = false;
        const uint32_t sized = profile_.mode == ProfileEntry::modeFixFixedSize
                                   ? frameBytesFor(std::max(profile_.capacity, payload))
                                   : total;
        slot.datagram = std::min(sized, slotBytes_);
    }

    bool preparePacket(Slot& slot) {
        const uint32_t payload = payloadOf(profile_.fixedPayload ? 0 : accumulator_.next(frames_));
        writeHeader(slot, nextSeq_, payload);
        return fillPayload(slot, slot.bytes + 16, payload);
    }

    uint8_t silenceByte() const {
        return s_.sinkFormat.silenceByte() ^ ((hostInvert_ != sinkInvert_) ? 0xFF : 0x00);
    }

    bool fillPayload(Slot& slot, uint8_t* destination, uint32_t bytes) {
        while (bytes > 0) {
            if (blockLeft_ == 0) {
                const bool playing = s_.playing.load(std::memory_order_relaxed) == 1;
                if (playing && endPhase_ == running) {
                    streamCalled_ = true;
                    StreamBlock block;
                    if (!s_.getNewStream(block)) {
                        if (s_.state.load(std::memory_order_relaxed) != stateDisconnecting) {
                            LogLine(4) << "buffer timeout ";
                            return ended(StreamEnd::bufferTimeout);
                        }
                        LogLine(6) << "buffer Final ";
                        endPhase_ = finalPrepared;
                        std::memset(destination, silenceByte(), bytes);
                        slot.final = true;
                        return true;
                    }
                    if (block.data == nullptr || block.size == 0) {
                        // Nothing handed out: silence keeps the pace.
                        std::memset(destination, silenceByte(), bytes);
                        return true;
                    }
                    block_ = block.data;
                    blockLeft_ = block.size;
                } else {
                    std::memset(destination, silenceByte(), bytes);
                    if (s_.state.load(std::memory_order_relaxed) == stateDisconnecting && endPhase_ == running) {
                        LogLine(6) << "buffer disconnect ";
                        endPhase_ = finalPrepared;
                        slot.final = true;
                    }
                    return true;
                }
            }
            const size_t chunk = std::min<size_t>(blockLeft_, bytes);
            s_.converter(destination, block_, chunk);
            destination += chunk;
            block_ += chunk;
            blockLeft_ -= chunk;
            bytes -= static_cast<uint32_t>(chunk);
        }
        return true;
    }

    // --- what the sink sends ---

    bool receiveCheck(uint32_t now, bool readable) {
        if (now - lastReceive_ >= infoTimeout_) {
            LogLine(6) << "   timeout " << (now - lastReceive_);
            return ended(StreamEnd::sinkSilent);
        }
        return readable ? receiveOne() : true;
    }

    bool receiveOne() {
        uint32_t length = 0;
        TERNO::Address from{};
        if (!socket_.receiveFrom(receive_.data(), static_cast<uint32_t>(receive_.size()), length, from)) {
            LogLine(6) << "udp rcv error ";
            return ended(StreamEnd::networkError);
        }
        const uint8_t* d = receive_.data();
        if (length == 0 || !TERNO::Message::isValidFrame(d, length) || !sameEndpoint(from, destination_))
            return true;
        lastReceive_ = platform::nowMicroseconds();
        const uint16_t cmd = wire::command(d);
        if (cmd == command::disconnectAns) {
            LogLine(6) << "DSICONNECT_ANS ";
            return ended(StreamEnd::sinkClosed);
        }
        if (cmd != command::status) return true;
        const uint16_t flags = wire::flags(d);
        if (endPhase_ == infoRequested) answerAfterFinal(flags);
        if (flags & flagResendRequest) return resendRequest(wire::u16(d, 10), wire::u16(d, 12));
        clockFeedback(flags, wire::u16(d, 8), wire::u16(d, 10), wire::u16(d, 12));
        return true;
    }

    // The sink's answer to the info request that followed the final packet. Any answer
    // ends the stream, except one that asks for missing packets: those are resent
    // first, and the info request goes out again on the next new packet, until the
    // sink answers without asking (or has asked maxEndResendRounds times).
    void answerAfterFinal(uint16_t flags) {
        if (!(flags & flagResendRequest) || endResendRounds_ >= maxEndResendRounds) {
            endPhase_ = sinkAnswered;
            return;
        }
        ++endResendRounds_;
        endPhase_ = finalSent;
        lastInfo_ = platform::nowMicroseconds() - s_.infoCycle;   // due again at once
    }

    bool resendRequest(uint16_t firstMissing, uint16_t second) {
        const uint32_t missing = missingPackets(nextSeq_, firstMissing);
        if (missing >= slots_.size()) {
            LogLine(6) << "   cout error " << firstMissing << " " << second << " " << missing;
            return ended(StreamEnd::resendOutOfRange);
        }
        // Early in a stream a request may reach back before the first packet: those
        // slots hold nothing that was ever sent.
        if (missing == 0 || missing > packetsSent_) {
            LogLine(6) << "   cout unsent " << firstMissing << " " << second << " " << missing;
            return true;
        }
        if (!(mode_ & threadmode::noFastFeedback))
            pacer_.addResendDebt(missing, pendingResends_, cycleTime_, profile_.count);
        pendingResends_ = missing;
        count(counter::resendRequests);
        LogLine(6) << "   cout resend " << firstMissing << " " << second << " " << missing;
        return true;
    }

    void clockFeedback(uint16_t flags, uint16_t a, uint16_t b, uint16_t c) {
        const FeedbackSample sample = decodeFeedback(a, b, c);
        feedback_.push(sample.value);
        count(counter::infoAnswers);

        const uint32_t last = s_.transfer.validCount() - 1;
        if (pacer_.overCount() >= 200 && s_.transfer.validCount() > 1 && profileIndex_ != last) {
            LogLine(6) << "over time change profile " << profileIndex_ << " to " << last;
            useProfile(last);
        }

        if (profile_.fixedPayload != 0) {
            cycleTime_ = trimmedCycle(profile_.cycle, feedback_.corr());
        } else {
            frames_ = trimmedFrames(profile_.framesPerPacket, feedback_.corr());
        }

        const bool sinkInvert = sinkAsksInversion(flags);
        const bool hostInvert = s_.hostPhaseInvert.load(std::memory_order_relaxed) != 0;
        if (sinkInvert != sinkInvert_ || hostInvert != hostInvert_) {
            sinkInvert_ = sinkInvert;
            hostInvert_ = hostInvert;
            s_.applyPolarity(hostInvert_, sinkInvert_);
        }

        LogLine line(6);
        if (line.active()) {
            line << "info rcv " << sample.kind << " " << sample.value / 16384.0 << " "
                 << feedback_.average() / 16384.0 << " " << feedback_.corr() / 16384.0;
            if (profile_.fixedPayload != 0) {
                line << " cy=" << cycleTime_;
            } else {
                line << " fs=" << static_cast<double>(frames_) * profile_.count / 16384.0;
            }
        }
    }

    // --- counters ---

    void count(counter::Id id) {
        if (counting_) s_.counters.add(id);
    }

    // The current values join the counts, and the line goes out.
    void logCounters(uint32_t now) {
        SessionCounters& c = s_.counters;
        c.set(counter::debtUs, pacer_.debt());
        c.set(counter::overload, pacer_.overCount());
        c.set(counter::profile, profileIndex_);
        c.set(counter::correctionPpm, correctionPpm());
        c.log();
        lastCounters_ = now;
    }

    // How far the feedback moved the stream from the profile's nominal rate: a fixed payload
    // runs faster as its cycle shortens, a fixed cycle as its packets carry more frames.
    int64_t correctionPpm() const {
        if (profile_.fixedPayload != 0)
            return cycleTime_ == 0 ? 0
                                   : (int64_t{profile_.cycle} - cycleTime_) * 1000000 / int64_t{cycleTime_};
        return profile_.framesPerPacket == 0
                   ? 0
                   : (int64_t{frames_} - profile_.framesPerPacket) * 1000000 / int64_t{profile_.framesPerPacket};
    }

    // --- the end ---

    // The stream ends by itself for `why`; false, for the caller to return.
    bool ended(StreamEnd why) {
        end_ = why;
        return false;
    }

    // DSICONNECT_REQ to the data port until the sink confirms, four attempts.
    void closeStream() {
        TERNO::MessageHeader request(command::disconnectReq);
        for (int attempt = 0; attempt < disconnectAttempts; ++attempt) {
            if (!socket_.sendTo(request.frame, static_cast<uint32_t>(request.frameSize), destination_, true)) break;
            const TERNO::WaitResult waited = socket_.waitReadable(disconnectWaitUs);
            if (waited == TERNO::WaitResult::Error) break;
            if (waited == TERNO::WaitResult::Timeout) continue;
            uint32_t length = 0;
            TERNO::Address from{};
            if (!socket_.receiveFrom(receive_.data(), static_cast<uint32_t>(receive_.size()), length, from)) break;
            if (length != 0 && TERNO::Message::isValidFrame(receive_.data(), length) &&
                sameEndpoint(from, destination_) && wire::command(receive_.data()) == command::disconnectAns)
                return;
        }
        LogLine(6) << "DSICONNECT_REQ ERROR ";
    }

    Sync& s_;
    TERNO::Socket& socket_;
    TERNO::Address destination_{};
    uint32_t mode_ = 0;
    BurstWaitPolicy policy_{0};

    std::vector<uint8_t> ring_;
    std::vector<Slot> slots_;
    std::vector<uint8_t> receive_;
    uint32_t slotBytes_ = 0;
    uint32_t ringMask_ = 0;
    uint32_t frameBytes_ = 0;

    uint32_t profileIndex_ = 0;
    ProfileEntry profile_{};
    uint32_t cycleTime_ = 0;
    uint32_t frames_ = 0;

    Pacer pacer_;
    FrameAccumulator accumulator_;
    FeedbackFilter feedback_{1};
    uint32_t infoTimeout_ = 0;
    uint32_t lastInfo_ = 0;
    uint32_t lastReceive_ = 0;
    uint32_t pendingResends_ = 0;
    bool pollOwed_ = false;   // the last burst left its poll to a wait that has not run yet
    uint16_t nextSeq_ = 0;
    uint32_t packetsSent_ = 0;   // new packets sent, counted up to the ring size
    uint32_t prepareSkips_ = 0;
    int endPhase_ = running;
    uint32_t endResendRounds_ = 0;   // resend requests served after the final packet
    StreamEnd end_ = StreamEnd::none;

    const uint8_t* block_ = nullptr;
    size_t blockLeft_ = 0;
    bool streamCalled_ = false;
    bool counting_ = false;   // the log level wants the counter line (checked once per burst)
    uint32_t lastCounters_ = 0;
    bool hostInvert_ = false;
    bool sinkInvert_ = false;
};

}  // namespace

StreamEnd runStreamingWorker(Sync& session) {
    StreamingWorker worker(session);
    return worker.run();
}

}  // namespace VELMORA
