// Building frames for sending and measuring received ones.

#include "terno/Message.h"

#include <algorithm>
#include <cstring>

namespace TERNO {

namespace {

uint16_t readU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

void writeU16(uint8_t* p, uint16_t value) {
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
}

uint64_t readU64(const uint8_t* p) {
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i) value = (value << 8) | p[i];
    return value;
}

void writeU64(uint8_t* p, uint64_t value) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

constexpr uint16_t lengthMask = 0xfff8;
constexpr uint16_t padMask = 0x0007;

// 16 + n rounded up to a multiple of 8, without the 16-bit wrap, so storage never ends up
// smaller than the header.
size_t frameBytesFor(size_t n) { return (n + 23) & ~size_t{7}; }

}  // namespace

MessageHeader::MessageHeader(uint16_t command) {
    resetHeader();
    writeU16(header.data() + 4, command);
}

MessageHeader::MessageHeader(uint16_t command, uint16_t p0, uint16_t p1, uint16_t p2, uint16_t p3) {
    resetHeader();
    setHeader(command, 0, p0, p1, p2, p3);
}

MessageHeader::MessageHeader(uint16_t command, uint64_t parameter) {
    resetHeader();
    setHeaderParameter(command, parameter);
}

// A copy is a header-only frame of its own: frame points at the copy's header.
MessageHeader::MessageHeader(const MessageHeader& other) : header(other.header) {}

MessageHeader& MessageHeader::operator=(const MessageHeader& other) {
    header = other.header;
    frame = header.data();
    frameSize = headerSize;
    return *this;
}

void MessageHeader::resetHeader() {
    writeU16(header.data(), frameMagic);
    writeU16(header.data() + 2, static_cast<uint16_t>(headerSize));
}

void MessageHeader::setHeader(uint16_t command, uint16_t flags, uint16_t p0, uint16_t p1, uint16_t p2,
                              uint16_t p3) {
    writeU16(header.data() + 4, command);
    writeU16(header.data() + 6, flags);
    writeU16(header.data() + 8, p0);
    writeU16(header.data() + 10, p1);
    writeU16(header.data() + 12, p2);
    writeU16(header.data() + 14, p3);
}

void MessageHeader::setHeaderParameter(uint16_t command, uint64_t parameter) {
    writeU16(header.data() + 4, command);
    writeU16(header.data() + 6, 0);
    writeU64(header.data() + 8, parameter);
}

void MessageHeader::setHeader(uint16_t command, uint16_t flags) { setHeader(command, flags, 0, 0, 0, 0); }

void MessageHeader::changeFlags(uint16_t clear, uint16_t set) {
    const uint16_t flags = readU16(header.data() + 6);
    writeU16(header.data() + 6, static_cast<uint16_t>((flags & ~clear) | set));
}

uint16_t MessageHeader::magic() const { return readU16(frame); }
uint16_t MessageHeader::lengthWord() const { return readU16(frame + 2); }
uint16_t MessageHeader::command() const { return readU16(frame + 4); }
uint16_t MessageHeader::flags() const { return readU16(frame + 6); }
uint16_t MessageHeader::param(int i) const { return i >= 0 && i < 4 ? readU16(frame + 8 + 2 * i) : 0; }
uint64_t MessageHeader::param64() const { return readU64(frame + 8); }

Message::Message() : storage(headerSize) {
    frame = storage.data();
}

Message::Message(const Message& other)
    : MessageHeader(other), storage(other.storage), payloadSize(other.payloadSize) {
    frame = storage.data();
    frameSize = other.frameSize;
}

Message& Message::operator=(const Message& other) {
    if (this == &other) return *this;
    header = other.header;
    storage = other.storage;
    payloadSize = other.payloadSize;
    frame = storage.data();
    frameSize = other.frameSize;
    return *this;
}

void Message::prepare(uint16_t n) { prepare(n, n); }

void Message::prepare(uint16_t n, uint16_t capacity) {
    const size_t total = frameBytesFor(n);
    const uint16_t pad = static_cast<uint16_t>((8 - n % 8) % 8);
    writeU16(header.data() + 2, static_cast<uint16_t>((total & lengthMask) | pad));
    storage.resize(std::max(total, frameBytesFor(capacity)));
    frame = storage.data();
    frameSize = total;
    payloadSize = n;
    if (pad != 0) std::memset(storage.data() + total - 8, 0, 8);  // the pad goes out as zeros
}

void Message::setPayload(std::string_view text) {
    const uint16_t n = static_cast<uint16_t>(std::min<size_t>(text.size(), 0xffff));
    prepare(n);
    if (n != 0) std::memcpy(payload(), text.data(), n);
}

uint8_t* Message::commitHeader() {
    std::memcpy(storage.data(), header.data(), headerSize);
    return frame;
}

bool Message::isValidFrame(const uint8_t* bytes, size_t size) {
    if (bytes == nullptr || size < headerSize) return false;
    if (readU16(bytes) != frameMagic) return false;
    return (readU16(bytes + 2) & lengthMask) <= size;
}

uint16_t Message::payloadLength(const uint8_t* frame) {
    const uint16_t word = readU16(frame + 2);
    return static_cast<uint16_t>((word & lengthMask) - (word & padMask) - headerSize);
}

size_t Message::payloadLength(const uint8_t* bytes, size_t size) {
    if (!isValidFrame(bytes, size)) return 0;
    const uint16_t word = readU16(bytes + 2);
    const size_t total = word & lengthMask;
    const size_t pad = word & padMask;
    if (total < headerSize + pad) return 0;  // the pad count claims more than the frame holds
    return total - pad - headerSize;
}

std::string Message::payloadText(const uint8_t* bytes, size_t size) {
    const size_t length = payloadLength(bytes, size);
    if (length == 0) return {};
    return std::string(reinterpret_cast<const char*>(bytes) + headerSize, length);
}

}  // namespace TERNO
