#pragma once
// The target list as a text table or as JSON.

#include <string>

#include "find/Target.h"

namespace velmora_find {

std::string targetsAsTable(const VELMORA::TargetMap& targets);
std::string targetsAsJson(const VELMORA::TargetMap& targets);

// "address,port%scope", the form the tool prints stream and find addresses in.
std::string endpointText(const TERNO::Address& address);

}  // namespace velmora_find
