#pragma once
// The syslog-style header at the start of every log line (RFC 3164 layout):
//   "<134>Mar 05 14:03:09 localhost " then the message.
// A line is built behind the template below and stamped just before it is sent.

#include <cstddef>
#include <ctime>
#include <string_view>

namespace logheader {

constexpr char templateText[] = "<000>MMM DD hh mm ss localhost ";
constexpr size_t length = sizeof(templateText) - 1;   // 31: the message starts here

// Writes priority (0..255, decimal without leading zeros, right-aligned against the ">" at
// position 4) and the month, day and time of `time` into the template at the start of text.
// Returns the position of the "<" where the line starts (0 for three digits, 2 for one).
size_t stamp(char* text, unsigned priority, const std::tm& time);

// A received line taken apart again. A line without the "<priority>" start has priority -1
// and is all message.
struct LineParts {
    int priority = -1;
    std::string_view stamp;     // "Mar 05 14:03:09"
    std::string_view host;      // "localhost"
    std::string_view message;
};
LineParts split(std::string_view line);

}  // namespace logheader
