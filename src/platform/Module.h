#pragma once
// The loaded module (DLL or shared object) that contains this code.

#include <string>

namespace platform {

// The module's handle (its load address); null when the system cannot say.
const void* moduleHandle();

// The module's full file path in UTF-8; empty when it cannot be had.
std::string modulePath();

}  // namespace platform
