#pragma once
// Texts for the narrow-character system calls (the registry): the system ANSI code page.
// Inside the system texts are UTF-8; they change form only at those calls. Where the stand-in
// backend has no code pages, its narrow form is UTF-8 itself.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// guid: the 16 bytes of a GUID as laid out in memory. The system's UTF-16 text of it, with
// braces and upper-case hexadecimal digits.
std::optional<std::u16string> classIdText(const std::array<std::uint8_t, 16>& guid);

// UTF-16 or UTF-8 to the ANSI code page. Nothing when a character has no exact equivalent
// there (no best-fit look-alikes, no "?"), or when the result and its terminator need more
// than maxBytes bytes.
std::optional<std::string> toAnsi(const std::u16string& text, std::size_t maxBytes);
std::optional<std::string> toAnsi(std::string_view utf8, std::size_t maxBytes);

// The ANSI code page back to UTF-8.
std::string fromAnsi(std::string_view ansi);

}  // namespace platform
