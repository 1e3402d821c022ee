#pragma once
// A minimal sink on [::1] for the session tests: a scripted sink whose one socket (control
// and data port alike) answers control requests, records data packets, answers info
// requests with a status message and confirms DSICONNECT_REQ. Its second socket plays an
// impostor answering from the wrong port.

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "find/FakeSink.h"
#include "sync/Sync.h"

namespace synctest {

struct Datagram {
    uint16_t command = 0, flags = 0, sequence = 0, lengthWord = 0;
    uint64_t parameter = 0;
    size_t bytes = 0;              // datagram size
    std::vector<uint8_t> payload;  // as the length word tells
};

class FakeSink {
public:
    std::atomic<bool> answerControl{true}, echoRequests{false}, flagsClear{false};
    std::atomic<bool> answerInfo{true}, answerDisconnect{true}, connectEcho{false}, answerDataSize{true};
    std::atomic<bool> answerConnect{true};
    std::atomic<size_t> invalidDatagrams{0};  // datagrams that were no frame
    std::atomic<uint16_t> connectFlags{1}, statusFlags{0}, mtu{1500}, maximum{15000};
    std::atomic<int> answerDelayMs{0};  // a slow sink: each control answer comes this much later
    uint64_t pcmCaps = 0x0000'000A'0000'0E1Full, dsdLsbCaps = 0;
    uint16_t profile[3] = {0, 0, 0};

    FakeSink();
    TERNO::Address address() const { return peer_.address(); }

    std::vector<Datagram> requests();  // every control request, in order
    std::vector<Datagram> packets();   // every data packet, in order
    size_t count(uint16_t command);
    bool waitPackets(size_t n, int timeoutMs);

    // Sent by the sink's thread: a header-only frame, a status message, raw bytes.
    void sendFrame(bool fromImpostor, uint16_t command, uint16_t flags, uint64_t parameter);
    void sendStatus(uint16_t flags, uint16_t a, uint16_t b, uint16_t c);
    void sendRaw(std::vector<uint8_t> bytes);

private:
    std::vector<findtest::Reply> handle(const findtest::Bytes& d);
    findtest::Reply answer(uint16_t command, uint64_t parameter) const;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Datagram> requests_, packets_;
    findtest::FakeSink peer_;  // last: its thread ends before the rest goes
};

// Opens a session that waits 300 ms for each control answer, so that a loaded
// machine cannot make an answer look missing or stale.
bool openSession(VELMORA::Sync& session, uint32_t threadMode, uint32_t infoCycleUs);

}  // namespace synctest
