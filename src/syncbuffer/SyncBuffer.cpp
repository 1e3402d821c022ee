#include "syncbuffer/SyncBuffer.h"

#include <algorithm>
#include <system_error>

#include "log/LogLine.h"
#include "platform/Thread.h"

namespace VELMORA {

namespace {

constexpr uint32_t fillWaitMs = 1;      // waiting for a free block, or for the session to end
constexpr uint32_t stoppedWaitMs = 10;  // waiting while stopped

// The ring whose buffer worker runs on this thread, if any.
thread_local const SyncBuffer* bufferWorkerOf = nullptr;

StreamBlock silence(std::vector<uint8_t>& buffer, size_t bytes, uint8_t value) {
    buffer.resize(bytes);
    std::fill(buffer.begin(), buffer.end(), value);
    return StreamBlock{buffer.data(), buffer.size()};
}

}  // namespace

SyncBuffer::SyncBuffer() = default;

SyncBuffer::~SyncBuffer() { close(); }

size_t SyncBuffer::filledBlocks() const {
    const size_t size = blocks.size();
    if (size == 0) return 0;
    const size_t r = readBlock.load(std::memory_order_acquire);
    const size_t w = writeBlock.load(std::memory_order_acquire);
    return (w + size - r) % size;
}

uint64_t SyncBuffer::bytesReady() const { return filledBlocks() * blockBytes; }

bool SyncBuffer::onBufferWorkerThread() const { return bufferWorkerOf == this; }

bool SyncBuffer::sessionActive() const {
    const uint32_t s = state.load(std::memory_order_relaxed);
    return s == stateConnecting || s == stateStreaming || s == stateDisconnecting;
}

void SyncBuffer::waitForWake(uint32_t milliseconds) { wake.waitFor(milliseconds); }

void SyncBuffer::configure(uint32_t framesPerBlock, uint32_t blockCount) {
    const uint32_t bits = hostFormat.bitsPerSample() * hostFormat.channels() * framesPerBlock;
    blockBytes = bits / 8;
    const uint8_t value = silenceByte();

    blocks.resize(std::max<uint32_t>(blockCount, 2));
    for (auto& block : blocks) {
        block.resize(blockBytes);
        std::fill(block.begin(), block.end(), value);
    }
    runningSilence_.reserve(blockBytes);
    stoppingSilence_.reserve(blockBytes);

    // Full ring: every block but the first is silence ready to go; the first is the
    // one the buffer worker fills first.
    writeBlock.store(0, std::memory_order_relaxed);
    readBlock.store(1, std::memory_order_relaxed);
    streamTaken.store(false, std::memory_order_relaxed);
}

bool SyncBuffer::connect() {
    if (!Sync::connect()) return false;
    disconnecting.store(false, std::memory_order_relaxed);
    stopping.store(false, std::memory_order_relaxed);
    stopped.store(false, std::memory_order_relaxed);
    if (startBufferWorker()) return true;
    LogLine(3) << "Buffer Worker Start Error";
    close();
    return false;
}

bool SyncBuffer::startBufferWorker() {
    if (bufferWorker.joinable()) return false;
    try {
        bufferWorker = std::thread(&SyncBuffer::bufferWorkerThread, this);
    } catch (const std::system_error&) {
        return false;   // the system has no thread to give
    }
    return true;
}

void SyncBuffer::fillBlock(std::vector<uint8_t>&, bool) {}

void SyncBuffer::streamEnded(StreamEnd) {}

void SyncBuffer::bufferWorkerThread() {
    bufferWorkerOf = this;
    platform::setThreadPriorityLevel(platform::priorityLevelHigh);
    try {
        fillFreeBlocks();
    } catch (...) {
        // Whatever the fill throws ends the filling, never the host's process; the
        // Sync worker then streams silence until the session ends.
    }

    stopping.store(true, std::memory_order_relaxed);
    stopped.store(true, std::memory_order_relaxed);
    LogLine(6) << "finish BufferWorker";
    while (sessionActive()) waitForWake(fillWaitMs);
    // Acquire: the worker stored its reason before its release store of state 0. A
    // stream ended by the driver's thread (disconnect, cancelConnect, close) has none.
    state.load(std::memory_order_acquire);
    const StreamEnd why = endCause.load(std::memory_order_relaxed);
    if (why != StreamEnd::none && !disconnecting.load(std::memory_order_relaxed)) {
        try {
            streamEnded(why);
        } catch (...) {
            // What the owner does here never ends the host's process either.
        }
    }
    LogLine(6) << "done BufferWorker";
    bufferWorkerOf = nullptr;
}

void SyncBuffer::fillFreeBlocks() {
    bool flagged = false;

    while (sessionActive() && !disconnecting.load(std::memory_order_relaxed)) {
        if (stopping.load(std::memory_order_relaxed)) {
            waitForWake(stoppedWaitMs);
            continue;
        }

        // Wait for a free block. Acquire: the Sync worker is done with the block it
        // gave back before it moved readBlock past it.
        bool interrupted = false;
        while (next(writeBlock.load(std::memory_order_relaxed)) == readBlock.load(std::memory_order_acquire)) {
            waitForWake(fillWaitMs);
            if (!sessionActive() || disconnecting.load(std::memory_order_relaxed) ||
                stopping.load(std::memory_order_relaxed)) {
                interrupted = true;
                break;
            }
        }
        if (interrupted) continue;

        const bool taken = streamTaken.exchange(false, std::memory_order_relaxed);
        const bool afterSend = taken && !flagged;
        const size_t w = writeBlock.load(std::memory_order_relaxed);
        fillBlock(blocks[w], afterSend);
        if (afterSend) flagged = true;
        // Release: the block's bytes are visible to the Sync worker once it sees the move.
        writeBlock.store(next(w), std::memory_order_release);
        if (next(next(w)) == readBlock.load(std::memory_order_acquire)) flagged = false;
    }
}

bool SyncBuffer::getNewStream(StreamBlock& block) {
    const size_t r = readBlock.load(std::memory_order_relaxed);
    if (r != writeBlock.load(std::memory_order_acquire)) {
        block = StreamBlock{blocks[r].data(), blocks[r].size()};
        // Release: our reads of the block handed out last time come before its refill.
        readBlock.store(next(r), std::memory_order_release);
        if (SessionCounters::wanted()) counters.set(counter::ringFill, static_cast<int64_t>(filledBlocks()));
        return true;
    }

    // No data ends the stream with its final packet. disconnect sets disconnecting
    // before the session leaves streaming (2); an empty ring in between hands out
    // silence, or the worker would end without the final packet and the closing
    // handshake ("buffer timeout").
    const bool streaming = state.load(std::memory_order_relaxed) == stateStreaming;
    if (disconnecting.load(std::memory_order_relaxed) && !streaming) {
        block = StreamBlock{};
        return false;
    }
    if (stopping.load(std::memory_order_relaxed) || disconnecting.load(std::memory_order_relaxed)) {
        if (!stopped.load(std::memory_order_relaxed)) {
            stopped.store(true, std::memory_order_relaxed);
            wake.wakeAll();
        }
        block = silence(stoppingSilence_, blockBytes, silenceByte());
        return true;
    }

    wake.wakeAll();
    block = silence(runningSilence_, blocks.empty() ? 0 : blocks[r].size(), silenceByte());
    if (SessionCounters::wanted()) {
        counters.add(counter::silentBlocks);
        counters.set(counter::ringFill, 0);
    }
    LogLine(4) << "SyncBuffer not enough mute data return";
    return true;
}

bool SyncBuffer::streamSent() {
    streamTaken.store(true, std::memory_order_relaxed);
    wake.wakeAll();
    return true;
}

void SyncBuffer::play() {
    LogLine(6) << "SyncBuffer::play";
    disconnecting.store(false, std::memory_order_relaxed);
    stopping.store(false, std::memory_order_relaxed);
    stopped.store(false, std::memory_order_relaxed);
    Sync::play();   // playing = 1, logs "play " and the state
    wake.wakeAll();
}

void SyncBuffer::stop() {
    LogLine(6) << "SyncBuffer::stop";
    stopping.store(true, std::memory_order_relaxed);
    // Without a buffer worker nobody would ever mark the stop.
    while (!stopped.load(std::memory_order_relaxed) && bufferWorker.joinable()) waitForWake(fillWaitMs);
    Sync::stop();   // playing = 0, logs "stop " and the state
}

void SyncBuffer::joinBufferWorker() {
    if (onBufferWorkerThread()) return;
    if (bufferWorker.joinable()) bufferWorker.join();
}

void SyncBuffer::disconnect() {
    LogLine(6) << "SyncBuffer::disconnect";
    disconnecting.store(true, std::memory_order_relaxed);
    Sync::disconnect();
    joinBufferWorker();
}

void SyncBuffer::close() {
    Sync::close();
    disconnecting.store(true, std::memory_order_relaxed);   // ends what streamEnded keeps running
    joinBufferWorker();
}

}  // namespace VELMORA
