// The reference sink's data side: a stream of data packets (sequence numbers, payloads,
// flags, malformed lengths) through the receiver with every injected fault switched on:
// reordering, duplicates, delays, resend requests, feedback, the final report.
//
// Input: seed byte, format byte, then per datagram a "how" byte (bit 0: stamp magic, length
// word and command 10), a 16-bit time step in microseconds, a 16-bit length and the bytes.

#include "support/ReplyScript.h"

#include "DataReceiver.h"

#include <iterator>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    scripted::Input in(data, size);
    sink::SinkConfig config;
    config.faults.dropRate = 0.05;
    config.faults.duplicateRate = 0.05;
    config.faults.reorderRate = 0.05;
    config.faults.delayRate = 0.05;
    config.faults.seed = in.byte();
    sink::AudioWriter writer("", "", "");
    size_t statusBytes = 0;
    sink::DataReceiver receiver(config, writer, [&](sink::Bytes frame) { statusBytes += frame.size(); });
    const uint64_t formats[] = {0x0000000A00000802ull, 0x0000002400000810ull, 0x0000020202510002ull};
    receiver.begin(formats[in.byte() % std::size(formats)], 0);
    uint64_t now = 1;
    while (!in.empty()) {
        const uint8_t how = in.byte();
        now += in.u16();
        std::vector<uint8_t> packet = in.bytes(in.u16() % 1501);
        if ((how & 1) && packet.size() >= 16) {
            scripted::ReplyScript::put(packet, 0, 100);
            scripted::ReplyScript::put(packet, 2, static_cast<uint16_t>((packet.size() & ~size_t{7}) | (how >> 5)));
            scripted::ReplyScript::put(packet, 4, sink::DATA);
        }
        if (sink::isFrame(packet) && sink::command(packet) == sink::DATA) receiver.onData(packet, now);
        receiver.poll(now);
    }
    sink::SinkReport report;
    receiver.finish(report);
    (void)sink::toJson(report);
    return 0;
}
