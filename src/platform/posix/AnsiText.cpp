#include "platform/AnsiText.h"

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

// The stand-in's narrow form is UTF-8: every text without a NUL has one.
std::optional<std::string> toAnsi(std::string_view utf8, std::size_t maxBytes) {
    if (utf8.size() + 1 > maxBytes || utf8.find('\0') != std::string_view::npos) return std::nullopt;
    return std::string(utf8);
}

std::optional<std::string> toAnsi(const std::u16string& text, std::size_t maxBytes) {
    std::string utf8;
    for (char16_t c : text) {
        if (c >= 0xD800 && c <= 0xDFFF) return std::nullopt;   // pairs never occur in our texts
        if (c < 0x80) {
            utf8.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            utf8.push_back(static_cast<char>(0xC0 | (c >> 6)));
            utf8.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            utf8.push_back(static_cast<char>(0xE0 | (c >> 12)));
            utf8.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            utf8.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return toAnsi(std::string_view(utf8), maxBytes);
}

std::string fromAnsi(std::string_view ansi) { return std::string(ansi); }

}  // namespace platform
