#pragma once
// The requests the Find client sends, built as frames ready to go out. The headers are
// returned as prvalues (constructed in place), since a frame points at its own bytes.

#include <cstdint>
#include <string_view>

#include "terno/Message.h"

namespace VELMORA::FindRequests {

// 16 bytes, command 0, flags 0, parameter 0.
TERNO::MessageHeader find();
// 16 bytes, command 2: u16 at 8 the output index (0 asks for the count), u16 at 14 = 1.
TERNO::MessageHeader output(uint16_t index);
// 16 bytes, command 16.
TERNO::MessageHeader info();
// 16 bytes, command 42.
TERNO::MessageHeader nopBreak();
// Command 22 with flags 1 and the name as payload, zero-padded to a multiple of 8.
// Names longer than the 16-bit length word can carry (65,512 bytes) are cut there.
// Filled in place: a frame points into its own storage.
void name(std::string_view clientName, TERNO::Message& message);

}  // namespace VELMORA::FindRequests
