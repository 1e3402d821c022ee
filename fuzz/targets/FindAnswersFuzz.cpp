// Find answers as the client classifies them: the multicast passes (findMulti), every
// request/answer exchange (sendAck: answered, refused, echoed, foreign, malformed), and the
// target list and single-target queries built on them, against a scripted set of sinks on
// two links.

#include "support/ReplyScript.h"

#include "find/Find.h"

namespace {

uint16_t answerFor(uint16_t request) {
    switch (request) {
    case 0: return 1;     // FIND_REQ
    case 2: return 3;     // OUTPUT_REQ
    case 16: return 17;   // INFO_REQ
    case 22: return 23;   // FINDNAME_REQ
    default: return 5;    // NOPBREAK_REQ
    }
}

TERNO::Address address(const scripted::Address& a) {
    TERNO::Address out{};
    std::copy(std::begin(a.bytes), std::end(a.bytes), out.bytes.begin());
    out.setPortNumber(scripted::portOf(a));
    out.scope = static_cast<uint16_t>(a.scopeId);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    scripted::Input in(data, size);
    scripted::ReplyScript script(in);
    script.answerRequests(answerFor);

    const uint8_t mode = in.byte();   // bit 0: product filter, bit 1: NOPBREAK probes, bit 2: one target
    VELMORA::Find find({(mode & 1) ? 0x4E495244554C4150ull : 0, 1, "TOLVENIK Velmora", (mode & 2) != 0});
    if (find.openOn({address(scripted::linkLocal(1, 0, 1)), address(scripted::linkLocal(1, 0, 2))})) {
        find.extraDestinations = {address(scripted::linkLocal(5, 19642, 1))};
        if (!(mode & 4)) {
            VELMORA::TargetMap targets;
            find.getTargetList(targets);
        } else {
            TERNO::Address stream{};
            VELMORA::Target target{};
            find.getTarget(address(scripted::linkLocal(2, 19642, 1)), in.u16(), stream, target);
        }
    }
    find.close();
    scripted::reset();
    return 0;
}
