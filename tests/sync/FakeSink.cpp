#include "sync/FakeSink.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "platform/Thread.h"
#include "sync/SyncWire.h"
#include "terno/Message.h"

namespace synctest {

using namespace VELMORA;

bool openSession(Sync& session, uint32_t threadMode, uint32_t infoCycleUs) {
    if (!session.open(threadMode, infoCycleUs, 0, "test")) return false;
    session.requestTimeoutUs = 300000;
    return true;
}

FakeSink::FakeSink() {
    address_.bytes[15] = 1;
    TERNO::Address other = address_;
    if (!socket_.open(TERNO::Socket::Udp6) || !socket_.bind(address_) || !impostor_.open(TERNO::Socket::Udp6) ||
        !impostor_.bind(other))
        throw std::runtime_error("fake sink: cannot bind [::1]");
    socket_.receiveSize = 4096;
    thread_ = std::thread([this] { run(); });
}

FakeSink::~FakeSink() {
    stop_ = true;
    thread_.join();
}

std::vector<Datagram> FakeSink::requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

std::vector<Datagram> FakeSink::packets() {
    std::lock_guard<std::mutex> lock(mutex_);
    return packets_;
}

size_t FakeSink::count(uint16_t cmd) {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::count_if(requests_.begin(), requests_.end(), [&](const Datagram& r) { return r.command == cmd; });
}

bool FakeSink::waitPackets(size_t n, int timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return packets_.size() >= n; });
}

void FakeSink::sendFrame(bool fromImpostor, uint16_t cmd, uint16_t flags, uint64_t parameter) {
    std::lock_guard<std::mutex> lock(mutex_);
    actions_.push_back([=, this] { send(fromImpostor ? impostor_ : socket_, cmd, flags, parameter); });
}

void FakeSink::sendStatus(uint16_t flags, uint16_t a, uint16_t b, uint16_t c) {
    sendFrame(false, command::status, flags, a | (uint64_t{b} << 16) | (uint64_t{c} << 32));
}

void FakeSink::sendRaw(std::vector<uint8_t> bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    actions_.push_back([bytes = std::move(bytes), this] {
        socket_.sendTo(bytes.data(), static_cast<uint32_t>(bytes.size()), driver_, true);
    });
}

void FakeSink::run() {
    // Answers must come within the driver's waits even on a loaded machine.
    platform::setThreadPriorityLevel(platform::priorityLevelHigh);
    std::vector<uint8_t> d;
    while (!stop_) {
        std::vector<std::function<void()>> due;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            due.swap(actions_);
        }
        for (auto& action : due) action();
        if (socket_.waitReadable(2000) != TERNO::WaitResult::Ready) continue;
        socket_.receiveFrom(d, driver_);
        if (TERNO::Message::isValidFrame(d.data(), d.size())) {
            handle(d);
        } else {
            ++invalidDatagrams;
        }
    }
}

void FakeSink::send(TERNO::Socket& from, uint16_t cmd, uint16_t flags, uint64_t parameter) {
    TERNO::MessageHeader frame(cmd, parameter);
    frame.changeFlags(0xFFFF, flags);
    from.sendTo(frame.frame, 16, driver_, true);
}

void FakeSink::answer(uint16_t cmd, uint64_t parameter) {
    send(socket_, cmd, flagsClear ? 0 : 1, parameter);
}

void FakeSink::handle(const std::vector<uint8_t>& d) {
    Datagram g;
    g.command = wire::command(d.data());
    g.flags = wire::flags(d.data());
    g.sequence = wire::u16(d.data(), 8);
    g.lengthWord = wire::u16(d.data(), 2);
    g.parameter = wire::u64(d.data(), 8);
    g.bytes = d.size();
    g.payload.assign(d.begin() + 16, d.begin() + 16 + TERNO::Message::payloadLength(d.data(), d.size()));
    {
        std::lock_guard<std::mutex> lock(mutex_);
        (g.command == command::data ? packets_ : requests_).push_back(g);
    }
    changed_.notify_all();

    const uint64_t p = g.parameter;
    switch (g.command) {
    case command::data:
        if ((g.flags & 0x20) && answerInfo) send(socket_, command::status, statusFlags, 8192);
        return;
    case command::disconnectReq:
        if (answerDisconnect) send(socket_, command::disconnectAns, 0, 0);
        return;
    case command::connectReq:  // the data port is the control port
        if (!answerConnect) return;
        send(socket_, connectEcho ? command::connectReq : command::connectAns, connectFlags,
             TERNO::Address::fromNetworkOrder(address_.port));
        return;
    }
    if (!answerControl) return;
    if (answerDelayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(answerDelayMs.load()));
    if (echoRequests) return send(socket_, g.command, 1, 0);
    switch (g.command) {
    case command::formatReq:
        answer(command::formatAns, p == 0 ? (pcmCaps & 0xFF00) | (dsdLsbCaps ? 0x110000 : 0)
                                   : p == 0x100000 ? dsdLsbCaps : p == 0x200000 ? 0 : pcmCaps);
        break;
    case command::nopBreakReq:
        answer(command::nopBreakAns, 0);
        break;
    case command::profileReq:
        answer(command::profileAns, profile[0] | (uint64_t{profile[1]} << 16) | (uint64_t{profile[2]} << 32));
        break;
    case command::latencyReq:  // grants twice the request, or 5 ms; hardware latency 300 us
        answer(command::latencyAns, ((p & 0xFFFF) ? (p & 0xFFFF) * 2 : 50) | (uint64_t{3} << 16));
        break;
    case command::dataSizeReq:
        if (answerDataSize) answer(command::dataSizeAns, mtu | (uint64_t{maximum} << 16));
        break;
    case command::connectPreReq:
        answer(command::connectPreAns, uint64_t{77} << 16);
        break;
    case command::nameReq:
        send(socket_, command::nameAns, 0, 0);
        break;
    case command::logReq: {  // an acknowledgement, then one line of the sink's log
        send(socket_, command::logText, 0, 0);
        TERNO::Message line;
        line.setHeader(command::logText, 0, 2, 0, 0, 0);
        line.setPayload("sink says hello");
        line.commitHeader();
        socket_.sendTo(line.frame, static_cast<uint32_t>(line.frameSize), driver_, true);
        break;
    }
    }
}

}  // namespace synctest
