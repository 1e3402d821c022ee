#include "find/Target.h"

namespace VELMORA {

bool isZeroAddress(const TERNO::Address& address) {
    for (uint8_t byte : address.bytes)
        if (byte != 0) return false;
    return address.port == 0;
}

std::string replaceMyAddress(std::string_view text, const TERNO::Address& sink) {
    static constexpr std::string_view placeholder = "[myaddress]";
    const size_t at = text.find(placeholder);
    if (at == std::string_view::npos) return std::string(text);
    std::string result;
    result.reserve(text.size() + 40);
    result.append(text.substr(0, at));
    result += '[';
    result += sink.toString();
    result += ']';
    result.append(text.substr(at + placeholder.size()));
    return result;
}

}  // namespace VELMORA
