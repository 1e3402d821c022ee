#pragma once
// Text forms of a class identifier for the registry: the system's UTF-16 form with braces and
// upper-case digits, and its conversion to the system ANSI code page.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// guid: the 16 bytes of a GUID as laid out in memory.
std::optional<std::u16string> classIdText(const std::array<std::uint8_t, 16>& guid);

// UTF-16 to the ANSI code page; nothing when it fails or needs more than maxBytes bytes.
std::optional<std::string> toAnsi(const std::u16string& text, std::size_t maxBytes);

}  // namespace platform
