#pragma once
// VELMORA::Sync: one streaming session with one sink.
//
// The driver's thread opens the session, learns what the sink can do (getInfo),
// chooses the wire format and the transfer profile, prepares and connects the
// stream; connect starts the worker thread ("wth"), which runs the opening
// handshake, the paced loop of data packets and the closing handshake. A second
// thread receives the sink's remote log while the log level is 6 or more.
//
// The class is a base: SyncBuffer derives from it and supplies the audio through
// the virtual operations getNewStream and streamSent.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sync/SampleConverters.h"
#include "sync/SessionCounters.h"
#include "sync/StreamFormat.h"
#include "sync/TransferProfiles.h"
#include "terno/Address.h"
#include "terno/Socket.h"

namespace VELMORA {

// A slice of stream data handed to the worker: the bytes stay valid until the
// next getNewStream call.
struct StreamBlock {
    const uint8_t* data = nullptr;
    size_t size = 0;
};

// Session states.
enum SyncState : uint32_t {
    stateIdle = 0,
    stateConnecting = 1,     // connect started the worker; CONNECT_REQ is on its way
    stateStreaming = 2,      // the sink accepted the stream
    stateDisconnecting = 3,  // disconnect asked the worker to finish
};

// Why a stream ended by itself: the worker's own way out. `none` while it runs, and
// when the driver's thread ended it (disconnect, cancelConnect, close).
enum class StreamEnd : uint32_t {
    none,
    sinkSilent,        // nothing came from the sink for the info time-out
    sinkClosed,        // the sink sent DSICONNECT_ANS
    sinkRefused,       // CONNECT_REQ got no answer carrying a data port
    networkError,      // a send, wait or receive failed
    bufferTimeout,     // the ring had no block while not disconnecting
    resendOutOfRange,  // the sink asked for packets the ring no longer holds
    workerError,       // no profile, no memory, no thread priority or processor
};

// Control protocol commands (request, answer).
namespace command {
constexpr uint16_t formatReq = 4, formatAns = 5;
constexpr uint16_t latencyReq = 6, latencyAns = 7;
constexpr uint16_t connectReq = 8, connectAns = 9;
constexpr uint16_t data = 10, status = 11;
constexpr uint16_t disconnectReq = 12, disconnectAns = 13;
constexpr uint16_t dataSizeReq = 14, dataSizeAns = 15;
constexpr uint16_t connectPreReq = 18, connectPreAns = 19;
constexpr uint16_t profileReq = 20, profileAns = 21;
constexpr uint16_t nameReq = 24, nameAns = 25;
constexpr uint16_t logReq = 40, logText = 41;
constexpr uint16_t nopBreakReq = 42, nopBreakAns = 5;
}  // namespace command

// An exchange that another thread may call off: it gives up as soon as `state`
// no longer holds `whileIs` (checked at least every 20 ms of waiting).
struct ExchangeWatch {
    const std::atomic<uint32_t>* state = nullptr;
    uint32_t whileIs = 0;
    bool calledOff() const { return state && state->load(std::memory_order_relaxed) != whileIs; }
};

// Port of the sink's remote log.
constexpr uint16_t remoteLogPort = 19642;

class Sync {
public:
    Sync();
    virtual ~Sync();
    Sync(const Sync&) = delete;
    Sync& operator=(const Sync&) = delete;

    // --- points of extension, in this order ---
    // The next stream data for the worker. The base has none: logs and fails.
    virtual bool getNewStream(StreamBlock& block);
    // Called by the worker once after each burst in which it called getNewStream.
    virtual bool streamSent();
    // Bytes of stream data getNewStream hands out without waiting for its producer; a
    // burst that catches up takes no more than these. The base sets no bound.
    virtual uint64_t bytesReady() const;
    // Starts the worker thread on this object; true when it runs.
    virtual bool startWorker();

    // --- session life, from the driver's thread ---
    bool open(uint32_t threadMode, uint32_t infoCycleUs, uint32_t interfaceIndex,
              const std::string& clientName);
    bool getInfo(const TERNO::Address& target, uint32_t latencyUs, bool nopBreak);
    bool connectPrepare();
    bool connect();
    bool connectWait();
    void play();
    void stop();
    void disconnect();
    // Calls off a stream that is still being opened (state 1): the worker gives up
    // its CONNECT_REQ and ends without a closing handshake, since the sink never
    // accepted the stream. Does nothing in any other state.
    void cancelConnect();
    void close();
    // Granted plus hardware latency, in microseconds.
    uint32_t totalLatencyUs() const;

    // --- stream format (the driver's start) ---
    static bool isValid(StreamFormat format);
    bool supports(StreamFormat format) const;
    // Chooses sinkFormat and converter for the host's format; false changes nothing.
    bool setFormat(StreamFormat hostFormat);
    // Switches converter to its inverting twin when exactly one side inverts.
    void applyPolarity(bool hostInvert, bool sinkInvert);

    // The connect word of CONNECTPRE_REQ for the current sinkFormat and latency.
    uint64_t connectWord() const;

    // The exchange under every control request: send `request` to `to`, wait up
    // to timeoutUs for an answer (three times), hand back an answer carrying data
    // in `answer` (empty otherwise). False on socket errors, and when `watch`
    // calls the exchange off.
    static bool sendAck(TERNO::Socket& socket, const TERNO::Address& to,
                        const void* request, size_t requestBytes, uint16_t answerCommand,
                        std::vector<uint8_t>& answer, uint32_t timeoutUs, ExchangeWatch watch = {});

    // --- the session's data, in this order ---
    SampleConverter converter = converters::copy;
    std::thread worker;
    TERNO::Socket control;        // its spare address slot holds the data destination
    TERNO::Socket logSocket;
    std::thread logReceiver;
    std::mutex connectMutex;
    std::condition_variable connectChanged;
    std::atomic<uint32_t> state{stateIdle};
    // Set by the worker before it leaves state 1, 2 or 3; cleared by connect.
    std::atomic<StreamEnd> endCause{StreamEnd::none};
    std::atomic<uint32_t> playing{0};
    TERNO::Address target{};
    TERNO::Address logTarget{};
    std::atomic<uint8_t> logRequestPending{0};
    StreamFormat hostFormat{};
    StreamFormat sinkFormat{};
    uint64_t pcmCaps = 0;
    uint64_t dsdLsbCaps = 0;
    uint64_t dsdMsbCaps = 0;
    uint16_t latency = 0;       // granted by the sink, 100 us units
    uint16_t hwLatency = 0;     // the sink's hardware latency, 100 us units
    uint32_t threadMode = 0;    // worker thread mode flags (sync/ThreadMode.h)
    std::atomic<uint8_t> hostPhaseInvert{0};
    uint32_t infoCycle = 0;     // us between info requests
    uint16_t packDataSize = 1428;
    uint16_t packDataCount = 10;
    TransferProfiles transfer;  // profile table, calculator and the sink's profile answer
    uint8_t lowCpu = 0;
    std::string clientName;
    // How long getInfo and connectPrepare wait for each answer of a short request
    // before sending it again (10 ms; a slow test sink may need more).
    uint32_t requestTimeoutUs = 10000;
    // Port of the sink's remote log (19642; a test sink may serve it elsewhere).
    uint16_t logPort = remoteLogPort;
    // What the worker and the ring count while streaming (the once-a-second counter line).
    SessionCounters counters;

    // Sets state and wakes connectWait.
    void setState(uint32_t value);
    // Wakes connectWait after a change of state made by compare-and-swap.
    void notifyStateChanged();

private:
    void workerThread();           // prologue, loop, epilogue
    void logReceiverThread();
    void receiveRemoteLog();
    bool requestFormats(const TERNO::Address& sink);  // the capability part of getInfo

    std::atomic<bool> logStop_{false};
};

}  // namespace VELMORA
