// bench_pacer: the machine's limit for a paced sender. Opens a stream at a sink with
// CONNECT_REQ and sends, every cycle, a burst of data packets of the given payload size,
// waiting in between exactly as the Sync worker does (the socket's paced wait, and spinning
// where the thread mode spins), and nothing else: no ring, no conversion, no feedback, no
// resends. A burst that misses its whole cycle starts the deadlines again from now, as in
// the worker. Prints one JSON object: bursts, thread CPU per second, the wait method chosen at
// the start and the one in use at the end.
//
// Usage: bench_pacer --port P --format HEX --cycle-us C --packets N --payload BYTES
//                    --seconds S [--address ADDR --scope IF] [--spin-below US] [--switch-blocking 0|1]

#include "platform/Clock.h"
#include "platform/Thread.h"
#include "sync/Sync.h"
#include "sync/SyncPacing.h"
#include "sync/SyncWire.h"
#include "terno/Address.h"
#include "terno/Message.h"
#include "terno/Socket.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Options {
    std::string address = "::1";
    uint16_t port = 0;
    uint16_t scope = 0;   // interface index of a link-local address
    uint64_t format = 0;
    uint32_t cycleUs = 1000, packets = 1, payload = 1024, spinBelowUs = 0;
    double seconds = 3;
    bool switchBlocking = false;   // the worker's default mode for bursts of two or more
};

bool parse(int argc, char** argv, Options& o) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        const char* v = argv[i + 1];
        if (key == "--address") o.address = v;
        else if (key == "--scope") o.scope = static_cast<uint16_t>(std::strtoul(v, nullptr, 10));
        else if (key == "--port") o.port = static_cast<uint16_t>(std::strtoul(v, nullptr, 10));
        else if (key == "--format") o.format = std::strtoull(v, nullptr, 0);
        else if (key == "--cycle-us") o.cycleUs = static_cast<uint32_t>(std::strtoul(v, nullptr, 10));
        else if (key == "--packets") o.packets = static_cast<uint32_t>(std::strtoul(v, nullptr, 10));
        else if (key == "--payload") o.payload = static_cast<uint32_t>(std::strtoul(v, nullptr, 10));
        else if (key == "--spin-below") o.spinBelowUs = static_cast<uint32_t>(std::strtoul(v, nullptr, 10));
        else if (key == "--switch-blocking") o.switchBlocking = std::strcmp(v, "0") != 0;
        else if (key == "--seconds") o.seconds = std::atof(v);
        else return false;
    }
    return o.port != 0 && o.format != 0 && o.cycleUs != 0 && o.packets != 0;
}

// CONNECT_REQ until the sink names its data port (three tries).
bool connect(TERNO::Socket& socket, TERNO::Address& to, uint64_t format) {
    TERNO::MessageHeader request(VELMORA::command::connectReq, format);
    std::vector<uint8_t> answer;
    for (int attempt = 0; attempt < 3; ++attempt) {
        socket.sendTo(request.frame, static_cast<uint32_t>(request.frameSize), to, true);
        if (socket.waitReadable(1000000) != TERNO::WaitResult::Ready) continue;
        TERNO::Address from{};
        socket.receiveFrom(answer, from);
        if (answer.size() >= 16 && VELMORA::wire::command(answer.data()) == VELMORA::command::connectAns) {
            to.port = TERNO::Address::toNetworkOrder(VELMORA::wire::u16(answer.data(), 8));
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parse(argc, argv, o)) {
        std::fprintf(stderr, "usage: bench_pacer --port P --format HEX --cycle-us C --packets N --payload BYTES "
                             "--seconds S [--address ADDR --scope IF] [--spin-below US] [--switch-blocking 0|1]\n");
        return 2;
    }
    TERNO::Socket socket;
    TERNO::Address local{};
    TERNO::Address to{};
    if (!to.parse(o.address) || !socket.open(TERNO::Socket::Udp6) || !socket.bind(local)) {
        std::fprintf(stderr, "bench_pacer: no socket\n");
        return 1;
    }
    to.setPortNumber(o.port);
    to.scope = o.scope;
    socket.receiveSize = 4096;
    platform::setThreadPriorityLevel(platform::priorityLevelHigh);
    if (!connect(socket, to, o.format)) {
        std::fprintf(stderr, "bench_pacer: the sink did not answer CONNECT_REQ\n");
        return 1;
    }
    socket.preparePacedWaits();
    const std::string chosenWait = socket.waitMethod();   // the wait may change while it runs

    const uint32_t payload = std::min(o.payload, VELMORA::maxPacketPayload);
    const uint32_t datagram = VELMORA::frameBytesFor(payload);
    std::vector<uint8_t> packet(datagram, 0);
    std::vector<uint8_t> received;
    VELMORA::wire::putU16(packet.data(), 0, 100);
    VELMORA::wire::putU16(packet.data(), 2, static_cast<uint16_t>(datagram | ((8 - payload % 8) % 8)));
    VELMORA::wire::putU16(packet.data(), 4, VELMORA::command::data);

    const uint64_t cpuStart = platform::threadCpuMicroseconds();
    const uint32_t start = platform::nowMicroseconds();
    const uint32_t length = static_cast<uint32_t>(o.seconds * 1e6);
    uint32_t deadline = start;
    uint16_t seq = 0;
    uint64_t bursts = 0;
    for (;;) {
        uint32_t now = platform::nowMicroseconds();
        if (now - start >= length) break;
        if (platform::isEarlier(now, deadline)) {
            const uint32_t left = deadline - now;
            if (left <= o.spinBelowUs) continue;
            const TERNO::WaitResult waited = socket.waitReadable(left);
            if (waited == TERNO::WaitResult::Ready) {
                TERNO::Address from{};
                socket.receiveFrom(received, from);
            }
            continue;
        }
        const bool wholeCycleLate = !platform::isLater(deadline + o.cycleUs, now);
        deadline = wholeCycleLate ? now + o.cycleUs : deadline + o.cycleUs;
        const bool switching = o.switchBlocking && o.packets >= 2;
        if (switching) socket.setBlocking(false);
        for (uint32_t i = 0; i < o.packets; ++i) {
            const bool last = i + 1 == o.packets;
            if (last && switching) socket.setBlocking(true);
            VELMORA::wire::putU16(packet.data(), 6, last ? 0x40 : 0);
            VELMORA::wire::putU16(packet.data(), 8, seq++);
            socket.sendTo(packet.data(), datagram, to, true);
        }
        ++bursts;
    }
    const double cpuMs = static_cast<double>(platform::threadCpuMicroseconds() - cpuStart) / 1000.0;
    const double seconds = static_cast<double>(platform::nowMicroseconds() - start) * 1e-6;

    TERNO::MessageHeader bye(VELMORA::command::disconnectReq);
    for (int attempt = 0; attempt < 4; ++attempt) {
        socket.sendTo(bye.frame, static_cast<uint32_t>(bye.frameSize), to, true);
        if (socket.waitReadable(300000) != TERNO::WaitResult::Ready) continue;
        TERNO::Address from{};
        socket.receiveFrom(received, from);
        if (received.size() >= 16 && VELMORA::wire::command(received.data()) == VELMORA::command::disconnectAns) break;
    }
    std::printf("{\"bursts\": %llu, \"seconds\": %.3f, \"cpu_ms_per_s\": %.2f, \"wait_chosen\": \"%s\", "
                "\"wait\": \"%s\"}\n",
                static_cast<unsigned long long>(bursts), seconds, seconds > 0 ? cpuMs / seconds : 0.0,
                chosenWait.c_str(), socket.waitMethod());
    socket.releasePacedWaits();
    return 0;
}
