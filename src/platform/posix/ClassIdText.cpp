#include "platform/ClassIdText.h"

#include <cstdio>
#include <cstring>

namespace platform {

std::optional<std::u16string> classIdText(const std::array<std::uint8_t, 16>& guid) {
    std::uint32_t data1;
    std::uint16_t data2, data3;
    std::memcpy(&data1, guid.data(), 4);
    std::memcpy(&data2, guid.data() + 4, 2);
    std::memcpy(&data3, guid.data() + 6, 2);
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", data1, data2, data3,
                  guid[8], guid[9], guid[10], guid[11], guid[12], guid[13], guid[14], guid[15]);
    return std::u16string(text, text + std::strlen(text));
}

// The stand-in's ANSI code page is ASCII: anything beyond it fails like an unmappable character.
std::optional<std::string> toAnsi(const std::u16string& text, std::size_t maxBytes) {
    if (text.size() + 1 > maxBytes) return std::nullopt;
    std::string out;
    for (char16_t c : text) {
        if (c == 0 || c > 0x7F) return std::nullopt;
        out.push_back(static_cast<char>(c));
    }
    return out;
}

}  // namespace platform
