#pragma once
// One output of a sink as discovery reports it, and the map of them keyed by stream address.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "terno/Address.h"

namespace VELMORA {

struct Target {
    uint64_t productTag = 0;      // left 0 by the target operations
    uint16_t reserved = 0;
    uint16_t outputIndex = 0;     // counted from 1
    uint16_t version = 0;         // Find protocol version of the output
    std::string description;      // the sink's find answer text
    std::string infoText;         // information text with "[myaddress]" replaced
    TERNO::Address findAddress{}; // where the sink answered Find requests (scope: interface)
    std::string outputName;       // filled by getTargetList only
};

// Stream address (find address with the output's port) -> target, in address order.
using TargetMap = std::map<TERNO::Address, Target>;

// An address is zero when its 16 bytes and its port are zero; the scope is not looked at.
bool isZeroAddress(const TERNO::Address& address);

// Replaces the first "[myaddress]" in text by "[" + sink.toString() + "]".
std::string replaceMyAddress(std::string_view text, const TERNO::Address& sink);

}  // namespace VELMORA
