// The process's log sink: one non-blocking IPv6 UDP socket bound to the loopback address,
// one datagram per line.

#include "log/LogSink.h"

#include "log/LogHeader.h"
#include "platform/Clock.h"
#include "terno/Socket.h"

#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace {

// The process-wide sink. Lines read the raw pointer with no lock; the owning pointer beside it
// is touched only when a sink is installed or looked up by the driver.
std::atomic<LogSink*> processSink{nullptr};
std::atomic<uint32_t> sinkUses{0};   // lines between reading processSink and finishing with it
std::mutex ownerMutex;

// Never destroyed: a line logged from a static destructor at exit still finds its sink alive.
std::shared_ptr<LogSink>& processSinkOwner() {
    static auto* owner = new std::shared_ptr<LogSink>;
    return *owner;
}

constexpr std::array<uint8_t, 16> loopbackAddress = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};

// Waits until no line uses any sink, so that one which is no longer installed can go. Lines
// are short; should uses never drain (a thread stuck mid-send), the old sink is kept for good.
void releaseWhenUnused(std::shared_ptr<LogSink> old) {
    if (!old) return;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (sinkUses.load(std::memory_order_seq_cst) != 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            static auto* kept = new std::vector<std::shared_ptr<LogSink>>;   // reachable, never freed
            std::lock_guard<std::mutex> lock(ownerMutex);
            kept->push_back(std::move(old));
            return;
        }
        std::this_thread::yield();
    }
}

}  // namespace

// Announce the use before reading the pointer (both sequentially consistent): an installer that
// swapped the pointer and then sees no use knows no line still holds the old sink.
LogSinkUse::LogSinkUse() {
    sinkUses.fetch_add(1, std::memory_order_seq_cst);
    sink_ = processSink.load(std::memory_order_seq_cst);
}

LogSinkUse::~LogSinkUse() { sinkUses.fetch_sub(1, std::memory_order_release); }

std::shared_ptr<LogSink> currentLogSink() {
    std::lock_guard<std::mutex> lock(ownerMutex);
    return processSinkOwner();
}

void installLogSink(std::shared_ptr<LogSink> sink) {
    std::shared_ptr<LogSink> old;
    {
        std::lock_guard<std::mutex> lock(ownerMutex);
        processSink.store(sink.get(), std::memory_order_seq_cst);
        old = std::exchange(processSinkOwner(), std::move(sink));
    }
    releaseWhenUnused(std::move(old));
}

LogSink::LogSink() : socket_(std::make_unique<TERNO::Socket>()) {}

LogSink::~LogSink() = default;

std::shared_ptr<LogSink> LogSink::create() {
    auto sink = std::make_shared<LogSink>();
    sink->setFacility(driverFacility);
    sink->open(defaultPort);
    installLogSink(sink);
    return sink;
}

bool LogSink::isOpen() const { return open_.load(std::memory_order_acquire); }

bool LogSink::open(uint16_t port) {
    if (isOpen()) return true;
    TERNO::Socket& socket = *socket_;
    TERNO::Address local;
    local.bytes = loopbackAddress;
    if (!socket.open(TERNO::Socket::Kind::Udp6) || !socket.bind(local) || !socket.setBlocking(false)) {
        socket.close();
        return false;
    }
    destinationAddress_ = loopbackAddress;
    destinationPort_ = TERNO::Address::toNetworkOrder(port);
    destinationScope_ = 0;
    open_.store(true, std::memory_order_release);
    return true;
}

uint16_t LogSink::destinationPort() const {
    TERNO::Address destination;
    destination.port = destinationPort_;
    return destination.portNumber();
}

void LogSink::send(unsigned priority, char* text) {
    const std::tm now = platform::localCalendarTime(platform::secondsSince1970());
    const size_t start = logheader::stamp(text, priority, now);
    if (!isOpen()) return;
    TERNO::Address to;
    to.bytes = destinationAddress_;
    to.port = destinationPort_;
    to.scope = destinationScope_;
    const char* line = text + start;
    const int32_t error = socket_->sendDatagram(line, static_cast<uint32_t>(std::strlen(line)), to);
    if (error != 0) lastError_.store(error, std::memory_order_relaxed);
}
