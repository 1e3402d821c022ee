#pragma once
// Test stand-in for the process log: this program defines LogLine's out-of-line
// members itself, so every line the code under test logs lands in a list instead
// of a datagram. Lines are built only when the level lets them, as in the real log.

#include <string>
#include <vector>

namespace logcapture {
// Drops the lines captured so far and sets the process-wide level.
void reset(int level);
// The lines logged since the last reset, oldest first (severity not included).
std::vector<std::string> lines();
}
