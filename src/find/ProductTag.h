#pragma once
// Product identity on the Find protocol: an 8-character ASCII word packed little-endian
// (first character in the lowest byte) into 64 bits, and the names this driver uses.

#include <cstdint>
#include <string_view>

namespace VELMORA {

inline constexpr uint64_t invalidProductTag = ~uint64_t{0};

// The tag of an 8-character word; a shorter word, or one packing to all ones, gives all ones.
// Characters after the eighth are not looked at.
constexpr uint64_t productTagOf(std::string_view word) {
    if (word.size() < 8) return invalidProductTag;
    uint64_t tag = 0;
    for (int i = 7; i >= 0; --i) tag = (tag << 8) | static_cast<uint8_t>(word[static_cast<size_t>(i)]);
    return tag;
}

inline constexpr std::string_view productWord = "PALUDRIN";     // this system's product word
inline constexpr std::string_view productName = "TOLVENIK Velmora";  // our name towards sinks
inline constexpr std::string_view driverVersionText = "1_100_0";

// Module-wide tags of productWord, filled by static initialisation before any export runs:
// productID identifies this driver, findID is the filter that discovery passes.
extern const uint64_t productID;
extern const uint64_t findID;

}  // namespace VELMORA
