// Address, port and IPv4 texts as the settings and the tools read them, and the FindIP forms.
// Whatever parses must print to a text that parses back to the same address.

#include "find/FindDestination.h"
#include "terno/Address.h"

#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    TERNO::Address a{}, again{};
    if (a.parse(text) && (!again.parse(a.toString()) || a.bytes != again.bytes)) std::abort();
    TERNO::Address b{};
    if (b.parseWithPort(text)) {
        TERNO::Address c{};
        if (!c.parseWithPort(b.toStringWithPort()) || b.bytes != c.bytes ||
            b.portNumber() != c.portNumber())
            std::abort();
    }
    TERNO::Address d{};
    if (d.parseIPv4(text)) (void)d.toIPv4String();
    TERNO::Address e{};
    e.parsePort(text);
    TERNO::Address f{}, g{};
    if (VELMORA::parseFindDestination(text, f)) {
        const std::string back =
            "[" + f.toString() + "%" + std::to_string(f.scope) + "]:" + std::to_string(f.portNumber());
        if (!VELMORA::parseFindDestination(back, g) || g != f) std::abort();
    }
    return 0;
}
