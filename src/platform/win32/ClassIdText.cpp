#include "platform/ClassIdText.h"

#include <objbase.h>
#include <windows.h>

#include <cstring>

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
    std::string out(maxBytes, '\0');
    const int written = WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<const wchar_t*>(text.c_str()), -1,
                                            out.data(), static_cast<int>(maxBytes), nullptr, nullptr);
    if (written <= 0) return std::nullopt;
    out.resize(static_cast<std::size_t>(written) - 1);
    return out;
}

}  // namespace platform
