#include "find/FakeSink.h"

#include "platform/Clock.h"
#include "platform/Thread.h"

namespace findtest {

Bytes frame(uint16_t command, uint16_t flags, uint16_t p0, uint16_t p1, uint16_t p2, uint16_t p3,
            const std::string& payload) {
    const size_t total = (16 + payload.size() + 7) & ~size_t{7};
    const uint16_t words[8] = {100, static_cast<uint16_t>(total | (total - 16 - payload.size())), command, flags,
                               p0, p1, p2, p3};
    Bytes bytes(total, 0);
    for (size_t i = 0; i < 16; ++i) bytes[i] = static_cast<uint8_t>(words[i / 2] >> (i % 2 * 8));  // little-endian
    std::copy(payload.begin(), payload.end(), bytes.begin() + 16);
    return bytes;
}

Bytes frame64(uint16_t command, uint16_t flags, uint64_t parameter, const std::string& payload) {
    Bytes bytes = frame(command, flags, 0, 0, 0, 0, payload);
    for (size_t i = 0; i < 8; ++i) bytes[8 + i] = static_cast<uint8_t>(parameter >> (8 * i));
    return bytes;
}

uint16_t commandOf(const Bytes& datagram) {
    return datagram.size() < 6 ? 0xFFFF : static_cast<uint16_t>(datagram[4] | (datagram[5] << 8));
}

FakeSink::FakeSink(Script script, const std::string& bindAddress, uint16_t port)
    : script_(std::move(script)) {
    TERNO::Address address{};
    if (!address.parse(bindAddress)) return;
    address.setPortNumber(port);
    TERNO::Address otherAddress = address;
    otherAddress.setPortNumber(0);
    if (!socket_.open(TERNO::Socket::Kind::Udp6) || !socket_.bind(address)) return;
    if (!other_.open(TERNO::Socket::Kind::Udp6) || !other_.bind(otherAddress)) return;
    socket_.receiveSize = 65536;
    address_ = address;
    ok_ = true;
    thread_ = std::thread([this] { run(); });
}

FakeSink::~FakeSink() {
    stop_.store(true, std::memory_order_release);
    if (thread_.joinable()) thread_.join();
}

void FakeSink::sendToLastPeer(Reply reply) {
    std::lock_guard<std::mutex> lock(mutex_);
    unasked_.push_back(std::move(reply));
}

void FakeSink::run() {
    // Answers must come within the client's waits even on a loaded machine.
    platform::setThreadPriorityLevel(platform::priorityLevelHigh);
    Bytes request;
    TERNO::Address from{};
    auto send = [&](const Reply& reply) {
        TERNO::Socket& out = reply.fromOtherPort ? other_ : socket_;
        const uint32_t start = platform::nowMicroseconds();
        do {
            out.sendTo(reply.bytes.data(), static_cast<uint32_t>(reply.bytes.size()), from, true);
        } while (reply.repeatForUs != 0 && platform::nowMicroseconds() - start < reply.repeatForUs &&
                 !stop_.load(std::memory_order_acquire));
    };
    while (!stop_.load(std::memory_order_acquire)) {
        std::vector<Reply> unasked;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            unasked.swap(unasked_);
        }
        for (const Reply& reply : unasked) send(reply);
        const TERNO::WaitResult wait = socket_.waitReadable(2'000);
        if (wait == TERNO::WaitResult::Error) return;
        if (wait != TERNO::WaitResult::Ready) continue;
        socket_.receiveFrom(request, from);
        if (request.empty()) continue;
        const std::vector<Reply> replies = script_(request, from);
        requests_.fetch_add(1, std::memory_order_release);  // counted before any answer leaves
        for (const Reply& reply : replies) send(reply);
    }
}

}  // namespace findtest
