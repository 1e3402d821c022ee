#include "DestinationText.h"

#include "find/FindProtocol.h"

namespace velmora_find {

namespace {

bool decimal(const std::string& text, uint32_t limit, uint32_t& value) {
    if (text.empty() || text.size() > 5) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    return value <= limit;
}

}  // namespace

bool parseDestination(const std::string& text, TERNO::Address& address) {
    std::string rest = text;
    uint32_t scope = 0;
    if (const size_t percent = rest.find('%'); percent != std::string::npos) {
        if (!decimal(rest.substr(percent + 1), 65535, scope)) return false;
        rest.resize(percent);
    }
    uint32_t port = VELMORA::FindProtocol::findPort;
    if (const size_t comma = rest.find(','); comma != std::string::npos) {
        if (!decimal(rest.substr(comma + 1), 65535, port)) return false;
        rest.resize(comma);
    }
    TERNO::Address parsed{};
    if (!parsed.parse(rest)) return false;
    parsed.setPortNumber(static_cast<uint16_t>(port));
    parsed.scope = static_cast<uint16_t>(scope);
    address = parsed;
    return true;
}

}  // namespace velmora_find
