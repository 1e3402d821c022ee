// The session object: construction, open and close, the session state and the
// operations the driver's thread calls around the worker.
#include "sync/Sync.h"

#include <chrono>
#include <system_error>

#include "log/LogLine.h"
#include "sync/ThreadMode.h"

namespace VELMORA {

namespace {

constexpr uint32_t releaseNumber = 100;
constexpr std::chrono::seconds connectWaitLimit{50};

// Opens a Udp6 socket bound to [::], port 0, on the given interface.
bool openBound(TERNO::Socket& socket, uint32_t interfaceIndex) {
    if (!socket.open(TERNO::Socket::Kind::Udp6)) return false;
    TERNO::Address any{};
    any.scope = static_cast<uint16_t>(interfaceIndex);
    return socket.bind(any);
}

}  // namespace

Sync::Sync() = default;

Sync::~Sync() { close(); }

bool Sync::getNewStream(StreamBlock& block) {
    block = StreamBlock{};
    LogLine(3) << "getNewStream not set err";
    return false;
}

bool Sync::streamSent() { return true; }

uint64_t Sync::bytesReady() const { return UINT64_MAX; }

bool Sync::startWorker() {
    try {
        worker = std::thread(&Sync::workerThread, this);
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void Sync::setState(uint32_t value) {
    // Release: what the setter stored before (the worker's endCause) is visible to a
    // thread that reads the new state with acquire.
    state.store(value, std::memory_order_release);
    notifyStateChanged();
}

void Sync::notifyStateChanged() {
    // Taking the mutex orders the change before a waiter's check of the state, so
    // connectWait cannot miss the notification.
    { std::lock_guard<std::mutex> lock(connectMutex); }
    connectChanged.notify_all();
}

bool Sync::open(uint32_t mode, uint32_t infoCycleUs, uint32_t interfaceIndex, const std::string& name) {
    LogLine(6) << "Velmora Sync Library ReleaseNo : " << releaseNumber << " [" << interfaceIndex << "]";
    // A session opened again starts from nothing.
    if (logReceiver.joinable()) {
        logStop_.store(true, std::memory_order_relaxed);
        logReceiver.join();
    }
    if (worker.joinable()) {
        setState(stateIdle);
        worker.join();
    }

    hostPhaseInvert.store(0, std::memory_order_relaxed);
    threadMode = mode;
    infoCycle = infoCycleUs;
    packDataSize = 1428;
    packDataCount = 10;

    if (!openBound(control, interfaceIndex)) return false;
    control.receiveSize = 4096;
    if ((threadMode & threadmode::socketNoBlock) && !control.setBlocking(false)) return false;

    clientName = name;
    state.store(stateIdle, std::memory_order_relaxed);
    playing.store(0, std::memory_order_relaxed);

    if (!openBound(logSocket, interfaceIndex)) return false;
    logSocket.receiveSize = 4096;

    logRequestPending.store(0, std::memory_order_relaxed);
    if (logLevel() >= 6) {
        logStop_.store(false, std::memory_order_relaxed);
        try {
            logReceiver = std::thread(&Sync::logReceiverThread, this);
        } catch (const std::system_error&) {
            // The session works without the sink's log.
        }
    }
    return true;
}

bool Sync::connect() {
    state.store(stateIdle, std::memory_order_relaxed);
    if (worker.joinable()) worker.join();
    if (!isValid(sinkFormat)) {
        LogLine(3) << "sinkConfig invalid";
        return false;
    }
    playing.store(0, std::memory_order_relaxed);
    endCause.store(StreamEnd::none, std::memory_order_relaxed);
    counters.reset();   // no worker runs: the new one starts from zero
    state.store(stateConnecting, std::memory_order_relaxed);
    if (!startWorker()) {
        LogLine(3) << "Sync Worker Start Error";
        close();
        return false;
    }
    return true;
}

bool Sync::connectWait() {
    const uint32_t current = state.load(std::memory_order_relaxed);
    if (current != stateConnecting && current != stateStreaming) return false;
    bool changed;
    {
        std::unique_lock<std::mutex> lock(connectMutex);
        changed = connectChanged.wait_for(lock, connectWaitLimit, [this] {
            return state.load(std::memory_order_relaxed) != stateConnecting;
        });
    }
    LogLine(6) << (changed ? "connectWait notimeout" : "connectWait timeout");
    LogLine(6) << "connectWait " << static_cast<int32_t>(state.load(std::memory_order_relaxed));
    return true;
}

void Sync::play() {
    playing.store(1, std::memory_order_relaxed);
    LogLine(6) << "play " << static_cast<int32_t>(state.load(std::memory_order_relaxed));
}

void Sync::stop() {
    playing.store(0, std::memory_order_relaxed);
    LogLine(6) << "stop " << static_cast<int32_t>(state.load(std::memory_order_relaxed));
}

// Session state machine (one writer per transition, compare-and-swap where two
// threads may race):
//   0 idle --connect--> 1 connecting --worker: CONNECT_ANS--> 2 streaming
//   2 --disconnect--> 3 disconnecting --worker: closing handshake--> 0
//   1 --cancelConnect--> 0;  any --close--> 0;  the worker sets 0 on every way out.
// The worker's 1 -> 2 and disconnect's 2 -> 3 and cancelConnect's 1 -> 0 are
// compare-and-swaps, so a change made by the other side is never overwritten.

void Sync::disconnect() {
    // Only a streaming session can be asked to finish. A worker that is already
    // ending (state 0: the sink went, or connecting was called off) is joined.
    uint32_t expected = stateStreaming;
    if (!state.compare_exchange_strong(expected, stateDisconnecting, std::memory_order_relaxed)) {
        if (expected == stateIdle && worker.joinable()) worker.join();
        return;
    }
    if (worker.joinable()) worker.join();
    LogLine(6) << "discone";
}

void Sync::cancelConnect() {
    uint32_t expected = stateConnecting;
    if (state.compare_exchange_strong(expected, stateIdle, std::memory_order_relaxed)) notifyStateChanged();
}

void Sync::close() {
    // The threads are stopped before their sockets close, so that no thread ever
    // waits on a socket that is being closed under it.
    logStop_.store(true, std::memory_order_relaxed);
    if (worker.joinable()) {
        setState(stateIdle);
        worker.join();
    } else if (state.load(std::memory_order_relaxed) != stateIdle) {
        setState(stateIdle);
    }
    control.close();
    if (logReceiver.joinable()) logReceiver.join();
    logSocket.close();
}

}  // namespace VELMORA
