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

}  // namespace logheader
