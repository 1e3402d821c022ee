// Address accessors, ordering and text forms.

#include "terno/Address.h"

#include <climits>
#include <cstring>

namespace TERNO {

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void appendHex(std::string& out, uint16_t value) {
    static constexpr char digits[] = "0123456789abcdef";
    bool started = false;
    for (int shift = 12; shift >= 0; shift -= 4) {
        const unsigned digit = (value >> shift) & 0xFu;
        if (digit != 0 || started || shift == 0) {
            out.push_back(digits[digit]);
            started = true;
        }
    }
}

// Decimal digits only, accumulated with 16-bit wrap-around; empty text gives 0.
bool parseDigits16(std::string_view text, uint16_t& value) {
    uint16_t result = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        result = static_cast<uint16_t>(result * 10u + static_cast<unsigned>(c - '0'));
    }
    value = result;
    return true;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// Reads a signed decimal number the way the C library's atoi does (leading white space, an
// optional sign, digits up to the first other character), saturating at the limits of a
// 32-bit int instead of overflowing.
int64_t leadingInteger(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && isBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    int64_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > int64_t{INT32_MAX} + 1) magnitude = int64_t{INT32_MAX} + 1;
    }
    if (negative) return -magnitude;
    return magnitude > INT32_MAX ? INT32_MAX : magnitude;
}

}  // namespace

uint16_t Address::toNetworkOrder(uint16_t portNumber) {
    const uint8_t wire[2] = {static_cast<uint8_t>(portNumber >> 8), static_cast<uint8_t>(portNumber)};
    uint16_t stored;
    std::memcpy(&stored, wire, sizeof stored);
    return stored;
}

uint16_t Address::fromNetworkOrder(uint16_t storedPort) {
    uint8_t wire[2];
    std::memcpy(wire, &storedPort, sizeof wire);
    return static_cast<uint16_t>((wire[0] << 8) | wire[1]);
}

uint16_t Address::portNumber() const { return fromNetworkOrder(port); }

void Address::setPortNumber(uint16_t portNumber) { port = toNetworkOrder(portNumber); }

uint16_t Address::group(int i) const {
    if (i < 0 || i > 7) return 0;
    return static_cast<uint16_t>((bytes[2 * i] << 8) | bytes[2 * i + 1]);
}

void Address::setGroup(int i, uint16_t value) {
    if (i < 0 || i > 7) return;
    bytes[2 * i] = static_cast<uint8_t>(value >> 8);
    bytes[2 * i + 1] = static_cast<uint8_t>(value);
}

uint32_t Address::ipv4() const {
    return (uint32_t{bytes[12]} << 24) | (uint32_t{bytes[13]} << 16) | (uint32_t{bytes[14]} << 8) | bytes[15];
}

bool Address::isLinkLocal() const { return bytes[0] == 0xfe && bytes[1] == 0x80; }

std::strong_ordering operator<=>(const Address& a, const Address& b) {
    if (auto c = a.bytes <=> b.bytes; c != 0) return c;
    uint8_t portA[2];
    uint8_t portB[2];
    std::memcpy(portA, &a.port, sizeof portA);
    std::memcpy(portB, &b.port, sizeof portB);
    if (auto c = portA[0] <=> portB[0]; c != 0) return c;
    if (auto c = portA[1] <=> portB[1]; c != 0) return c;
    return a.scope <=> b.scope;
}

std::string Address::toString() const {
    // The first run (from the left) of two or more zero groups becomes "::".
    int runStart = -1;
    int runEnd = -1;  // one past the run
    for (int i = 0; i < 8 && runStart < 0; ++i) {
        if (group(i) != 0) continue;
        int j = i;
        while (j < 8 && group(j) == 0) ++j;
        if (j - i >= 2) {
            runStart = i;
            runEnd = j;
        }
        i = j;
    }
    std::string out;
    for (int i = 0; i < 8; ++i) {
        if (i == runStart) {
            out += "::";
            i = runEnd - 1;
            continue;
        }
        if (!out.empty() && out.back() != ':') out.push_back(':');
        appendHex(out, group(i));
    }
    return out;
}

std::string Address::toIPv4String() const {
    std::string out;
    for (int i = 12; i < 16; ++i) {
        if (i != 12) out.push_back('.');
        out += std::to_string(bytes[i]);
    }
    return out;
}

std::string Address::toStringWithPort() const { return toString() + "," + std::to_string(portNumber()); }

bool Address::parse(std::string_view text) {
    uint16_t groups[8] = {};
    int stored = 0;       // groups written so far
    int gap = -1;         // group count at "::", or -1
    uint32_t current = 0;
    int digits = 0;
    bool afterColon = false;
    for (char c : text) {
        if (c == ':') {
            if (afterColon) {
                if (gap >= 0) return false;  // a second "::"
                gap = stored;
            } else {
                if (stored >= 8) return false;
                groups[stored++] = static_cast<uint16_t>(current);
                current = 0;
                digits = 0;
            }
            afterColon = true;
            continue;
        }
        const int value = hexValue(c);
        if (value < 0 || digits == 4) return false;
        current = (current << 4) | static_cast<uint32_t>(value);
        ++digits;
        afterColon = false;
    }
    if (stored >= 8) return false;
    groups[stored++] = static_cast<uint16_t>(current);

    uint16_t result[8] = {};
    if (gap < 0) {
        if (stored != 8) return false;
        std::memcpy(result, groups, sizeof result);
    } else {
        if (stored >= 8) return false;
        for (int i = 0; i < gap; ++i) result[i] = groups[i];
        const int after = stored - gap;
        for (int i = 0; i < after; ++i) result[8 - after + i] = groups[gap + i];
    }
    for (int i = 0; i < 8; ++i) setGroup(i, result[i]);
    return true;
}

bool Address::parsePort(std::string_view text) {
    uint16_t value = 0;
    if (!parseDigits16(text, value)) return false;
    setPortNumber(value);
    return true;
}

bool Address::parseWithPort(std::string_view text) {
    const size_t comma = text.find(',');
    if (comma == std::string_view::npos) return false;
    uint16_t value = 0;
    if (!parseDigits16(text.substr(comma + 1), value)) return false;
    if (!parse(text.substr(0, comma))) return false;
    setPortNumber(value);
    return true;
}

bool Address::parseIPv4(std::string_view text) {
    size_t dots[3];
    size_t from = 0;
    for (size_t& dot : dots) {
        dot = text.find('.', from);
        if (dot == std::string_view::npos) return false;
        from = dot + 1;
    }
    const size_t comma = text.find(',', dots[2] + 1);
    const std::string_view parts[4] = {
        text.substr(0, dots[0]),
        text.substr(dots[0] + 1, dots[1] - dots[0] - 1),
        text.substr(dots[1] + 1, dots[2] - dots[1] - 1),
        text.substr(dots[2] + 1, comma == std::string_view::npos ? std::string_view::npos : comma - dots[2] - 1),
    };
    uint8_t quad[4];
    for (int i = 0; i < 4; ++i) {
        const int64_t value = leadingInteger(parts[i]);
        if (value < 0) return false;
        quad[i] = static_cast<uint8_t>(value % 256);
    }
    uint16_t portValue = 0;
    if (comma != std::string_view::npos) {
        const int64_t value = leadingInteger(text.substr(comma + 1));
        if (value < 0) return false;
        portValue = static_cast<uint16_t>(value & 0xffff);
    }
    bytes = {};
    bytes[10] = 0xff;
    bytes[11] = 0xff;
    for (int i = 0; i < 4; ++i) bytes[12 + i] = quad[i];
    setPortNumber(portValue);
    scope = 0;
    return true;
}

}  // namespace TERNO
