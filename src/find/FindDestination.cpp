#include "find/FindDestination.h"

#include "find/FindProtocol.h"

namespace VELMORA {
namespace {

bool decimal(std::string_view text, uint32_t lowest, uint32_t& value) {
    if (text.empty() || text.size() > 5) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    return value >= lowest && value <= 65535;
}

}  // namespace

bool parseFindDestination(std::string_view text, TERNO::Address& address) {
    std::string_view host = text, port, scope;
    if (!text.empty() && text.front() == '[') {
        const size_t close = text.find(']');
        if (close == std::string_view::npos) return false;
        host = text.substr(1, close - 1);
        const std::string_view rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') return false;
            port = rest.substr(1);
            if (port.empty()) return false;
        }
    } else if (const size_t comma = text.find(','); comma != std::string_view::npos) {
        host = text.substr(0, comma);
        port = text.substr(comma + 1);
        // The older form puts the interface after the port.
        if (const size_t percent = port.find('%'); percent != std::string_view::npos) {
            if (host.find('%') != std::string_view::npos) return false;
            scope = port.substr(percent + 1);
            port = port.substr(0, percent);
            if (scope.empty()) return false;
        }
    }
    if (const size_t percent = host.find('%'); percent != std::string_view::npos) {
        scope = host.substr(percent + 1);
        host = host.substr(0, percent);
        if (scope.empty()) return false;
    }

    TERNO::Address parsed{};
    uint32_t portNumber = FindProtocol::findPort, scopeIndex = 0;
    if (!parsed.parse(host) || (!port.empty() && !decimal(port, 1, portNumber)) ||
        (!scope.empty() && !decimal(scope, 0, scopeIndex)))
        return false;
    parsed.setPortNumber(static_cast<uint16_t>(portNumber));
    parsed.scope = static_cast<uint16_t>(scopeIndex);
    address = parsed;
    return true;
}

}  // namespace VELMORA
