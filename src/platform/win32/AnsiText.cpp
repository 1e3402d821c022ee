#include "platform/AnsiText.h"

#include <objbase.h>
#include <windows.h>

#include <cstring>

#include "platform/win32/WideText.h"

namespace platform {

std::optional<std::u16string> classIdText(const std::array<std::uint8_t, 16>& guid) {
    CLSID clsid;
    std::memcpy(&clsid, guid.data(), sizeof clsid);
    LPOLESTR text = nullptr;
    if (FAILED(StringFromCLSID(clsid, &text)) || !text) return std::nullopt;
    std::u16string result(reinterpret_cast<const char16_t*>(text));
    CoTaskMemFree(text);
    return result;
}

std::optional<std::string> toAnsi(const std::u16string& text, std::size_t maxBytes) {
    const auto* wide = reinterpret_cast<const wchar_t*>(text.c_str());
    // A character without an exact equivalent would come out as a look-alike or "?": a
    // different name, so it fails instead.
    BOOL replaced = FALSE;
    const int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, nullptr, 0, nullptr, &replaced);
    if (bytes <= 0 || replaced || static_cast<std::size_t>(bytes) > maxBytes) return std::nullopt;
    std::string out(static_cast<std::size_t>(bytes), '\0');
    if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, out.data(), bytes, nullptr, &replaced) != bytes)
        return std::nullopt;
    out.pop_back();   // the terminator
    return out;
}

std::optional<std::string> toAnsi(std::string_view utf8, std::size_t maxBytes) {
    const std::optional<std::wstring> wide = win32::fromUtf8(utf8);
    if (!wide) return std::nullopt;
    return toAnsi(std::u16string(wide->begin(), wide->end()), maxBytes);
}

std::string fromAnsi(std::string_view ansi) {
    const int units = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
    if (units <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), wide.data(), units);
    return win32::toUtf8(wide);
}

}  // namespace platform
