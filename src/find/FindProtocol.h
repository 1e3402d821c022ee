#pragma once
// Wire constants of the Find protocol (discovery of sinks over UDP/IPv6).

#include <cstdint>

namespace VELMORA::FindProtocol {

inline constexpr uint16_t findPort = 19642;                // sinks take Find requests here
inline constexpr uint16_t findGroup[8] = {0xff02, 0, 0, 0, 0, 0, 0, 1};  // all-nodes, link-local
inline constexpr uint32_t findRelease = 100;
inline constexpr uint32_t answerWindowUs = 30'000;       // collecting after one multicast send
inline constexpr uint32_t exchangeTimeoutUs = 100'000;   // one request/answer exchange
inline constexpr int passes = 3;                          // multicast passes of one discovery
inline constexpr size_t receiveSize = 1500;               // largest answer we read

// Commands: each request and the answer command an exchange waits for.
enum Command : uint16_t {
    FIND_REQ = 0,
    FIND_ANS = 1,
    OUTPUT_REQ = 2,
    OUTPUT_ANS = 3,
    NOPBREAK_ANS = 5,
    INFO_REQ = 16,
    INFO_ANS = 17,
    FINDNAME_REQ = 22,
    FINDNAME_ANS = 23,
    NOPBREAK_REQ = 42,
};

// Flags bit 0: in an answer "positive, carries data"; in a request "a payload follows".
inline constexpr uint16_t flagPositive = 1;
inline constexpr uint16_t flagPayload = 1;

// Header offsets of the fields the protocol reads.
inline constexpr size_t offsetCommand = 4;
inline constexpr size_t offsetFlags = 6;
inline constexpr size_t offsetParam0 = 8;    // u16 (output index / output count) or u64 (tag)
inline constexpr size_t offsetParam2 = 12;   // u16: output port
inline constexpr size_t offsetParam3 = 14;   // u16: protocol version

}  // namespace VELMORA::FindProtocol
