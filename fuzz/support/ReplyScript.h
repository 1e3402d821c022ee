#pragma once
// Fuzz input read front to back (so that a captured exchange is a seed as it stands), and a
// peer's answers made from it. For each request the input says how many datagrams come
// back (none to `most`), where each comes from (the address asked, another port, another
// host, another link) and whether it is stamped with magic 100, a length word and the
// awaited answer command, so that mutations reach the checks behind the frame test.
//
// One answer record: count byte; then per datagram a "how" byte (bits 0-1 source, bit 2
// stamp, bit 3 flags bit 0 when stamped, bits 5-7 pad count when stamped), a little-endian
// 16-bit length and the bytes.

#include "ScriptedNet.h"

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

namespace scripted {

class Input {
public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    uint16_t u16() { return static_cast<uint16_t>(byte() | byte() << 8); }
    uint32_t u32() { return static_cast<uint32_t>(u16() | uint32_t{u16()} << 16); }
    std::vector<uint8_t> bytes(size_t n) {
        n = std::min(n, size_ - at_);
        std::vector<uint8_t> out(data_ + at_, data_ + at_ + n);
        at_ += n;
        return out;
    }
    bool empty() const { return at_ >= size_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

class ReplyScript {
public:
    explicit ReplyScript(Input& input) : in_(input) {}

    // Answers one request sent to `asked`; `answerCommand` is what a stamped reply carries.
    void answer(const Address& asked, uint16_t answerCommand, int most = 2) {
        const int n = in_.byte() % (most + 1);
        for (int i = 0; i < n && !in_.empty(); ++i) {
            const uint8_t how = in_.byte();
            std::vector<uint8_t> bytes = in_.bytes(in_.u16() % 1601);
            if (how & 0x04) stamp(bytes, answerCommand, how);
            deliver(std::move(bytes), source(asked, how & 0x03));
        }
    }

    // Makes this script the peer: every request of 16 bytes or more is answered, with
    // answerFor(its command) on stamped replies; multicast requests by a sink of that link.
    void answerRequests(uint16_t (*answerFor)(uint16_t)) {
        reset();
        setPeer([this, answerFor](std::span<const uint8_t> sent, const Address& to) {
            if (sent.size() < 16) return;
            const Address asked = to.bytes[0] == 0xff ? linkLocal(2, 19642, to.scopeId) : to;
            answer(asked, answerFor(static_cast<uint16_t>(sent[4] | sent[5] << 8)));
        });
    }

    static void put(std::vector<uint8_t>& bytes, size_t at, uint16_t value) {
        bytes[at] = static_cast<uint8_t>(value);
        bytes[at + 1] = static_cast<uint8_t>(value >> 8);
    }

private:
    static void stamp(std::vector<uint8_t>& bytes, uint16_t command, uint8_t how) {
        if (bytes.size() < 16) bytes.resize(16);
        put(bytes, 0, 100);
        put(bytes, 2, static_cast<uint16_t>((std::min<size_t>(bytes.size(), 0xFFF8) & ~size_t{7}) | (how >> 5)));
        put(bytes, 4, command);
        bytes[6] = static_cast<uint8_t>((bytes[6] & ~1u) | ((how >> 3) & 1u));
    }

    static Address source(Address asked, int which) {
        switch (which) {
        case 1: asked.port = static_cast<uint16_t>(asked.port + 0x100); break;   // another port
        case 2: asked.bytes[15] ^= 0x40; break;                                  // another host
        case 3: asked.scopeId += 1; break;                                       // another link
        default: break;
        }
        return asked;
    }

    Input& in_;
};

}  // namespace scripted
