#include "DataReceiver.h"

#include "sync/StreamFormat.h"

#include <algorithm>

namespace sink {

DataReceiver::DataReceiver(const SinkConfig& config, AudioWriter& writer, Send send)
    : config_(config), writer_(writer), send_(std::move(send)),
      polarity_(config.invertPolarity ? kPolarityInvert : 0),
      resend_(config.resendDelayUs, config.resendRetryUs), faults_(config.faults),
      clock_(config.feedback, config.ppm) {}

void DataReceiver::begin(uint64_t format, uint64_t) {
    closeStream();
    streamBase_ = received_;
    const VELMORA::StreamFormat f(format);
    frameBytes_ = std::max<uint32_t>(1, f.frameBytes());
    // Bytes per second of the samples themselves (a DSD frame holds 32 one-bit samples per
    // channel, a PCM frame one sample per channel).
    nominalByteRate_ = static_cast<double>(f.rate()) * f.channels() * f.bitsPerSample() / 8.0;
    clock_.setRate(nominalByteRate_ / frameBytes_);
    reorder_.emplace([this](uint16_t, std::span<const uint8_t> p) { deliver(p); });
    streaming_ = true;
}

void DataReceiver::deliver(std::span<const uint8_t> payload) {
    payloadBytes_ += payload.size();
    writer_.write(payload);
    if (!config_.markLogPath.empty()) marks_.onPayload(payload, deliverNowUs_);
    clock_.onFrames(payload.size() / frameBytes_, deliverNowUs_);
}

void DataReceiver::sendStatus(uint16_t flags, uint16_t a, uint16_t b, uint16_t c) {
    const Header h(STATUS, static_cast<uint16_t>(flags | polarity_), a, b, c);
    send_(h.view());
}

void DataReceiver::onData(Bytes frame, uint64_t nowUs) {
    if (!reorder_) return;   // no stream was connected
    const uint16_t seq = readU16(frame, 8);
    const FaultInjector::Decision decision = faults_.decide(seq, reorder_->isNew(seq));
    const bool resent = decision.resent;
    switch (decision.action) {
    case FaultAction::Drop:
        break;
    case FaultAction::Duplicate:
        process(frame, nowUs, resent);
        process(frame, nowUs, resent);
        break;
    case FaultAction::Reorder:
        if (behindNext_) process(behindNext_->frame, nowUs, behindNext_->resent);   // at most one held at a time
        behindNext_ = Held{{frame.begin(), frame.end()}, nowUs, resent};
        return;
    case FaultAction::Delay:
        delayed_.push_back(Held{{frame.begin(), frame.end()}, nowUs + config_.faults.delayUs, resent});
        break;
    case FaultAction::Deliver:
        process(frame, nowUs, resent);
        break;
    }
    if (behindNext_) {
        const Held held = std::move(*behindNext_);
        behindNext_.reset();
        process(held.frame, nowUs, held.resent);
    }
}

void DataReceiver::process(Bytes frame, uint64_t nowUs, bool resent) {
    ++received_;
    if (firstUs_ == 0) firstUs_ = nowUs;
    lastUs_ = nowUs;
    const uint16_t fl = flags(frame);
    const uint16_t seq = readU16(frame, 8);
    bursts_.onPacket(nowUs, (fl & kBurstEnd) != 0, static_cast<uint32_t>(payload(frame).size()));
    deliverNowUs_ = nowUs;
    reorder_->insert(seq, payload(frame), resent);
    if (fl & kInfoRequest) {
        ++infoRequests_;
        const std::optional<uint16_t> missing = config_.resendInInfo ? reorder_->firstMissing() : std::nullopt;
        if (missing) {
            reorder_->markRequested();
            sendStatus(kResendRequest, 0, *missing, reorder_->newestSeen());
        } else if (config_.feedback != FeedbackKind::None) {
            const Feedback f = clock_.sample(nowUs);
            sendStatus(0, static_cast<uint16_t>(f.a), f.b, f.c);
        } else {
            sendStatus(0, 0, 0, 0);   // an answer without feedback keeps the driver's clock
        }
        ++feedbackSent_;
    }
    poll(nowUs);
}

void DataReceiver::poll(uint64_t nowUs) {
    while (!delayed_.empty() && delayed_.front().releaseUs <= nowUs) {
        const Held held = std::move(delayed_.front());
        delayed_.pop_front();
        process(held.frame, nowUs, held.resent);
    }
    if (!reorder_) return;
    const std::optional<uint16_t> missing = reorder_->firstMissing();
    if (resend_.due(missing, nowUs)) {
        reorder_->markRequested();
        sendStatus(kResendRequest, 0, *missing, reorder_->newestSeen());
    }
}

uint64_t DataReceiver::nextDueUs(uint64_t nowUs, uint64_t maxUs) const {
    uint64_t due = maxUs;
    if (!delayed_.empty()) due = std::min(due, delayed_.front().releaseUs > nowUs ? delayed_.front().releaseUs - nowUs : 0);
    if (reorder_ && reorder_->firstMissing()) due = std::min<uint64_t>(due, 500);   // resend checks
    return due;
}

void DataReceiver::closeStream() {
    if (!reorder_) return;
    if (behindNext_) {
        process(behindNext_->frame, lastUs_, behindNext_->resent);
        behindNext_.reset();
    }
    while (!delayed_.empty()) {
        process(delayed_.front().frame, lastUs_, delayed_.front().resent);
        delayed_.pop_front();
    }
    neverRecovered_ += reorder_->flush([&](uint64_t index) {
        if (!lost_.empty() && lost_.back().first + lost_.back().count == index) ++lost_.back().count;
        else lost_.push_back({index, 1, payloadBytes_});
    });
    delivered_ += reorder_->delivered();
    duplicates_ += reorder_->duplicates();
    recovered_ += reorder_->recovered();
    late_ += reorder_->lateArrivals();
    outOfWindow_ += reorder_->outOfWindow();
    reorder_.reset();
}

void DataReceiver::finish(SinkReport& r) {
    closeStream();
    r.neverRecovered = neverRecovered_;
    r.lost = lost_;
    r.packetsDelivered = delivered_;
    r.duplicates = duplicates_;
    r.recovered = recovered_;
    r.lateArrivals = late_;
    r.outOfWindow = outOfWindow_;
    r.packetsReceived = received_;
    r.payloadBytes = payloadBytes_;
    r.resendRequests = resend_.requests();
    r.infoRequests = infoRequests_;
    r.feedbackSent = feedbackSent_;
    r.lastFeedbackSample = clock_.lastSample();
    r.dropped = faults_.dropped();
    r.duplicated = faults_.duplicated();
    r.reordered = faults_.reordered();
    r.delayed = faults_.delayed();
    r.bursts = bursts_.summary(config_.expectedCycleUs);
    if (!config_.burstLogPath.empty()) bursts_.writeLog(config_.burstLogPath);
    if (!config_.markLogPath.empty()) marks_.write(config_.markLogPath);
    r.streamSeconds = lastUs_ > firstUs_ ? static_cast<double>(lastUs_ - firstUs_) * 1e-6 : 0.0;
    r.byteRate = r.streamSeconds > 0 ? static_cast<double>(payloadBytes_) / r.streamSeconds : 0.0;
    r.nominalByteRate = nominalByteRate_;
}

}  // namespace sink
