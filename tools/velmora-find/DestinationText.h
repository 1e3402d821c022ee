#pragma once
// Text form of an extra discovery destination: ADDRESS[,PORT][%SCOPE].

#include <string>

#include "terno/Address.h"

namespace velmora_find {

// The port defaults to the Find port, the scope to 0 (the interface of each pass).
bool parseDestination(const std::string& text, TERNO::Address& address);

}  // namespace velmora_find
