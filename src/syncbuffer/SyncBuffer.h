#pragma once
// VELMORA::SyncBuffer: a ring of equal-sized audio blocks between the host's buffer
// exchange and the Sync worker.
//
// A buffer worker thread of its own fills free blocks through fillBlock (which the
// driver overrides to take audio from the host); the Sync worker takes filled blocks
// through getNewStream. An empty ring answers with a block of silence at once, so
// the network pacing never waits for the host.
//
// Single producer (buffer worker: fills blocks, moves writeBlock), single consumer
// (Sync worker: moves readBlock). The ring is empty when readBlock == writeBlock and
// full when next(writeBlock) == readBlock: one block always stays out of use, so the
// block last handed out is not refilled before the following getNewStream call.
//
// A class that overrides fillBlock closes the ring in its own destructor, so that the
// buffer worker never calls into a half-destroyed object.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <thread>
#include <vector>

#include "platform/WakeSignal.h"
#include "sync/Sync.h"

namespace VELMORA {

class SyncBuffer : public Sync {
public:
    SyncBuffer();
    ~SyncBuffer() override;

    // --- points of extension, after those of Sync ---
    // Hands out the next filled block, or silence when the ring is empty; false
    // (no data) only on an empty ring while disconnecting. Never blocks.
    bool getNewStream(StreamBlock& block) override;
    // Marks that the worker has sent what it took and wakes the buffer worker.
    bool streamSent() override;
    // Fills `block` (already blockBytes long) with the next audio. afterSend is true
    // for the first block filled after a streamSent, at most once per fill-up of the
    // ring. The base leaves the block as it is.
    virtual void fillBlock(std::vector<uint8_t>& block, bool afterSend);
    // Starts the buffer worker thread; false when one is still attached or the thread
    // cannot be created.
    virtual bool startBufferWorker();
    // Called on the buffer worker thread once its stream has ended by itself (`why` is
    // the worker's reason) while nobody disconnected the ring. The thread ends when it
    // returns; an override may keep it busy until `disconnecting` is set (disconnect
    // and close set it). The base returns at once.
    virtual void streamEnded(StreamEnd why);

    // --- driver's thread ---
    // Sizes the ring for hostFormat: blockCount (at least 2) blocks of silence, of
    // which blockCount - 1 are ready to be handed out.
    void configure(uint32_t framesPerBlock, uint32_t blockCount);
    // Sync::connect, then the buffer worker.
    bool connect();
    // Lets the buffer worker fill again and the Sync worker send audio.
    void play();
    // Stops filling and returns once the ring has drained.
    void stop();
    // Ends the stream: the Sync worker sends what is left and closes; the buffer worker ends.
    void disconnect();
    void close();

    uint8_t silenceByte() const { return hostFormat.silenceByte(); }
    // Blocks filled and not yet handed out.
    size_t filledBlocks() const;
    uint64_t bytesReady() const override;
    // True on this ring's buffer worker thread: inside fillBlock, and so inside the
    // host's bufferSwitch.
    bool onBufferWorkerThread() const;
    // Joins a buffer worker that has been told to end. From the buffer worker itself
    // it does nothing: the thread ends once the call returns to its loop, and the
    // next join from another thread (start, close) collects it.
    void joinBufferWorker();

    // --- the ring's data, in this order ---
    std::vector<std::vector<uint8_t>> blocks;
    std::atomic<size_t> readBlock{0};    // written by the Sync worker only
    std::atomic<size_t> writeBlock{0};   // written by the buffer worker only
    std::thread bufferWorker;
    platform::WakeSignal wake;           // the buffer worker's timed waits; woken after each send
    uint64_t blockBytes = 0;
    std::atomic<bool> disconnecting{false};
    std::atomic<bool> stopping{false};
    std::atomic<bool> stopped{false};
    std::atomic<bool> streamTaken{false};

protected:
    // The silence handed out on an empty ring: one buffer while running, one while
    // stopping, each ring its own (they differ by format, and one ring's resize must not
    // move the block another ring's worker is sending). Only the Sync worker writes them
    // (in getNewStream); configure reserves their room so that silence never allocates.
    std::vector<uint8_t> runningSilence_;
    std::vector<uint8_t> stoppingSilence_;

    size_t next(size_t position) const { return position + 1 >= blocks.size() ? 0 : position + 1; }
    bool sessionActive() const;
    void waitForWake(uint32_t milliseconds);
    void bufferWorkerThread();
    void fillFreeBlocks();
};

}  // namespace VELMORA
