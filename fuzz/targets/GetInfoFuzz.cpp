// The whole getInfo answer sequence: FORMAT_REQ (summary and sets), PROFILE_REQ,
// LATENCY_REQ, DATASIZE_REQ answered by a scripted sink, then what the driver's start builds
// from those answers: the wire format and a transfer profile by each of the methods.

#include "support/ReplyScript.h"

#include "sync/Sync.h"

#include <iterator>

namespace {

uint16_t answerFor(uint16_t request) { return request == VELMORA::command::nopBreakReq ? 5 : request + 1; }

// Host formats the driver offers: PCM of every width, a high-rate multichannel one, DSD.
constexpr uint64_t hostFormats[] = {
    0x0000000A00000802ull,   // 2 ch int32 44.1 kHz
    0x0000000C00000202ull,   // 2 ch int16 48 kHz
    0x0000002400000810ull,   // 8 ch int32 192 kHz
    0x0000000A00004002ull,   // 2 ch float64 44.1 kHz
    0x0000020202510002ull,   // DSD64 LSB first, little-endian words
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    scripted::Input in(data, size);
    scripted::ReplyScript script(in);
    script.answerRequests(answerFor);

    VELMORA::Sync session;
    session.requestTimeoutUs = 1000;
    if (session.open(0, 100000, 0, "fuzz")) {
        TERNO::Address sink{};
        sink.bytes[0] = 0xfe;
        sink.bytes[1] = 0x80;
        sink.bytes[15] = 2;
        sink.setPortNumber(4000);
        sink.scope = 1;
        const uint32_t latencyUs = in.u16();
        const bool nopBreak = in.byte() & 1;
        if (session.getInfo(sink, latencyUs, nopBreak) &&
            session.setFormat(VELMORA::StreamFormat(hostFormats[in.byte() % std::size(hostFormats)]))) {
            const VELMORA::ProfileInputs inputs{session.sinkFormat, session.packDataSize, session.packDataCount};
            const uint32_t cycle = 1 + in.u16() % 20000;
            const uint32_t limit = in.u16() % 20001;
            switch (in.byte() % 6) {
            case 0: session.transfer.Fix(inputs, cycle, in.u16(), in.byte() & 1); break;
            case 1: session.transfer.Var(inputs, cycle, in.u16()); break;
            case 2: session.transfer.FixAuto(inputs, cycle, in.byte() & 1); break;
            case 3: session.transfer.VarAuto(inputs, cycle); break;
            case 4: session.transfer.VarASIO(inputs, in.u32()); break;
            default: session.transfer.configTransferAuto(inputs, limit, 0, cycle); break;
            }
        }
    }
    session.close();
    scripted::reset();
    return 0;
}
