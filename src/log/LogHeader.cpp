// Stamping of the log header: priority, month, day and time at fixed positions.

#include "log/LogHeader.h"

namespace logheader {

namespace {

constexpr const char* monthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

void putTwoDigits(char* at, int value) {
    if (value < 0 || value > 99) value = 0;
    at[0] = static_cast<char>('0' + value / 10);
    at[1] = static_cast<char>('0' + value % 10);
}

}  // namespace

size_t stamp(char* text, unsigned priority, const std::tm& time) {
    priority &= 0xFF;
    size_t first = 3;   // the last digit sits just before the ">" at position 4
    text[first] = static_cast<char>('0' + priority % 10);
    for (unsigned rest = priority / 10; rest != 0; rest /= 10) text[--first] = static_cast<char>('0' + rest % 10);
    const size_t start = first - 1;
    text[start] = '<';
    text[4] = '>';

    const char* month = (time.tm_mon >= 0 && time.tm_mon < 12) ? monthNames[time.tm_mon] : "???";
    text[5] = month[0];
    text[6] = month[1];
    text[7] = month[2];
    text[8] = ' ';
    putTwoDigits(text + 9, time.tm_mday);
    text[11] = ' ';
    putTwoDigits(text + 12, time.tm_hour);
    text[14] = ':';
    putTwoDigits(text + 15, time.tm_min);
    text[17] = ':';
    putTwoDigits(text + 18, time.tm_sec);
    text[20] = ' ';
    return start;
}

LineParts split(std::string_view line) {
    while (!line.empty() && (line.back() == '\0' || line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    LineParts parts;
    parts.message = line;
    const size_t close = line.find('>');
    if (line.empty() || line[0] != '<' || close < 2 || close > 4) return parts;
    int priority = 0;
    for (size_t i = 1; i < close; ++i) {
        if (line[i] < '0' || line[i] > '9') return parts;
        priority = priority * 10 + (line[i] - '0');
    }
    // "Mmm dd hh:mm:ss host message"
    std::string_view rest = line.substr(close + 1);
    constexpr size_t stampLength = 15;
    if (rest.size() < stampLength + 1 || rest[stampLength] != ' ') return parts;
    parts.priority = priority;
    parts.stamp = rest.substr(0, stampLength);
    rest.remove_prefix(stampLength + 1);
    const size_t space = rest.find(' ');
    parts.host = rest.substr(0, space);
    parts.message = space == std::string_view::npos ? std::string_view() : rest.substr(space + 1);
    return parts;
}

}  // namespace logheader
