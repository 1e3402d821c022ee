// The streaming worker's handling of the sink's status messages (resend requests, feedback
// values A/B/C, polarity flags), through a real worker thread: a scripted sink accepts the
// stream, answers data packets with status messages from the input, from the data port or
// from elsewhere, answers info requests and the closing handshake. Every datagram the
// worker sends must be a well-formed frame.

#include "support/ReplyScript.h"

#include "sync/Sync.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <iterator>
#include <mutex>
#include <thread>

namespace {

using namespace VELMORA;

class SilenceSource : public Sync {
public:
    ~SilenceSource() override { close(); }
    bool getNewStream(StreamBlock& block) override {
        if (state.load() == stateDisconnecting) return false;   // drained: the stream ends
        block = StreamBlock{bytes_.data(), bytes_.size()};
        return true;
    }

private:
    std::array<uint8_t, 4096> bytes_{};
};

std::vector<uint8_t> header(uint16_t command, uint16_t flags, uint16_t p0) {
    std::vector<uint8_t> h(16, 0);
    scripted::ReplyScript::put(h, 0, 100);
    scripted::ReplyScript::put(h, 2, 16);
    scripted::ReplyScript::put(h, 4, command);
    scripted::ReplyScript::put(h, 6, flags);
    scripted::ReplyScript::put(h, 8, p0);
    return h;
}

uint16_t word(std::span<const uint8_t> d, size_t at) { return static_cast<uint16_t>(d[at] | d[at + 1] << 8); }

// A frame the worker sent: magic, a length word that fits the datagram, a known command.
void checkSent(std::span<const uint8_t> d) {
    const bool frame = d.size() >= 16 && word(d, 0) == 100 && (word(d, 2) & 0xFFF8u) <= d.size();
    const uint16_t command = frame ? word(d, 4) : 0;
    if (!frame || (command != command::connectReq && command != command::data && command != command::disconnectReq))
        std::abort();
}

constexpr uint64_t hostFormats[] = {
    0x0000000C00000202ull,   // 2 ch int16 48 kHz: one packet per cycle
    0x0000002400000810ull,   // 8 ch int32 192 kHz: several packets per cycle
    0x0000020202510002ull,   // DSD64
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    scripted::Input in(data, size);
    scripted::ReplyScript script(in);
    std::mutex inputLock;
    std::atomic<bool> done{false};
    const uint16_t connectFlags = static_cast<uint16_t>(1 | (in.u16() & 0x0180));
    scripted::reset();
    scripted::setIdleWait(100);
    scripted::setPeer([&](std::span<const uint8_t> sent, const scripted::Address& to) {
        checkSent(sent);
        const uint16_t command = word(sent, 4);
        if (command == command::connectReq) {
            scripted::deliver(header(command::connectAns, connectFlags, 4000), to);
        } else if (command == command::disconnectReq) {
            scripted::deliver(header(command::disconnectAns, 0, 0), to);
        } else {
            std::lock_guard<std::mutex> hold(inputLock);
            if (!in.empty()) script.answer(to, command::status, 1);
            else done.store(true);
            if (word(sent, 6) & 0x20) scripted::deliver(header(command::status, 0, 0), to);   // the info answer
        }
    });

    SilenceSource s;
    uint64_t format = 0;
    {
        std::lock_guard<std::mutex> hold(inputLock);
        format = hostFormats[in.byte() % std::size(hostFormats)];
    }
    if (s.open(0, 20000, 0, "fuzz")) {
        s.pcmCaps = 0x000000FE00007F3Full;     // 1..16 ch, every PCM type, x1..x16 of both families
        s.dsdLsbCaps = 0x00001E0602D1003Full;  // DSD64..DSD512, LSB first, either word order
        s.target.bytes[0] = 0xfe;
        s.target.bytes[1] = 0x80;
        s.target.bytes[15] = 2;
        s.target.setPortNumber(4000);
        s.target.scope = 1;
        if (s.setFormat(StreamFormat(format)) &&
            s.transfer.FixAuto({s.sinkFormat, s.packDataSize, s.packDataCount}, 1000, false) && s.connect()) {
            s.connectWait();
            s.play();
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
            while (!done.load() && s.state.load() == stateStreaming && std::chrono::steady_clock::now() < end)
                std::this_thread::sleep_for(std::chrono::microseconds(500));
            s.disconnect();
        }
    }
    s.close();
    scripted::reset();
    return 0;
}
