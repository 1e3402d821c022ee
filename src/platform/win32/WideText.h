#pragma once
// UTF-8 (the system's own texts) to and from UTF-16 (the wide system calls).

#include <optional>
#include <string>
#include <string_view>

namespace platform::win32 {

// Nothing when utf8 is not valid UTF-8.
std::optional<std::wstring> fromUtf8(std::string_view utf8);

std::string toUtf8(std::wstring_view wide);

}  // namespace platform::win32
