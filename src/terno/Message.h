#pragma once
// The frame of every Find and Sync datagram: a 16-byte header (magic 100, length word with
// the pad count in its low 3 bits, command at 4, flags at 6, parameters at 8..15), then the
// payload padded with zeros to a multiple of 8. Multi-byte fields are little-endian.

#include <array>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace TERNO {

constexpr uint16_t frameMagic = 100;
constexpr size_t headerSize = 16;

// A header-only frame; frame points at its own header.
struct MessageHeader {
    std::array<uint8_t, 16> header{};
    uint8_t* frame = header.data();
    uint64_t frameSize = headerSize;

    explicit MessageHeader(uint16_t command = 0);
    MessageHeader(uint16_t command, uint16_t p0, uint16_t p1, uint16_t p2, uint16_t p3);
    MessageHeader(uint16_t command, uint64_t parameter);
    MessageHeader(const MessageHeader& other);
    MessageHeader& operator=(const MessageHeader& other);
    ~MessageHeader() = default;

    void resetHeader();  // magic and length word only
    void setHeader(uint16_t command, uint16_t flags, uint16_t p0, uint16_t p1, uint16_t p2, uint16_t p3);
    void setHeader(uint16_t command, uint16_t flags);  // parameters 0
    // Command and 64-bit parameter, flags 0. Takes only 64-bit unsigned arguments, so a plain
    // number as second argument means flags.
    template <typename T>
        requires(std::unsigned_integral<T> && sizeof(T) == 8)
    void setHeader(uint16_t command, T parameter) {
        setHeaderParameter(command, parameter);
    }
    void changeFlags(uint16_t clear, uint16_t set);

    // Fields of the frame's first 16 bytes.
    uint16_t magic() const;
    uint16_t lengthWord() const;
    uint16_t command() const;
    uint16_t flags() const;
    uint16_t param(int i) const;  // i = 0..3: offsets 8, 10, 12, 14
    uint64_t param64() const;

private:
    void setHeaderParameter(uint16_t command, uint64_t parameter);
};

// A frame with a payload. header is filled apart and copied into storage by commitHeader.
struct Message : MessageHeader {
    std::vector<uint8_t> storage;
    uint64_t payloadSize = 0;

    Message();
    Message(const Message& other);
    Message& operator=(const Message& other);

    void prepare(uint16_t n);
    void prepare(uint16_t n, uint16_t capacity);  // storage sized for capacity payload bytes
    void setPayload(std::string_view text);
    uint8_t* commitHeader();
    uint8_t* payload() { return frame + headerSize; }

    // Received frames: at least 16 bytes, magic 100, and the length the length word claims
    // has arrived.
    static bool isValidFrame(const uint8_t* bytes, size_t size);
    // (length word & ~7) - pad - 16 in 16-bit arithmetic, from the header of a valid frame.
    static uint16_t payloadLength(const uint8_t* frame);
    // Payload length of a received datagram: 0 unless it is a valid frame whose payload lies
    // inside the claimed frame; never more than size - 16.
    static size_t payloadLength(const uint8_t* bytes, size_t size);
    // The payload of a received datagram as text (bounded as above).
    static std::string payloadText(const uint8_t* bytes, size_t size);
};

}  // namespace TERNO
