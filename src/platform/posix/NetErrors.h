#pragma once
// errno values of the BSD socket calls in the Windows Sockets numbering.

#include <cstdint>

namespace platform {

int32_t windowsSocketError(int errnoValue);

}  // namespace platform
