#pragma once
// The frame fields the sink reads and writes: little-endian header words, the Sync commands
// and small builders for answers. A frame is a 16-byte header (magic 100, length word with
// the pad count in its low three bits, command, flags, four 16-bit parameters) and a
// payload padded with zeros to a multiple of 8.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace sink {

enum Command : uint16_t {
    FORMAT_REQ = 4, FORMAT_ANS = 5,
    LATENCY_REQ = 6, LATENCY_ANS = 7,
    CONNECT_REQ = 8, CONNECT_ANS = 9,
    DATA = 10, STATUS = 11,
    DSICONNECT_REQ = 12, DSICONNECT_ANS = 13,
    DATASIZE_REQ = 14, DATASIZE_ANS = 15,
    CONNECTPRE_REQ = 18, CONNECTPRE_ANS = 19,
    PROFILE_REQ = 20, PROFILE_ANS = 21,
    NAME_REQ = 24, NAME_ANS = 25,
    LOG_REQ = 40, LOG_TEXT = 41,
    NOPBREAK_REQ = 42,
};

constexpr uint16_t kMagic = 100;
constexpr size_t kHeaderBytes = 16;

// Data packet flags.
constexpr uint16_t kInfoRequest = 0x20;
constexpr uint16_t kBurstEnd = 0x40;
// Status message flags.
constexpr uint16_t kResendRequest = 0x08;
constexpr uint16_t kPolarityInvert = 0x100;   // bit 8 set, bit 7 clear
// Answer flag: the answer carries data.
constexpr uint16_t kHasData = 0x01;

using Bytes = std::span<const uint8_t>;

inline uint16_t readU16(Bytes b, size_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); }
inline uint64_t readU64(Bytes b, size_t at) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | b[at + static_cast<size_t>(i)];
    return v;
}
inline void writeU16(uint8_t* p, uint16_t v) { p[0] = static_cast<uint8_t>(v); p[1] = static_cast<uint8_t>(v >> 8); }
inline void writeU64(uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// A received datagram is a frame when it holds a whole header with magic 100 and its length
// word (pad bits cleared) does not claim more bytes than arrived.
inline bool isFrame(Bytes b) {
    return b.size() >= kHeaderBytes && readU16(b, 0) == kMagic && (readU16(b, 2) & ~7u) <= b.size();
}
inline uint16_t command(Bytes b) { return readU16(b, 4); }
inline uint16_t flags(Bytes b) { return readU16(b, 6); }
// Payload bytes without padding (valid frames only). A pad count larger than the room the
// length word leaves after the header means no payload, never a wrapped length.
inline size_t payloadLength(Bytes b) {
    const uint16_t word = readU16(b, 2);
    const size_t total = word & ~size_t{7};
    const size_t pad = word & size_t{7};
    return total < kHeaderBytes + pad ? 0 : total - pad - kHeaderBytes;
}
inline Bytes payload(Bytes b) { return b.subspan(kHeaderBytes, payloadLength(b)); }

// A header-only frame.
struct Header {
    uint8_t bytes[kHeaderBytes] = {};
    Header(uint16_t cmd, uint16_t fl, uint16_t p0 = 0, uint16_t p1 = 0, uint16_t p2 = 0, uint16_t p3 = 0) {
        writeU16(bytes, kMagic);
        writeU16(bytes + 2, kHeaderBytes);
        writeU16(bytes + 4, cmd);
        writeU16(bytes + 6, fl);
        writeU16(bytes + 8, p0);
        writeU16(bytes + 10, p1);
        writeU16(bytes + 12, p2);
        writeU16(bytes + 14, p3);
    }
    // A header whose parameter bytes 8..15 hold one 64-bit value.
    static Header wide(uint16_t cmd, uint16_t fl, uint64_t param) {
        Header h(cmd, fl);
        writeU64(h.bytes + 8, param);
        return h;
    }
    Bytes view() const { return Bytes(bytes, kHeaderBytes); }
};

// A frame with a payload, padded with zeros.
inline std::vector<uint8_t> frameWithPayload(const Header& header, Bytes body) {
    const size_t total = (kHeaderBytes + body.size() + 7) & ~size_t{7};
    const size_t pad = total - kHeaderBytes - body.size();
    std::vector<uint8_t> out(total, 0);
    for (size_t i = 0; i < kHeaderBytes; ++i) out[i] = header.bytes[i];
    writeU16(out.data() + 2, static_cast<uint16_t>(total | pad));
    for (size_t i = 0; i < body.size(); ++i) out[kHeaderBytes + i] = body[i];
    return out;
}
inline std::vector<uint8_t> frameWithText(const Header& header, std::string_view text) {
    return frameWithPayload(header, Bytes(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

}  // namespace sink
