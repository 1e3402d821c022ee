#pragma once
// The module's class table: the classes the exports can create. The driver defines it.

#include <span>

#include "com/ClassFactory.h"

namespace com {
std::span<const ClassTableEntry> moduleClassTable();

// Process attach (true) and detach (false): runs the init function of every class that has one.
void moduleAttach(bool loading);
}  // namespace com
